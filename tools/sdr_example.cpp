// A small example host: creates a session, saves it, reopens it and prints
// what it read.

#include <cstdio>
#include <string>

#include "sdr.h"

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "example.tzo";
  MSG_REPORT::get_default_report()->set_listener(
      [](const MSG_OBJECT& m) { std::fprintf(stderr, "sdr_example: %s [%s]\n", m.get_text(), m.get_id()); });

  SDR_DATA_MANAGER* manager = SDR_DATA_MANAGER::get_data_repository_manager();
  SDR_DATA_SESSION* session = manager->create_session("example");
  session->set_jtag_chain_name("lab-cable-1 [1-1]");
  session->set_jtag_device_name("@1: DEVICE_A (0x00000001)");
  session->set_global_data("sample_rate_mhz", 100, false);
  int lanes[] = {1, 2, 4, 8};
  session->set_global_data("lanes", lanes, 4, false);
  session->set_gui_logging(true);
  if (!session->save_as(path, true, false)) {
    std::fprintf(stderr, "sdr_example: cannot write %s\n", path);
    return 1;
  }
  manager->close_session(path);

  SDR_DATA_SESSION* reopened = manager->open_session(path);
  if (!reopened) {
    std::fprintf(stderr, "sdr_example: cannot read %s back\n", path);
    return 1;
  }
  std::printf("session %s\n", reopened->get_name());
  std::printf("  jtag chain:  %s\n", reopened->get_jtag_chain_name() ? reopened->get_jtag_chain_name() : "-");
  std::printf("  jtag device: %s\n",
              reopened->get_jtag_device_name() ? reopened->get_jtag_device_name() : "-");
  std::printf("  gui logging: %s\n", reopened->is_gui_logging_enabled() ? "on" : "off");
  for (const auto& kv : reopened->get_global_singles())
    std::printf("  global %s = %d\n", kv.first.c_str(), kv.second);
  for (const auto& kv : reopened->get_global_multis()) {
    std::printf("  global %s =", kv.first.c_str());
    for (int v : kv.second) std::printf(" %d", v);
    std::printf("\n");
  }
  std::string text;
  reopened->write_to_string(&text);
  std::printf("--- %s ---\n%s", path, text.c_str());
  manager->close_session(path);
  delete manager;
  return 0;
}
