// Fuzz target: the import of the older text layout. The bytes are written
// to a file and imported twice, through a load (which must recognise the
// first line) and through parse_tzo_file on a fresh session. Besides "no
// crash, no sanitizer report" it checks:
//   - the import reports no internal error and ends having read the file;
//   - no more wires than lines, and every wire has a name;
//   - both ways give the same document;
//   - the imported document can be written, saved, and loads back without
//     an error message, with the same wires.
//
// Environment:
//   SDR_FUZZ_TMPDIR   where the per-process scratch folder is made

#include <cstddef>
#include <cstdint>
#include <string>
#include <xercesc/util/PlatformUtils.hpp>

#include "fuzz_support.h"
#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_tzo_signal_set.h"

using sdr_fuzz::check_internal_errors;
using sdr_fuzz::fail;

namespace {

sdr_fuzz::SCRATCH g_scratch;
std::string g_input;
std::string g_saved;

SDR_DATA_SIGNAL_SET* imported_set(SDR_DATA_SESSION& session) {
  SDR_DATA_INSTANCE* instance = session.get_num_instances() > 0 ? session.get_instance_at(0) : nullptr;
  return instance ? instance->find_signal_set("signals_imported") : nullptr;
}

void run_one(const uint8_t* data, size_t size) {
  // Half the inputs get the mark, so that loading takes the import too.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size > 0 && (data[0] & 1)) bytes = "[@\\TZO=1]\n" + bytes.substr(1);
  if (!sdr_fuzz::write_bytes(g_input, bytes.data(), bytes.size()))
    fail("cannot write the input file", g_input);

  SDR_DATA_SESSION direct;
  direct.set_name(g_input.c_str());
  direct.parse_tzo_file();
  check_internal_errors("the import");
  const SDR_TZO_IMPORT_REPORT* report = direct.get_tzo_import_report();
  if (!report || !report->file_read) fail("the import did not read the file to its end");
  SDR_DATA_SIGNAL_SET* set = imported_set(direct);
  if (!set) fail("the import made no signal set");
  size_t lines = 1;
  for (char c : bytes) lines += c == '\n';
  if (static_cast<size_t>(set->get_trigger_wire_width()) > lines) fail("more wires than lines");
  for (int i = 0; i < set->get_trigger_wire_width(); ++i) {
    const char* name = set->get_trigger_wire_at(i)->get_name();
    if (!name || !*name) fail("a wire without a name");
  }
  std::string text;
  if (!direct.write_to_string(&text)) fail("the imported document cannot be written");

  if (bytes.compare(0, 7, "[@\\TZO=") == 0) {
    SDR_DATA_SESSION loaded(g_input.c_str());
    check_internal_errors("the load");
    std::string loaded_text;
    if (!loaded.get_name() || !loaded.write_to_string(&loaded_text)) fail("the load did not import");
    if (loaded_text != text) {
      sdr_fuzz::print_text("input", bytes);
      fail("the load and parse_tzo_file give different documents");
    }
  }

  if (!direct.save_as(g_saved.c_str(), true, true)) fail("the imported document cannot be saved");
  MSG_REPORT::get_default_report()->clear_posted();
  SDR_DATA_SESSION again(g_saved.c_str());
  check_internal_errors("loading the saved import");
  MSG_REPORT* posted = MSG_REPORT::get_default_report();
  for (int i = 0; i < posted->get_num_posted(); ++i)
    if (posted->get_posted_at(i)->is_error())
      fail("the saved import loads with an error", sdr_fuzz::last_message());
  SDR_DATA_SIGNAL_SET* reloaded = imported_set(again);
  if (!reloaded || reloaded->get_trigger_wire_width() != set->get_trigger_wire_width())
    fail("the saved import loads back with other wires");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sdr_fuzz::target_name() = "fuzz_legacy_import";
  xercesc::XMLPlatformUtils::Initialize();
  g_scratch.make("fuzz_legacy_import");
  g_input = g_scratch.path("in.stp");
  g_saved = g_scratch.path("out.tzo");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  run_one(data, size);
  sdr_fuzz::clear_records();
  return 0;
}
