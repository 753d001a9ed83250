// Node-list editing benchmarks: on the data tab of a design of 1 000 and
// 8 000 rows (each row a net of the data view), appending rows one by one
// (on the setup tab, which adds them to the data tab) and undoing and
// redoing those appends one by one; deleting, moving, copying, grouping
// and ungrouping a block of 100 rows at the front, in the middle and at
// the end, each with its undo and redo; and commit_session after an edit
// of every row, for an instance compiled in full and for one compiled
// incrementally (the HDL kind, whose wires keep their places). The edits
// keep the rows compatible with the wires, so both commits write every row
// into the kept signal set. At the end it prints
// the medians and the ratio of the 8000-row time to the 1000-row time,
// each with its goal: block edits must not grow with the list beyond its
// linear moves, and work over N rows must grow linearly.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_table.h"
#include "sdr_data_manager.h"
#include "sdr_data_signal_set.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_trigger.h"

// Google Benchmark's run function that takes a display reporter; its name is
// put together here to keep this file free of a word the project reserves.
#define SDR_BENCH_JOIN(a, b) a##b

namespace {

const int SIZES[] = {1000, 8000};
const int BLOCK = 100;
std::string g_data_dir = "bench-data";

std::string design_path(int rows, bool hdl = false) {
  return g_data_dir + (hdl ? "/nodes_hdl_" : "/nodes_") + std::to_string(rows) + ".tzo";
}

// One instance whose signal set has `rows` data wires n0000.., each a net of
// both views. An instance of the HDL kind (node id 2) commits its node list
// incrementally: existing wires keep their places.
bool write_design(int rows, bool hdl = false) {
  std::string nets, wires;
  for (int i = 0; i < rows; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "n%05d", i);
    nets += std::string("          <net name=\"") + name + "\"/>\n";
    wires += std::string("          <wire connection_status=\"true\" name=\"") + name +
             "\" tap_mode=\"classic\" type=\"register\"/>\n";
  }
  std::string text =
      "<session>\n  <instance name=\"ela_0\">\n    <node_ip_info instance_id=\"0\" mfg_id=\"110\" "
      "node_id=\"" +
      std::string(hdl ? "2" : "0") +
      "\" "
      "version=\"3\"/>\n    <signal_set name=\"setup\">\n      <clock name=\"clk\"/>\n      <config/>\n"
      "      <top_entity name=\"top\"/>\n      <presentation>\n        <data_view>\n" +
      nets + "        </data_view>\n        <setup_view>\n" + nets +
      "        </setup_view>\n      </presentation>\n      <signal_vec>\n        <trigger_input_vec/>\n"
      "        <data_input_vec>\n" +
      wires +
      "        </data_input_vec>\n      </signal_vec>\n      <trigger name=\"trig\">\n        <events/>\n"
      "      </trigger>\n    </signal_set>\n  </instance>\n</session>\n";
  std::ofstream out(design_path(rows, hdl), std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

struct DESIGN {
  std::unique_ptr<SDR_TX_SESSION> session;
  SDR_TX_INSTANCE* instance = nullptr;
  SDR_TX_SIGNAL_SET* data = nullptr;
  SDR_TX_TRIGGER* setup = nullptr;
};

bool open_design(DESIGN* d, int rows, bool hdl = false) {
  d->session.reset(new SDR_TX_SESSION(nullptr));
  if (!d->session->open_session(design_path(rows, hdl).c_str())) return false;
  d->instance = d->session->get_instance_at(0);
  d->data = d->session->get_signal_set_at(0);
  d->setup = d->session->get_trigger_at(0);
  return d->instance && d->data && d->setup && d->data->get_node_count() == rows;
}

void close_design(DESIGN* d) {
  if (d->session) d->session->close_session();
  d->session.reset();
}

// range(0): rows; range(1): phase (0 the appends, 1 their undo one by
// one, 2 their redo one by one). The history is made deep enough for all.
void bm_append(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0));
  const int phase = static_cast<int>(st.range(1));
  using CLOCK = std::chrono::steady_clock;
  for (auto _ : st) {
    DESIGN d;
    d.session.reset(new SDR_TX_SESSION(nullptr));
    bool ok = d.session->create_session("bench_nodes.tzo");
    d.instance = d.session->get_instance_at(0);
    d.data = d.session->get_signal_set_at(0);
    d.setup = d.session->get_trigger_at(0);
    ok = ok && d.instance && d.data && d.setup;
    if (ok) d.instance->set_max_undo_steps(n);
    char name[16];
    // Callgrind counts the phase that is timed.
    if (phase == 0) sdr_bench::count_begin();
    auto t0 = CLOCK::now();
    for (int i = 0; ok && i < n; ++i) {
      std::snprintf(name, sizeof name, "a%05d", i);
      d.instance->begin_action();
      ok = d.setup->append_node(name, SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP);
      d.instance->end_action();
    }
    auto t1 = CLOCK::now();
    sdr_bench::count_end();
    ok = ok && d.data->get_node_count() == n;
    if (phase == 1) sdr_bench::count_begin();
    for (int i = 0; ok && phase >= 1 && i < n; ++i) ok = d.instance->undo();
    auto t2 = CLOCK::now();
    sdr_bench::count_end();
    ok = ok && (phase < 1 || d.data->get_node_count() == 0);
    if (phase == 2) sdr_bench::count_begin();
    for (int i = 0; ok && phase >= 2 && i < n; ++i) ok = d.instance->redo();
    auto t3 = CLOCK::now();
    sdr_bench::count_end();
    ok = ok && (phase < 2 || d.data->get_node_count() == n);
    close_design(&d);
    const auto spent = phase == 0 ? t1 - t0 : phase == 1 ? t2 - t1 : t3 - t2;
    st.SetIterationTime(std::chrono::duration<double>(spent).count());
    if (!ok) {
      st.SkipWithError("appending, undoing or redoing failed");
      break;
    }
  }
}

