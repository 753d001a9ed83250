// Fuzz target: a session loaded from arbitrary bytes, then saved and loaded
// twice more. Besides "no crash, no sanitizer report" it checks a round-trip
// oracle: once a document has been through one save and load, saving and
// loading it again must not change its written form.
//
//   bytes -> in.tzo -> load (S1) -> write (T1) -> save as a.tzo
//         -> load (S2) -> write (T2) -> save as b.tzo
//         -> load (S3) -> write (T3);   T2 == T3 is required.
//
// T1 may differ from T2: loading moves "global_info" to the end of the root
// element and adds a missing "display_tree", and the first save adds
// "bix_file". Every failure of the oracle ends the process with abort()
// after a line on stderr starting with "fuzz_session_load: ".
//
// Environment:
//   SDR_FUZZ_TMPDIR   where the per-process scratch folder is made
//                     (default /dev/shm when usable, else /tmp; saving
//                     fsyncs, which costs nothing on a tmpfs)
//   SDR_FUZZ_TOLERATE_KNOWN=1
//                     looks past the round-trip differences already reported,
//                     so that a run can find other ones: T2 and T3 are
//                     compared ignoring white space before a '<' (the
//                     writer's indentation is added to text content on every
//                     save), and documents whose root holds more than one
//                     "global_info" are skipped (each load reads the first
//                     one and moves it to the end, so the values alternate).

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <xercesc/util/PlatformUtils.hpp>

#include "cfg_service.h"
#include "msg_service.h"
#include "sdr_data_session.h"
#include "sdr_data_xml_util.h"

namespace {

struct SCRATCH {
  std::string dir;
  std::string input;
  std::string first;
  std::string second;
};

SCRATCH g_scratch;
bool g_tolerate_known = false;

void remove_scratch() {
  unlink(g_scratch.input.c_str());
  unlink(g_scratch.first.c_str());
  unlink(g_scratch.second.c_str());
  rmdir(g_scratch.dir.c_str());
}

bool is_usable_dir(const char* path) {
  struct stat st;
  return path && *path && stat(path, &st) == 0 && S_ISDIR(st.st_mode) && access(path, W_OK | X_OK) == 0;
}

// The last message posted by the library, for the failure texts.
std::string last_message() {
  MSG_REPORT* report = MSG_REPORT::get_default_report();
  int n = report->get_num_posted();
  if (n == 0) return "(no message posted)";
  const MSG_OBJECT* m = report->get_posted_at(n - 1);
  return std::string(m->get_id()) + ": " + m->get_text();
}

// Prints a text with control characters made visible.
void print_text(const char* label, const std::string& text) {
  std::fprintf(stderr, "----- %s (%zu bytes)\n", label, text.size());
  const size_t shown = text.size() < 4096 ? text.size() : 4096;
  for (size_t i = 0; i < shown; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n' || (c >= 0x20 && c < 0x7F)) {
      std::fputc(c, stderr);
    } else {
      std::fprintf(stderr, "\\x%02X", c);
    }
  }
  if (shown < text.size()) std::fprintf(stderr, "\n[... %zu more bytes]", text.size() - shown);
  std::fprintf(stderr, "\n-----\n");
}

[[noreturn]] void fail(const char* what, const std::string& detail = std::string()) {
  std::fprintf(stderr, "fuzz_session_load: %s\n", what);
  if (!detail.empty()) std::fprintf(stderr, "fuzz_session_load: %s\n", detail.c_str());
  std::fflush(stderr);
  std::abort();
}

// A broken internal rule reached from input is a bug as well.
void check_internal_errors(const char* stage) {
  int n = MSG_INTERNAL_ERROR::get_num_reports();
  if (n == 0) return;
  std::string detail = std::string("after ") + stage + ": " + MSG_INTERNAL_ERROR::get_expression_at(0) +
                       " (" + MSG_INTERNAL_ERROR::get_file_at(0) + ":" +
                       std::to_string(MSG_INTERNAL_ERROR::get_line_at(0)) + ")";
  fail("the library reported an internal error", detail);
}

