// Fuzz target: a session loaded from arbitrary bytes, then saved and loaded
// twice more. Besides "no crash, no sanitizer report" it checks a round-trip
// oracle: one load and save settles a document, so loading what was saved
// and saving again must not change its written form.
//
//   bytes -> in.tzo -> load (S1) -> write (T1) -> save as a.tzo
//         -> load (S2) -> write (T2) -> save as b.tzo
//         -> load (S3) -> write (T3);
//
// a.tzo and b.tzo must hold the same bytes, and T2 == T3. (T1 itself is
// written before the first save adds "bix_file" to the root element, and a
// loaded session holds the programming file's name made absolute, so the
// saved files are what is compared.) Every failure of the oracle ends the
// process with abort() after a line on stderr starting with
// "fuzz_session_load: ".
//
// Environment:
//   SDR_FUZZ_TMPDIR   where the per-process scratch folder is made
//                     (default /dev/shm when usable, else /tmp)

#include <cstddef>
#include <cstdint>
#include <string>
#include <xercesc/util/PlatformUtils.hpp>

#include "cfg_service.h"
#include "fuzz_support.h"
#include "msg_service.h"
#include "sdr_data_session.h"

using sdr_fuzz::check_internal_errors;
using sdr_fuzz::fail;

namespace {

sdr_fuzz::SCRATCH g_scratch;
std::string g_input;
std::string g_first;
std::string g_second;

// A session loaded from one of our own saves must load and be writable.
void require_written(const SDR_DATA_SESSION& session, const char* stage, std::string* text) {
  if (!session.get_name())
    fail("a saved document does not load again", std::string(stage) + ": " + sdr_fuzz::last_message());
  if (!session.write_to_string(text)) fail("a reloaded document cannot be written", stage);
  check_internal_errors(stage);
}

void run_one(const uint8_t* data, size_t size) {
  if (!sdr_fuzz::write_bytes(g_input, data, size)) fail("cannot write the input file", g_input);

  SDR_DATA_SESSION first(g_input.c_str());
  check_internal_errors("the first load");
  if (!first.get_name()) return;  // refused input: the messages say why
  std::string t1;
  bool writable = first.write_to_string(&t1);
  check_internal_errors("writing the first load");
  if (!writable) return;  // holds something the file layout cannot carry
  if (!first.save_as(g_first.c_str(), true, false)) {
    fail("the first save failed although the document could be written", g_first);
  }
  check_internal_errors("the first save");

  SDR_DATA_SESSION second(g_first.c_str());
  std::string t2;
  require_written(second, "the second load", &t2);
  if (!second.save_as(g_second.c_str(), true, false)) fail("the second save failed", g_second);
  check_internal_errors("the second save");

  SDR_DATA_SESSION third(g_second.c_str());
  std::string t3;
  require_written(third, "the third load", &t3);

  std::string saved_first, saved_second;
  if (!sdr_fuzz::read_bytes(g_first, &saved_first) || !sdr_fuzz::read_bytes(g_second, &saved_second))
    fail("cannot read a saved file back", g_scratch.path(""));
  const std::string* pairs[2][2] = {{&saved_first, &saved_second}, {&t2, &t3}};
  for (int i = 0; i < 2; ++i) {
    const std::string& a = *pairs[i][0];
    const std::string& b = *pairs[i][1];
    if (a == b) continue;
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    sdr_fuzz::print_text("input", std::string(reinterpret_cast<const char*>(data), size));
    sdr_fuzz::print_text("first written text (T1)", t1);
    sdr_fuzz::print_text("first saved file", saved_first);
    sdr_fuzz::print_text("second saved file", saved_second);
    sdr_fuzz::print_text("third written text (T3)", t3);
    fail(i == 0 ? "one load and save did not settle the document: the two saved files differ"
                : "round trip changed the document: the second and third written texts differ",
         "first difference at byte " + std::to_string(at));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sdr_fuzz::target_name() = "fuzz_session_load";
  // Initialised once here, so that the sessions' own reference count never
  // drops to zero and the XML platform is not set up again for every input.
  xercesc::XMLPlatformUtils::Initialize();

  // Small limits keep every execution fast and are within reach of small
  // inputs (seeds in the corpus cross each of them).
  cfg_set_value("sdr_max_document_mb", "64");
  cfg_set_value("sdr_max_xml_depth", "200");
  cfg_set_value("sdr_max_xml_attributes", "100");
  cfg_set_value("sdr_max_entity_expansions", "1000");

  // Documented: a mnemonic table read without a name reports this.
  sdr_fuzz::allowed_internal_errors().push_back({"m_name != \"\"", "sdr_data_mnemonics.cpp"});

  g_scratch.make("fuzz_session_load");
  g_input = g_scratch.path("in.tzo");
  g_first = g_scratch.path("a.tzo");
  g_second = g_scratch.path("b.tzo");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  run_one(data, size);
  sdr_fuzz::clear_records();
  return 0;
}
