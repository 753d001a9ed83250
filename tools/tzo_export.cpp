// tzo export: a captured log written as VCD or CSV.

#include <string>
#include <vector>

#include "path_util.h"
#include "sdr_data_export.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "tzo_cli.h"

namespace tzo {
namespace {

std::string quoted(const char* text) {
  return "\"" + printable(text) + "\"";
}

bool is_index(const std::string& text) {
  return !text.empty() && text.size() < 9 && text.find_first_not_of("0123456789") == std::string::npos;
}

// Every log of an instance: signal sets, then their triggers, then the
// triggers' logs, each list followed by its global temporary entry.
std::vector<SDR_DATA_LOG*> logs_of(const SDR_DATA_INSTANCE& instance) {
  std::vector<SDR_DATA_LOG*> logs;
  auto add_trigger = [&](const SDR_DATA_TRIGGER* trigger) {
    if (!trigger) return;
    for (int i = 0; i < trigger->get_num_logs(); ++i)
      if (SDR_DATA_LOG* log = trigger->get_log_at(i)) logs.push_back(log);
    if (SDR_DATA_LOG* global = trigger->get_global_log()) logs.push_back(global);
  };
  auto add_set = [&](const SDR_DATA_SIGNAL_SET* set) {
    if (!set) return;
    for (int i = 0; i < set->get_num_triggers(); ++i) add_trigger(set->get_trigger_at(i));
    add_trigger(set->get_global_trigger());
  };
  for (int i = 0; i < instance.get_num_signal_sets(); ++i) add_set(instance.get_signal_set_at(i));
  add_set(instance.get_global_signal_set());
  return logs;
}

std::string where(const SDR_DATA_LOG* log) {
  const SDR_DATA_TRIGGER* trigger = log->get_trigger();
  const SDR_DATA_SIGNAL_SET* set = log->get_signal_set();
  return "signal set " + quoted(set ? set->get_name() : "") + ", trigger " +
         quoted(trigger ? trigger->get_name() : "");
}

// The log to export from an instance: the one named, else the active one,
// else the only one. Null with the reason in *error when there is none to
// take; *none tells that the instance simply holds no (such) log.
SDR_DATA_LOG* choose_log(const SDR_DATA_SESSION& session, SDR_DATA_INSTANCE* instance,
                         const std::string* name, bool* none, std::string* error) {
  *none = false;
  const std::vector<SDR_DATA_LOG*> logs = logs_of(*instance);
  const std::string label = "instance " + quoted(instance->get_name());
  if (name) {
    std::vector<SDR_DATA_LOG*> named;
    for (SDR_DATA_LOG* log : logs)
      if (log->get_name() && *name == log->get_name()) named.push_back(log);
    if (named.size() == 1) return named.front();
    if (named.empty()) {
      *none = true;
      *error = label + " has no log " + quoted(name->c_str());
      return nullptr;
    }
    *error = label + " has " + std::to_string(named.size()) + " logs named " + quoted(name->c_str()) +
             " (in " + where(named[0]) + " and " + where(named[1]) + ")";
    return nullptr;
  }
  if (session.has_active_tree())
    if (SDR_DATA_LOG* active = session.find_active_log(instance)) return active;
  if (logs.size() == 1) return logs.front();
  if (logs.empty()) {
    *none = true;
    *error = label + " holds no log";
    return nullptr;
  }
  *error = label + " has " + std::to_string(logs.size()) + " logs and no active one; name one with --log";
  return nullptr;
}

}  // namespace

int run_export(const ARGS& args) {
  const std::string& file = args.operands[0];
  if (!args.has("output") || args.get("output").empty())
    return usage_error(args.command, "the output file is missing: give -o OUT");
  const std::string& target = args.get("output");

  std::string format = args.get("format");
  if (format.empty()) {
    const bool csv = target.size() > 4 && (target.compare(target.size() - 4, 4, ".csv") == 0 ||
                                           target.compare(target.size() - 4, 4, ".CSV") == 0);
    format = csv ? "csv" : "vcd";
  }
  if (format != "vcd" && format != "csv")
    return usage_error(args.command, "unknown format '" + format + "' (vcd or csv)");

  SDR_DATA_EXPORT::OPTIONS options;
  if (args.has("period") && !SDR_DATA_EXPORT::parse_period_ns(args.get("period").c_str(), &options.period_ps))
    return usage_error(args.command, "invalid period '" + args.get("period") +
                                         "' (nanoseconds, at most 3 decimals, up to 1 s)");
  options.split_buses = args.has("split-buses");
  options.pad_short_data = args.has("pad");
  options.date = args.get("date");

  if (PATH_UTIL::same_file(file, target)) {
    report(target, "is the session file itself; it is not overwritten");
    return EXIT_FAILED;
  }
  bool has_errors = false;
  SESSION_PTR session = load_reporting(file, &has_errors);
  if (!session) return EXIT_FAILED;

  std::vector<SDR_DATA_INSTANCE*> instances;
  if (args.has("instance")) {
    const std::string& selector = args.get("instance");
    SDR_DATA_INSTANCE* instance = is_index(selector) ? session->get_instance_at(std::stoi(selector))
                                                     : session->find_instance(selector.c_str());
    if (!instance) {
      report(file, (is_index(selector) ? "no instance at index " + selector
                                       : "no instance named " + quoted(selector.c_str())));
      return EXIT_FAILED;
    }
    instances.push_back(instance);
  } else {
    for (int i = 0; i < session->get_num_instances(); ++i)
      if (SDR_DATA_INSTANCE* instance = session->get_instance_at(i)) instances.push_back(instance);
  }

  const std::string* log_name = args.has("log") ? &args.get("log") : nullptr;
  std::vector<SDR_DATA_LOG*> logs;
  std::string last_none;
  for (SDR_DATA_INSTANCE* instance : instances) {
    bool none = false;
    std::string error;
    SDR_DATA_LOG* log = choose_log(*session, instance, log_name, &none, &error);
    if (log) {
      logs.push_back(log);
      continue;
    }
    // Without --instance, instances holding no (such) log are passed over.
    if (none && !args.has("instance")) {
      last_none = error;
      continue;
    }
    report(file, error);
    return EXIT_FAILED;
  }
  if (logs.empty()) {
    if (instances.size() == 1 && !last_none.empty()) {
      report(file, last_none);
    } else if (log_name) {
      report(file, "no instance has a log " + quoted(log_name->c_str()));
    } else {
      report(file, "the file holds no captured log");
    }
    return EXIT_FAILED;
  }
  if (format == "csv" && logs.size() > 1) {
    report(file, "a CSV file holds one log and " + std::to_string(logs.size()) +
                     " instances have one; choose one with --instance");
    return EXIT_FAILED;
  }

  SDR_DATA_EXPORT exporter;
  exporter.set_options(options);
  for (SDR_DATA_LOG* log : logs) {
    std::string error;
    if (!exporter.append_log(log, &error)) {
      report_messages(file, take_posted_messages());
      report(file, error + "; nothing written");
      return EXIT_FAILED;
    }
  }
  // Rows of the data view that name no wire, say, were posted meanwhile.
  report_messages(file, take_posted_messages());
  std::string error;
  const bool written = format == "csv" ? exporter.write_csv(target.c_str(), &error)
                                       : exporter.write_vcd(target.c_str(), &error);
  if (!written) {
    report(target, "cannot write the file: " + error);
    return EXIT_FAILED;
  }
  return has_errors ? EXIT_FAILED : EXIT_OK;
}

}  // namespace tzo
