// tzo import: converts a file of the older text layout into a current one.

#include <sys/stat.h>

#include <string>

#include "path_util.h"
#include "sdr_data_global_enum.h"
#include "sdr_data_instance.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_tzo_signal_set.h"
#include "tzo_cli.h"

namespace tzo {
namespace {

std::string count_of(int n, const char* noun, const char* plural) {
  return std::to_string(n) + " " + (n == 1 ? noun : plural);
}

// OLD with the extension of its file name replaced by ".tzo" (added when
// it has none).
std::string default_output(const std::string& old) {
  size_t slash = old.rfind('/');
  size_t start = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = old.rfind('.');
  if (dot == std::string::npos || dot <= start) return old + ".tzo";
  return old.substr(0, dot) + ".tzo";
}

std::string enum_text(SDR_DATA_TRIGGER_CONDITION value) {
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  return text ? text : "?";
}

std::string enum_text(SDR_DATA_TRIGGER_POSITION value) {
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  return text ? text : "?";
}

// What the import took and left, as the lines printed after a conversion.
std::string summary(SDR_DATA_SESSION& session, const SDR_TZO_IMPORT_REPORT& r) {
  std::string text;
  text += "  signals: " + std::to_string(r.signals) + "\n";
  text += "  groups: " + std::to_string(r.groups) + "\n";
  text += "  trigger conditions: " + std::to_string(r.conditions) + "\n";
  text += "  debug outputs: " + std::to_string(r.debug_outputs) + "\n";

  SDR_DATA_INSTANCE* instance = session.get_num_instances() > 0 ? session.get_instance_at(0) : nullptr;
  SDR_DATA_SIGNAL_SET* signals = instance ? instance->find_signal_set("signals_imported") : nullptr;
  SDR_DATA_TRIGGER* trigger = signals ? signals->find_trigger("trigger_imported") : nullptr;
  std::string acquisition;
  auto add = [&acquisition](const std::string& item) {
    acquisition += (acquisition.empty() ? "" : ", ") + item;
  };
  if (signals && r.clock_set) add(std::string("clock ") + printable(signals->get_clock_name()));
  if (signals && r.depth_set) add("sample depth " + std::to_string(signals->get_sample_depth()));
  if (trigger && r.position_set) add("trigger position " + enum_text(trigger->get_trigger_position()));
  if (trigger && r.trigger_in_set) add("trigger in " + enum_text(trigger->get_trigger_in()));
  if (trigger && r.trigger_out_set) add("trigger out " + enum_text(trigger->get_trigger_out()));
  text += "  acquisition: " + (acquisition.empty() ? std::string("none") : acquisition) + "\n";

  text += "  skipped: " + count_of(r.get_num_skipped(), "entry", "entries") + "\n";
  for (int i = 0; i < SDR_TZO_IMPORT_REPORT::SKIP_REASON_COUNT; ++i) {
    if (r.skipped[i] == 0) continue;
    text += "    " + std::to_string(r.skipped[i]) + " " +
            SDR_TZO_IMPORT_REPORT::get_reason_text(static_cast<SDR_TZO_IMPORT_REPORT::SKIP_REASON>(i)) + "\n";
  }
  if (r.other_lines > 0)
    text += "  lines of other sections, not used: " + std::to_string(r.other_lines) + "\n";
  return text;
}

}  // namespace

int run_import(const ARGS& args) {
  const std::string& old = args.operands[0];
  const bool explicit_output = args.has("output");
  const std::string target = explicit_output ? args.get("output") : default_output(old);
  if (target.empty()) return usage_error(args.command, "empty file name for -o");

  // Loading refuses directories, FIFOs and devices without blocking; a
  // file of the older layout is imported while it loads.
  bool has_errors = false;
  SESSION_PTR session = load_reporting(old, &has_errors);
  if (!session) return EXIT_FAILED;
  const SDR_TZO_IMPORT_REPORT* r = session->get_tzo_import_report();
  if (!r) {
    report(old, "not a file of the older text layout (its first line does not start with \"[@\\TZO=\")");
    return EXIT_FAILED;
  }
  if (!r->file_read) {
    report(old, "cannot read the file");
    return EXIT_FAILED;
  }
  if (has_errors) {
    report(old, "the file has errors; nothing written");
    return EXIT_FAILED;
  }
  // The older file is replaced only when asked for by name.
  const bool same = PATH_UTIL::same_file(PATH_UTIL::make_absolute(old), PATH_UTIL::make_absolute(target));
  struct stat st;
  if (!explicit_output && (same || lstat(target.c_str(), &st) == 0)) {
    report(target, same ? "the output would replace the older file; give -o " + target + " to replace it"
                        : "the file exists; give -o " + target + " to replace it");
    return EXIT_FAILED;
  }
  if (!save_settled(*session, target)) return EXIT_FAILED;
  out("imported " + old + " into " + target + "\n" + summary(*session, *r));
  return EXIT_OK;
}

}  // namespace tzo