bool write_bytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// Drops every run of white space that stands right before a '<'.
std::string without_space_before_tags(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    size_t end = i;
    while (end < text.size() &&
           (text[end] == ' ' || text[end] == '\t' || text[end] == '\n' || text[end] == '\r')) {
      ++end;
    }
    if (end > i) {
      if (end == text.size() || text[end] != '<') out.append(text, i, end - i);
      i = end;
      continue;
    }
    out.push_back(text[i++]);
  }
  return out;
}

int count_children(const xercesc::DOMElement* parent, const char* name) {
  int n = 0;
  for (const xercesc::DOMElement* e = find_child_element(parent, name); e;
       e = find_next_sibling_element(e, name))
    ++n;
  return n;
}

// A session loaded from one of our own saves must load and be writable.
void require_written(const SDR_DATA_SESSION& session, const char* stage, std::string* text) {
  if (!session.get_name())
    fail("a saved document does not load again", std::string(stage) + ": " + last_message());
  if (!session.write_to_string(text)) fail("a reloaded document cannot be written", stage);
  check_internal_errors(stage);
}

void run_one(const uint8_t* data, size_t size) {
  if (!write_bytes(g_scratch.input, data, size)) fail("cannot write the input file", g_scratch.input);

  SDR_DATA_SESSION first(g_scratch.input.c_str());
  check_internal_errors("the first load");
  if (!first.get_name()) return;  // refused input: the messages say why
  std::string t1;
  bool writable = first.write_to_string(&t1);
  check_internal_errors("writing the first load");
  if (!writable) return;  // holds something the file layout cannot carry
  if (g_tolerate_known && count_children(first.get_root_element(), "global_info") > 1) return;
  if (!first.save_as(g_scratch.first.c_str(), true, false)) {
    fail("the first save failed although the document could be written", g_scratch.first);
  }
  check_internal_errors("the first save");

  SDR_DATA_SESSION second(g_scratch.first.c_str());
  std::string t2;
  require_written(second, "the second load", &t2);
  if (!second.save_as(g_scratch.second.c_str(), true, false)) {
    fail("the second save failed", g_scratch.second);
  }
  check_internal_errors("the second save");

  SDR_DATA_SESSION third(g_scratch.second.c_str());
  std::string t3;
  require_written(third, "the third load", &t3);

  bool same = g_tolerate_known ? without_space_before_tags(t2) == without_space_before_tags(t3) : t2 == t3;
  if (!same) {
    size_t at = 0;
    while (at < t2.size() && at < t3.size() && t2[at] == t3[at]) ++at;
    print_text("input", std::string(reinterpret_cast<const char*>(data), size));
    print_text("first written text (T1)", t1);
    print_text("second written text (T2)", t2);
    print_text("third written text (T3)", t3);
    fail("round trip changed the document: the second and third written texts differ",
         "first difference at byte " + std::to_string(at));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Initialised once here, so that the sessions' own reference count never
  // drops to zero and the XML platform is not set up again for every input.
  xercesc::XMLPlatformUtils::Initialize();

  // Small limits keep every execution fast and are within reach of small
  // inputs (seeds in the corpus cross each of them).
  cfg_set_value("sdr_max_document_mb", "64");
  cfg_set_value("sdr_max_xml_depth", "200");
  cfg_set_value("sdr_max_xml_attributes", "100");
  cfg_set_value("sdr_max_entity_expansions", "1000");

  const char* tolerate = std::getenv("SDR_FUZZ_TOLERATE_KNOWN");
  g_tolerate_known = tolerate && *tolerate && *tolerate != '0';

  const char* base = std::getenv("SDR_FUZZ_TMPDIR");
  if (!is_usable_dir(base)) base = is_usable_dir("/dev/shm") ? "/dev/shm" : "/tmp";
  g_scratch.dir = std::string(base) + "/sdr_fuzz_session_load." + std::to_string(getpid());
  if (mkdir(g_scratch.dir.c_str(), 0700) != 0 && !is_usable_dir(g_scratch.dir.c_str())) {
    fail("cannot make the scratch folder", g_scratch.dir);
  }
  g_scratch.input = g_scratch.dir + "/in.tzo";
  g_scratch.first = g_scratch.dir + "/a.tzo";
  g_scratch.second = g_scratch.dir + "/b.tzo";
  std::atexit(remove_scratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  run_one(data, size);
  MSG_REPORT::get_default_report()->clear_posted();
  MSG_INTERNAL_ERROR::clear_reports();
  return 0;
}
