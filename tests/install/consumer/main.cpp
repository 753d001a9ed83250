// Uses the installed library through its public headers only.
#include <cstdio>
#include <cstring>

#include "sdr.h"

int main() {
  SDR_DATA_MANAGER* manager = SDR_DATA_MANAGER::get_data_repository_manager();
  SDR_DATA_SESSION* session = manager->create_session("consumer_session");
  if (!session || std::strcmp(session->get_name(), "consumer_session*") != 0) {
    std::fprintf(stderr, "unexpected session\n");
    return 1;
  }
  std::string text;
  if (!session->write_to_string(&text) || text.find("<display_tree/>") == std::string::npos) {
    std::fprintf(stderr, "unexpected document: %s\n", text.c_str());
    return 1;
  }
  std::printf("sdr consumer: %s\n", session->get_name());
  manager->close_session("consumer_session*");
  delete manager;
  return 0;
}