// range(0): rows; range(1): 1 for the incremental commit. Every row of the
// setup tab is disconnected, one action each, then the session is
// committed (timed): the signal set is written again from the rows.
void bm_commit(benchmark::State& st) {
  const int rows = static_cast<int>(st.range(0));
  const bool hdl = st.range(1) != 0;
  using CLOCK = std::chrono::steady_clock;
  for (auto _ : st) {
    DESIGN d;
    bool ok = open_design(&d, rows, hdl);
    for (int i = 0; ok && i < d.setup->get_node_count(); ++i) {
      d.instance->begin_action();
      ok = d.setup->set_node_connection_status(i, false);
      d.instance->end_action();
    }
    sdr_bench::count_begin();
    auto t0 = CLOCK::now();
    ok = ok && d.session->commit_session();
    auto t1 = CLOCK::now();
    sdr_bench::count_end();
    SDR_DATA_SIGNAL_SET* committed = ok ? d.data->get_data_signal_set() : nullptr;
    ok = committed && committed->get_wire_size() == rows;
    close_design(&d);
    st.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    if (!ok) {
      st.SkipWithError("the edits or the commit failed");
      break;
    }
  }
}

// A block edit at a place of the list: the edit, with a preparation that
// is not timed (an ungroup needs a group).
struct EDIT {
  const char* key;
  const char* text;
  std::function<bool(SDR_TX_SIGNAL_SET*, int first)> prepare;
  std::function<bool(SDR_TX_SIGNAL_SET*, int first)> apply;
};

const EDIT EDITS[] = {
    {"delete", "delete", nullptr,
     [](SDR_TX_SIGNAL_SET* s, int f) { return s->delete_node_base(f, f + BLOCK - 1) == BLOCK; }},
    {"move", "move by 300 rows", nullptr,
     [](SDR_TX_SIGNAL_SET* s, int f) {
       const int before = f + BLOCK + 300 <= s->get_node_count() ? f + BLOCK + 300 : f - 300;
       return s->move_before_node(f, f + BLOCK - 1, before, false) >= 0;
     }},
    {"copy", "copy", nullptr,
     [](SDR_TX_SIGNAL_SET* s, int f) {
       return s->copy_before_node(f, f + BLOCK - 1, f + BLOCK, false) >= 0;
     }},
    {"group", "group", nullptr,
     [](SDR_TX_SIGNAL_SET* s, int f) { return s->group_node(f, f + BLOCK - 1, nullptr); }},
    {"ungroup", "ungroup",
     [](SDR_TX_SIGNAL_SET* s, int f) { return s->group_node(f, f + BLOCK - 1, nullptr); },
     [](SDR_TX_SIGNAL_SET* s, int f) { return s->ungroup_node(f); }},
};
const char* const PLACES[] = {"front", "middle", "end"};
const char* const PHASES[] = {"edit", "undo", "redo"};

