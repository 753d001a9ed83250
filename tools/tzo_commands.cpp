// tzo check, fmt and new.

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "sdr_data_session.h"
#include "sdr_tzo_signal_set.h"
#include "tzo_cli.h"

namespace tzo {
namespace {

std::string count_of(int n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

// Formats one file: to output when given, else in place (written only when
// the content changes). With check, writes nothing and lists the file when
// it would change. Returns false when the command is to fail.
bool format_file(const std::string& file, const std::string* output, bool check) {
  bool has_errors = false;
  SESSION_PTR session = load_reporting(file, &has_errors);
  if (!session) return false;
  if (has_errors) {
    if (!check) report(file, "the file has errors; it is not written");
    return false;
  }
  std::string current;
  if (!read_bytes(file, &current)) {
    report(file, "cannot read the file");
    return false;
  }
  if (is_older_text_layout(current) && !output) {
    report(file, "the file is in the older text layout; convert it with 'tzo import'");
    return false;
  }
  if (output) return save_settled(*session, *output, true);

  SETTLED settled;
  if (!settle(*session, file, &settled, true)) return false;
  if (settled.bytes == current) return true;
  if (check) {
    out(file + "\n");
    return false;
  }
  return write_settled(settled, file);
}

// A count option: digits only, within an int.
bool parse_count(const std::string& text, int* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  long n = std::strtol(text.c_str(), nullptr, 10);
  if (errno != 0 || n > INT_MAX) return false;
  *value = static_cast<int>(n);
  return true;
}

}  // namespace

int run_check(const ARGS& args) {
  const bool strict = args.has("strict");
  bool failed = false;
  // One file at a time: its session is closed before the next is loaded.
  for (const std::string& file : args.operands) {
    LOADED_FILE loaded = load_file(file);
    std::string text;
    for (const MSG_OBJECT& m : loaded.messages) {
      text += file + ": " + (m.is_error() ? "error " : "warning ") + m.get_id() + ": " + m.get_text() + "\n";
    }
    const SDR_TZO_IMPORT_REPORT* imported =
        loaded.session ? loaded.session->get_tzo_import_report() : nullptr;
    if (imported) {
      text += file + ": older text layout, imported " + count_of(imported->signals, "signal") + ", " +
              std::to_string(imported->get_num_skipped()) +
              (imported->get_num_skipped() == 1 ? " entry" : " entries") + " skipped (see 'tzo import')\n";
    }
    if (!loaded.session) {
      if (loaded.messages.empty()) report(file, "cannot read the file");
      text += file + ": not loaded\n";
      failed = true;
    } else if (loaded.messages.empty()) {
      text += file + ": ok\n";
    } else {
      text +=
          file + ": " + count_of(loaded.errors, "error") + ", " + count_of(loaded.warnings, "warning") + "\n";
    }
    if (loaded.errors > 0 || (strict && loaded.warnings > 0)) failed = true;
    out(text);
  }
  return failed ? EXIT_FAILED : EXIT_OK;
}

int run_fmt(const ARGS& args) {
  const bool check = args.has("check");
  const std::string* output = args.has("output") ? &args.get("output") : nullptr;
  if (output) {
    if (check) return usage_error(args.command, "--check writes nothing and takes no -o");
    if (args.operands.size() != 1) return usage_error(args.command, "-o takes exactly one FILE");
    if (output->empty()) return usage_error(args.command, "empty file name for -o");
  }
  bool failed = false;
  for (const std::string& file : args.operands) {
    if (!format_file(file, output, check)) failed = true;
  }
  return failed ? EXIT_FAILED : EXIT_OK;
}

int run_new(const ARGS& args) {
  const std::string& target = args.operands[0];
  int instances = 0;
  if (args.has("instances") && !parse_count(args.get("instances"), &instances))
    return usage_error(args.command, "invalid count '" + args.get("instances") + "' for --instances");
  if (instances > 255) return usage_error(args.command, "at most 255 instances fit the instance index");
  struct stat st;
  if (!args.has("force") && lstat(target.c_str(), &st) == 0) {
    report(target, "the file exists; use --force to replace it");
    return EXIT_FAILED;
  }
  SDR_DATA_SESSION session;
  for (int i = 0; i < instances; ++i) session.create_trazio_instance(nullptr);
  return save_settled(session, target) ? EXIT_OK : EXIT_FAILED;
}

}  // namespace tzo
