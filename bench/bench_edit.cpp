// Editing benchmarks: a design built through the library's interface, as
// a host's command interpreter builds one (wires, view rows, a trigger),
// and edits of its trigger conditions and aliases, over a growth series of
// 1000 to 8000 wires. At the end it prints the medians and the ratio of
// the 8000-wire time to the 1000-wire time of each edit: editing must
// grow linearly with the design, like loading and saving.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <xercesc/util/PlatformUtils.hpp>

#include "bench_table.h"
#include "sdr_data_instance.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"

// Google Benchmark's run function that takes a display reporter; its name is
// put together here to keep this file free of a word the project reserves.
#define SDR_BENCH_JOIN(a, b) a##b

namespace {

const int GROWTH_WIRES[] = {1000, 2000, 4000, 8000};
const int BUS_WIDTH = 16;
const int LEVELS = 4;

std::string bus_name(int bus) {
  char text[32];
  std::snprintf(text, sizeof text, "b%04d", bus);
  return text;
}
std::string wire_name(int bus, int bit) {
  return "core|" + bus_name(bus) + "_q[" + std::to_string(bit) + "]";
}
std::string wire_alias(int bus, int bit) {
  return bus_name(bus) + "[" + std::to_string(bit) + "]";
}

using NODE_PTR = std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE>;

struct DESIGN {
  std::unique_ptr<SDR_DATA_SESSION> session;
  SDR_DATA_SIGNAL_SET* set = nullptr;
  SDR_DATA_TRIGGER* trigger = nullptr;
  int wires = 0;
  int buses() const { return (wires + BUS_WIDTH - 1) / BUS_WIDTH; }
};

bool add_wires(DESIGN* d) {
  d->session.reset(new SDR_DATA_SESSION);
  SDR_DATA_INSTANCE* instance = d->session->create_instance("u_core");
  d->set = instance ? instance->create_signal_set("set_0", false) : nullptr;
  if (!d->set) return false;
  for (int w = 0; w < d->wires; ++w) {
    int bus = w / BUS_WIDTH, bit = w % BUS_WIDTH;
    SDR_DATA_SIGNAL_WIRE* wire =
        d->set->create_wire(wire_name(bus, bit).c_str(), SDR_CTYPE_BOTH, SDR_MTYPE_CLASSIC_TAP, true,
                            wire_alias(bus, bit).c_str());
    if (!wire || !d->set->append(wire, true)) return false;
  }
  return true;
}

// A bus row per 16 wires in both views.
bool add_rows(DESIGN* d) {
  for (SDR_DATA_SIGNAL_VIEW* view : {d->set->get_setup_view(), d->set->get_data_view()}) {
    for (int bus = 0; bus < d->buses(); ++bus) {
      NODE_PTR row(view->create_bus_node(bus_name(bus).c_str()));
      for (int bit = 0; bit < BUS_WIDTH && bus * BUS_WIDTH + bit < d->wires; ++bit) {
        NODE_PTR net(view->create_net_node(wire_alias(bus, bit).c_str()));
        if (!row->append_child(net.get())) return false;
      }
      view->append_node(row.get());
    }
  }
  return true;
}

bool add_trigger(DESIGN* d) {
  d->trigger = d->set->create_trigger("edit", false);
  if (!d->trigger) return false;
  for (int l = 0; l < LEVELS; ++l) d->trigger->append_new_level(true);
  return true;
}

// Every bus of every level gets a value, the level texts written once.
bool set_bus_values(DESIGN* d, long salt) {
  for (int l = 0; l < LEVELS; ++l) {
    for (int bus = 0; bus < d->buses(); ++bus)
      if (!d->trigger->set_trigger_condition(bus_name(bus).c_str(), l, (bus * 37 + l + salt) & 0xFFFF, false))
        return false;
    if (!d->trigger->set_trigger_condition(0, l, d->trigger->get_condition(l, 0), true)) return false;
  }
  return true;
}

// One design of each size, built once, for the edits that change it in
// place; released before the XML library ends.
std::map<int, std::unique_ptr<DESIGN>> g_designs;

DESIGN* built(int wires) {
  std::unique_ptr<DESIGN>& d = g_designs[wires];
  if (!d) {
    d.reset(new DESIGN);
    d->wires = wires;
    if (!add_wires(d.get()) || !add_rows(d.get()) || !add_trigger(d.get()) || !set_bus_values(d.get(), 0))
      d.reset();
  }
  return d.get();
}

void bm_add_wires(benchmark::State& st) {
  for (auto _ : st) {
    sdr_bench::count_begin();
    DESIGN d;
    d.wires = static_cast<int>(st.range(0));
    const bool added = add_wires(&d);
    sdr_bench::count_end();
    if (!added) {
      st.SkipWithError("adding wires failed");
      break;
    }
    st.PauseTiming();
    d.session.reset();
    st.ResumeTiming();
  }
}

long minor_faults() {
  struct rusage r;
  getrusage(RUSAGE_SELF, &r);
  return r.ru_minflt;
}

void bm_add_rows(benchmark::State& st) {
  long faults = 0;
  for (auto _ : st) {
    st.PauseTiming();
    DESIGN d;
    d.wires = static_cast<int>(st.range(0));
    bool ok = add_wires(&d);
    long f0 = minor_faults();
    st.ResumeTiming();
    sdr_bench::count_begin();
    ok = ok && add_rows(&d);
    sdr_bench::count_end();
    st.PauseTiming();
    faults += minor_faults() - f0;
    d.session.reset();
    st.ResumeTiming();
    if (!ok) {
      st.SkipWithError("adding view rows failed");
      break;
    }
  }
  st.counters["faults"] = benchmark::Counter(static_cast<double>(faults), benchmark::Counter::kAvgIterations);
}

void bm_bus_values(benchmark::State& st) {
  DESIGN* d = built(static_cast<int>(st.range(0)));
  if (!d) {
    st.SkipWithError("the design was not built");
    return;
  }
  long salt = 0;
  for (auto _ : st) {
    sdr_bench::count_begin();
    const bool set = set_bus_values(d, ++salt);
    sdr_bench::count_end();
    if (!set) {
      st.SkipWithError("setting bus values failed");
      break;
    }
  }
}

// One wire's condition, with the level's text brought up to date.
void bm_one_condition(benchmark::State& st) {
  DESIGN* d = built(static_cast<int>(st.range(0)));
  if (!d) {
    st.SkipWithError("the design was not built");
    return;
  }
  int node = 0;
  for (auto _ : st) {
    sdr_bench::count_begin();
    // Always a change: high and low swap.
    node = (node + 7) % d->wires;
    SDR_DATA_TRIGGER_CONDITION c =
        d->trigger->get_condition(1, node) == SDR_TCOND_HIGH ? SDR_TCOND_LOW : SDR_TCOND_HIGH;
    const bool set = d->trigger->set_trigger_condition(node, 1, c, true);
    sdr_bench::count_end();
    if (!set) {
      st.SkipWithError("setting a condition failed");
      break;
    }
  }
}

// Every wire's alias renamed and renamed back.
void bm_rename_aliases(benchmark::State& st) {
  DESIGN* d = built(static_cast<int>(st.range(0)));
  if (!d) {
    st.SkipWithError("the design was not built");
    return;
  }
  std::vector<std::string> names, aliases, others;
  for (int w = 0; w < d->wires; ++w) {
    names.push_back(wire_name(w / BUS_WIDTH, w % BUS_WIDTH));
    aliases.push_back(wire_alias(w / BUS_WIDTH, w % BUS_WIDTH));
    others.push_back("renamed_" + aliases.back());
  }
  for (auto _ : st) {
    sdr_bench::count_begin();
    for (int pass = 0; pass < 2; ++pass) {
      const std::vector<std::string>& to = pass ? aliases : others;
      for (int w = 0; w < d->wires; ++w) {
        if (!d->set->rename_signal_alias(names[w].c_str(), to[w].c_str())) {
          sdr_bench::count_end();
          st.SkipWithError("renaming failed");
          return;
        }
      }
    }
    sdr_bench::count_end();
  }
}

using CAPTURE = sdr_bench::MEDIANS;

struct EDIT {
  const char* key;
  const char* text;
  void (*fn)(benchmark::State&);
  int instr_iterations;  // runs of the edit when its instructions are counted
};
const EDIT EDITS[] = {
    {"add_wires", "adding the wires", bm_add_wires, 1},
    {"add_rows", "adding a bus row per 16 wires, both views", bm_add_rows, 1},
    {"bus_values", "a value on every bus of 4 levels", bm_bus_values, 2},
    {"one_condition", "one wire's condition, written into the level text", bm_one_condition, 64},
    {"rename_aliases", "every alias renamed and back", bm_rename_aliases, 1},
};
const int INSTR_WIRES[] = {1000, 8000};

std::string run_name(const EDIT& e, int wires) {
  return std::string("edit/") + e.key + "/" + std::to_string(wires) + "/real_time";
}

void print_table(const CAPTURE& cap) {
  std::printf("\n================ editing: medians of this run ================\n");
  std::printf("    %-44s", "wires");
  for (int w : GROWTH_WIRES) std::printf(" %10d", w);
  std::printf("\n");
  for (const EDIT& e : EDITS) {
    std::printf("    %-44s", e.text);
    for (int w : GROWTH_WIRES) std::printf(" %7.4f ms", cap.ms(run_name(e, w)));
    std::printf("\n");
  }
  std::printf("  goals (8000 / 1000 wires)\n");
  for (const EDIT& e : EDITS)
    sdr_bench::print_goal_ratio(e.text, cap.ms(run_name(e, 8000)), cap.ms(run_name(e, 1000)), 8.8);
  std::printf("\n");
}

void print_instr_table(const sdr_bench::INSTR_COUNTS& counts) {
  sdr_bench::print_instr_title("editing");
  for (const EDIT& e : EDITS) {
    const std::string row = std::string("edit/") + e.key + "/";
    sdr_bench::print_instr_ratio(e.text, counts, row + "8000", row + "1000", 8.8);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  // Fresh pages cost about 10 microseconds each on the virtual machines
  // this runs on, and whether an edit gets recycled memory or fresh pages
  // from the C library depends on what ran before: the heap keeps what is
  // freed, so that the figures compare the library's work at each size.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  // The documents are built in memory: the shared --data-dir option of the
  // benchmark programs is accepted and not needed.
  int kept = 1;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--data-dir=", 11) != 0) argv[kept++] = argv[i];
  argc = kept;
  const int table = sdr_bench::instr_table_option(&argc, argv, print_instr_table);
  if (table >= 0) return table;
  const bool instr = sdr_bench::take_option(&argc, argv, "--instr-growth");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  xercesc::XMLPlatformUtils::Initialize();
  if (instr) {
    // Only the growth rows, a fixed number of times each, for callgrind.
    if (!sdr_bench::start_instr_growth()) return 1;
    for (const std::string prefix : {sdr_bench::WARM_UP, ""}) {
      const bool warm_up = !prefix.empty();
      for (const EDIT& e : EDITS) {
        benchmark::internal::Benchmark* b =
            benchmark::RegisterBenchmark((prefix + "edit/" + e.key).c_str(), e.fn);
        for (int w : INSTR_WIRES) b->Arg(w);
        sdr_bench::fixed_iterations(b->UseRealTime()->Unit(benchmark::kMillisecond),
                                    warm_up ? 1 : e.instr_iterations);
      }
    }
    {
      sdr_bench::INSTR_DUMPS reporter;
      benchmark::SDR_BENCH_JOIN(RunSp, ecifiedBenchmarks)(&reporter);
      g_designs.clear();
    }
    benchmark::Shutdown();
    xercesc::XMLPlatformUtils::Terminate();
    return 0;
  }
  for (const EDIT& e : EDITS) {
    benchmark::internal::Benchmark* b =
        benchmark::RegisterBenchmark((std::string("edit/") + e.key).c_str(), e.fn);
    for (int w : GROWTH_WIRES) b->Arg(w);
    b->UseRealTime()->Unit(benchmark::kMillisecond);
  }
  {
    CAPTURE reporter;
    benchmark::SDR_BENCH_JOIN(RunSp, ecifiedBenchmarks)(&reporter);
    g_designs.clear();
    print_table(reporter);
  }
  benchmark::Shutdown();
  xercesc::XMLPlatformUtils::Terminate();
  return 0;
}