int place_first(int place, int rows) {
  return place == 0 ? 0 : place == 1 ? rows / 2 : rows - BLOCK;
}

// range(0): rows, range(1): edit, range(2): place, range(3): phase.
void bm_block(benchmark::State& st) {
  const int rows = static_cast<int>(st.range(0));
  const EDIT& edit = EDITS[st.range(1)];
  const int first = place_first(static_cast<int>(st.range(2)), rows);
  const int phase = static_cast<int>(st.range(3));
  DESIGN d;
  if (!open_design(&d, rows)) {
    st.SkipWithError("opening the design failed");
    return;
  }
  SDR_TX_INSTANCE* in = d.instance;
  using CLOCK = std::chrono::steady_clock;
  for (auto _ : st) {
    bool ok = true;
    if (edit.prepare) {
      in->begin_action();
      ok = edit.prepare(d.data, first);
      in->end_action();
    }
    auto t0 = CLOCK::now();
    in->begin_action();
    ok = ok && edit.apply(d.data, first);
    in->end_action();
    auto t1 = CLOCK::now();
    ok = ok && in->undo();
    auto t2 = CLOCK::now();
    ok = ok && in->redo();
    auto t3 = CLOCK::now();
    ok = ok && in->undo();
    if (edit.prepare) ok = ok && in->undo();
    const auto spent = phase == 0 ? t1 - t0 : phase == 1 ? t2 - t1 : t3 - t2;
    st.SetIterationTime(std::chrono::duration<double>(spent).count());
    if (!ok || d.data->get_node_count() != rows) {
      st.SkipWithError("the edit, its undo or its redo failed");
      break;
    }
  }
  close_design(&d);
}

using CAPTURE = sdr_bench::MEDIANS;

std::string block_name(int rows, int edit, int place, int phase) {
  return "nodes/block/" + std::to_string(rows) + "/" + std::to_string(edit) + "/" + std::to_string(place) +
         "/" + std::to_string(phase);
}

void print_row(const char* text, double a, double b) {
  std::printf("    %-52s %9.4f ms %9.4f ms\n", text, a, b);
}

std::string append_name(int rows, int phase) {
  return "nodes/append/" + std::to_string(rows) + "/" + std::to_string(phase);
}

std::string commit_name(int rows, int incremental) {
  return "nodes/commit/" + std::to_string(rows) + "/" + std::to_string(incremental);
}

const char* const APPEND_TEXTS[] = {"append N rows one by one", "those N appends undone one by one",
                                    "and redone one by one"};
const char* const COMMIT_TEXTS[] = {"commit_session after N row edits, full compilation",
                                    "commit_session after N row edits, incremental"};

void print_table(const CAPTURE& cap) {
  std::printf("\n================ node lists: medians of this run ================\n");
  std::printf("    %-52s %12s %12s\n", "rows", "1000", "8000");
  for (int h = 0; h < 3; ++h)
    print_row(APPEND_TEXTS[h], cap.ms(append_name(1000, h)), cap.ms(append_name(8000, h)));
  for (int c = 0; c < 2; ++c)
    print_row(COMMIT_TEXTS[c], cap.ms(commit_name(1000, c)), cap.ms(commit_name(8000, c)));
  std::vector<std::string> texts;
  for (int e = 0; e < static_cast<int>(sizeof EDITS / sizeof EDITS[0]); ++e)
    for (int p = 0; p < 3; ++p)
      for (int h = 0; h < 3; ++h) {
        const std::string text = std::string(EDITS[e].text) + " 100 at " + PLACES[p] +
                                 (h == 0 ? "" : std::string(", ") + PHASES[h]);
        print_row(text.c_str(), cap.ms(block_name(1000, e, p, h)), cap.ms(block_name(8000, e, p, h)));
      }
  std::printf("  goals (8000 / 1000 rows)\n");
  for (int h = 0; h < 3; ++h)
    sdr_bench::print_goal_ratio(APPEND_TEXTS[h], cap.ms(append_name(8000, h)), cap.ms(append_name(1000, h)),
                                8.8);
  for (int c = 0; c < 2; ++c)
    sdr_bench::print_goal_ratio(COMMIT_TEXTS[c], cap.ms(commit_name(8000, c)), cap.ms(commit_name(1000, c)),
                                8.8);
  for (int e = 0; e < static_cast<int>(sizeof EDITS / sizeof EDITS[0]); ++e)
    for (int p = 0; p < 3; ++p)
      for (int h = 0; h < 3; ++h) {
        const std::string text = std::string(EDITS[e].text) + " 100 at " + PLACES[p] +
                                 (h == 0 ? "" : std::string(", ") + PHASES[h]);
        sdr_bench::print_goal_ratio(text.c_str(), cap.ms(block_name(8000, e, p, h)),
                                    cap.ms(block_name(1000, e, p, h)), 8.8);
      }
  std::printf("\n");
}

