// tzo embedded, embed and extract: the programming files a session carries.

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "path_util.h"
#include "sdr_data_session.h"
#include "tzo_cli.h"

namespace tzo {
namespace {

bool all_digits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The index an INDEX|NAME operand chooses, or -1 with the reason reported.
int choose_entry(const SDR_DATA_SESSION& session, const std::string& file, const std::string& selector) {
  const int count = session.get_embedded_bix_file_count();
  if (all_digits(selector)) {
    errno = 0;
    long index = std::strtol(selector.c_str(), nullptr, 10);
    if (errno == 0 && index < count) return static_cast<int>(index);
    report(file, "no embedded file " + selector + " (the file has " + std::to_string(count) + ")");
    return -1;
  }
  for (int i = 0; i < count; ++i) {
    const char* name = session.get_embedded_bix_filename_at(i);
    if (name && selector == name) return i;
  }
  report(file, "no embedded file named '" + printable(selector.c_str()) + "'");
  return -1;
}

// Why a programming file cannot be embedded, as far as its status tells.
std::string unreadable_reason(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "cannot read the file";
  if (S_ISDIR(st.st_mode)) return "is a directory";
  if (st.st_size == 0) return "the file is empty; nothing to embed";
  return "cannot embed the file (unreadable, or above the size limit)";
}

}  // namespace

int run_embedded(const ARGS& args) {
  const std::string& file = args.operands[0];
  bool has_errors = false;
  SESSION_PTR session = load_reporting(file, &has_errors);
  if (!session) return EXIT_FAILED;
  std::string text;
  const int count = session->get_embedded_bix_file_count();
  for (int i = 0; i < count; ++i) {
    const char* name = session->get_embedded_bix_filename_at(i);
    text += std::to_string(i) + " " + (name ? printable(name) : std::string("-")) + "\n";
  }
  out(text);
  return has_errors ? EXIT_FAILED : EXIT_OK;
}

int run_embed(const ARGS& args) {
  const std::string& file = args.operands[0];
  const std::string& bix = args.operands[1];
  std::string name = args.has("name") ? args.get("name") : base_name_of(bix);
  if (name.empty()) return usage_error(args.command, "empty name for the embedded file");

  bool has_errors = false;
  SESSION_PTR session = load_reporting(file, &has_errors);
  if (!session) return EXIT_FAILED;
  if (has_errors) {
    report(file, "the file has errors; it is not written");
    return EXIT_FAILED;
  }
  std::string current;
  if (!read_bytes(file, &current)) {
    report(file, "cannot read the file");
    return EXIT_FAILED;
  }
  if (is_older_text_layout(current)) {
    report(file, "the file is in the older text layout; convert it with 'tzo import'");
    return EXIT_FAILED;
  }
  if (!session->embed_bix_file(bix.c_str(), name.c_str())) {
    report_messages(file, take_posted_messages());
    report(bix, unreadable_reason(bix));
    return EXIT_FAILED;
  }
  // The old file stays intact unless the new one was written completely.
  return save_settled(*session, file) ? EXIT_OK : EXIT_FAILED;
}

int run_extract(const ARGS& args) {
  const std::string& file = args.operands[0];
  const std::string& selector = args.operands[1];
  const std::string& target = args.operands[2];
  if (target.empty()) return usage_error(args.command, "empty file name for OUT");
  if (PATH_UTIL::same_file(file, target)) {
    report(target, "is the session file itself; it is not overwritten");
    return EXIT_FAILED;
  }
  bool has_errors = false;
  SESSION_PTR session = load_reporting(file, &has_errors);
  if (!session) return EXIT_FAILED;
  // The embedded data does not depend on the rest of the document, so a
  // file with errors is still extracted from; the status tells of them.
  const int index = choose_entry(*session, file, selector);
  if (index < 0) return EXIT_FAILED;
  bool ok = session->extract_bix_file(index, target.c_str());
  report_messages(file, take_posted_messages());
  if (!ok) {
    report(file, "cannot extract embedded file " + std::to_string(index) + " to " + target +
                     " (damaged data, or the target cannot be written)");
    return EXIT_FAILED;
  }
  return has_errors ? EXIT_FAILED : EXIT_OK;
}

}  // namespace tzo