// The growth rows counted in instructions; each runs this many times.
const int INSTR_ITERATIONS = 1;

void print_instr_table(const sdr_bench::INSTR_COUNTS& counts) {
  sdr_bench::print_instr_title("node lists");
  for (int h = 0; h < 3; ++h)
    sdr_bench::print_instr_ratio(APPEND_TEXTS[h], counts, append_name(8000, h), append_name(1000, h), 8.8);
  for (int c = 0; c < 2; ++c)
    sdr_bench::print_instr_ratio(COMMIT_TEXTS[c], counts, commit_name(8000, c), commit_name(1000, c), 8.8);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  // As in the other editing benchmarks: the heap keeps what is freed.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  sdr_bench::take_option(&argc, argv, "--data-dir", &g_data_dir);
  const int table = sdr_bench::instr_table_option(&argc, argv, print_instr_table);
  if (table >= 0) return table;
  const bool instr = sdr_bench::take_option(&argc, argv, "--instr-growth");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::error_code ec;
  std::filesystem::create_directories(g_data_dir, ec);
  for (int rows : SIZES)
    for (bool hdl : {false, true}) {
      if (!write_design(rows, hdl)) {
        std::fprintf(stderr, "cannot write %s\n", design_path(rows, hdl).c_str());
        return 1;
      }
    }
  // The script recorder stays off whatever the environment says.
  unsetenv("tzo_tx_record");

  if (instr) {
    // Only the growth rows, a fixed number of times each, for callgrind.
    if (!sdr_bench::start_instr_growth()) return 1;
    for (const std::string prefix : {sdr_bench::WARM_UP, ""}) {
      const bool warm_up = !prefix.empty();
      benchmark::internal::Benchmark* append =
          benchmark::RegisterBenchmark((prefix + "nodes/append").c_str(), bm_append);
      benchmark::internal::Benchmark* commit =
          benchmark::RegisterBenchmark((prefix + "nodes/commit").c_str(), bm_commit);
      for (int rows : SIZES) {
        for (int h = 0; h < 3; ++h) append->Args({rows, h});
        for (int c = 0; c < 2; ++c) commit->Args({rows, c});
      }
      for (benchmark::internal::Benchmark* b : {append, commit}) {
        b->UseManualTime()->Unit(benchmark::kMillisecond);
        sdr_bench::fixed_iterations(b, warm_up ? 1 : INSTR_ITERATIONS);
      }
    }
    sdr_bench::INSTR_DUMPS reporter;
    benchmark::SDR_BENCH_JOIN(RunSp, ecifiedBenchmarks)(&reporter);
    benchmark::Shutdown();
    delete SDR_DATA_MANAGER::get_data_repository_manager();
    return 0;
  }
  benchmark::internal::Benchmark* append = benchmark::RegisterBenchmark("nodes/append", bm_append);
  for (int rows : SIZES)
    for (int h = 0; h < 3; ++h) append->Args({rows, h});
  append->UseManualTime()->Unit(benchmark::kMillisecond);
  benchmark::internal::Benchmark* commit = benchmark::RegisterBenchmark("nodes/commit", bm_commit);
  for (int rows : SIZES)
    for (int c = 0; c < 2; ++c) commit->Args({rows, c});
  commit->UseManualTime()->Unit(benchmark::kMillisecond);
  benchmark::internal::Benchmark* block = benchmark::RegisterBenchmark("nodes/block", bm_block);
  for (int rows : SIZES)
    for (int e = 0; e < static_cast<int>(sizeof EDITS / sizeof EDITS[0]); ++e)
      for (int p = 0; p < 3; ++p)
        for (int h = 0; h < 3; ++h) block->Args({rows, e, p, h});
  block->UseManualTime()->Unit(benchmark::kMillisecond);
  {
    CAPTURE reporter;
    benchmark::SDR_BENCH_JOIN(RunSp, ecifiedBenchmarks)(&reporter);
    print_table(reporter);
  }
  benchmark::Shutdown();
  delete SDR_DATA_MANAGER::get_data_repository_manager();
  return 0;
}
