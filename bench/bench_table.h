#ifndef SDR_BENCH_TABLE_H
#define SDR_BENCH_TABLE_H

// The closing table of the editing benchmarks: one line per figure with its
// goal and "ok" or "MISSED", in the layout of the load/save table.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

// Callgrind's client requests: a few instructions that do nothing outside
// valgrind. Without its header the instruction counts are not available.
#if defined(__has_include)
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define SDR_BENCH_HAVE_CALLGRIND 1
#endif
#endif
#ifndef SDR_BENCH_HAVE_CALLGRIND
#define SDR_BENCH_HAVE_CALLGRIND 0
#endif

namespace sdr_bench {

// Prints the runs as the console does and keeps the median real time of
// each benchmark, in ms, for the closing table. Runs that failed are left
// out.
class MEDIANS : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const double ms = r.GetAdjustedRealTime() * 1e3 / benchmark::GetTimeUnitMultiplier(r.time_unit);
      const std::string name = r.run_name.str();
      if (r.run_type == Run::RT_Aggregate) {
        if (r.aggregate_name == "median") m_median[name] = ms;
      } else {
        m_samples[name].push_back(ms);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median of the first run named name, or name followed by "/" and
  // more ("load/x" finds "load/x/real_time", not "load/x_y"); negative
  // when it did not run.
  double ms(const std::string& name) const {
    if (const double* m = find(m_median, name)) return *m;
    if (const std::vector<double>* s = find(m_samples, name)) {
      if (s->empty()) return -1;
      std::vector<double> v = *s;
      std::sort(v.begin(), v.end());
      return v[v.size() / 2];
    }
    return -1;
  }

 private:
  template <class T>
  static const T* find(const std::map<std::string, T>& map, const std::string& name) {
    for (auto it = map.lower_bound(name); it != map.end() && it->first.compare(0, name.size(), name) == 0;
         ++it)
      if (it->first.size() == name.size() || it->first[name.size()] == '/') return &it->second;
    return nullptr;
  }

  std::map<std::string, double> m_median;
  std::map<std::string, std::vector<double>> m_samples;
};

inline const char* verdict(bool ok) {
  return ok ? "ok" : "MISSED";
}

// A ratio a / b of two medians of this run against its goal; n/a when one
// of them did not run. Returns false only when the goal is missed.
inline bool print_goal_ratio(const char* what, double a, double b, double goal, bool at_least = false,
                             const char* unit = "ms") {
  if (a <= 0 || b <= 0) {
    std::printf("    %-52s      n/a\n", what);
    return true;
  }
  const double r = a / b;
  const bool ok = at_least ? r >= goal : r <= goal;
  // Four significant digits: an edit of a few microseconds still shows.
  std::printf("    %-52s %7.2fx   goal %s %.2fx  %-6s (%.4g %s / %.4g %s)\n", what, r,
              at_least ? ">=" : "<=", goal, verdict(ok), a, unit, b, unit);
  return ok;
}

// A figure in its own unit (KB, ms) against an upper bound.
inline bool print_goal_value(const char* what, double value, const char* unit, double goal) {
  if (value < 0) {
    std::printf("    %-52s      n/a\n", what);
    return true;
  }
  const bool ok = value <= goal;
  std::printf("    %-52s %7.1f %s goal <= %.1f %s  %-6s\n", what, value, unit, goal, unit, verdict(ok));
  return ok;
}

// ------------------------------------------------- instruction counts
//
// Wall time cannot tell linear work from quadratic work once the larger
// size no longer fits the caches. Instruction counts can: bench/run.sh runs
// each program with --instr-growth under valgrind --tool=callgrind
// --collect-atstart=no --instr-atstart=no, where every growth row runs a
// fixed number of times and callgrind counts only the regions the row
// times (count_begin / count_end around them). After each row it writes
// what it counted, named "<row> <iterations>"; run.sh gathers those into
// lines "<instructions> <row> <iterations>" and the program prints the
// table from them with --instr-table=FILE.

inline bool& counting() {
  static bool on = false;
  return on;
}

// Callgrind counts from here (while the program runs under it).
inline void count_begin() {
  if (counting()) return;
  counting() = true;
#if SDR_BENCH_HAVE_CALLGRIND
  CALLGRIND_TOGGLE_COLLECT;
#endif
}

// And stops counting here.
inline void count_end() {
  if (!counting()) return;
  counting() = false;
#if SDR_BENCH_HAVE_CALLGRIND
  CALLGRIND_TOGGLE_COLLECT;
#endif
}

// Removes the option from argv; true when it was there. With a value
// ("--name=..."), *value gets it.
inline bool take_option(int* argc, char** argv, const char* name, std::string* value = nullptr) {
  const size_t n = std::strlen(name);
  for (int i = 1; i < *argc; ++i) {
    const bool bare = std::strcmp(argv[i], name) == 0;
    const bool with_value = value && std::strncmp(argv[i], name, n) == 0 && argv[i][n] == '=';
    if (!bare && !with_value) continue;
    if (with_value) *value = argv[i] + n + 1;
    for (int j = i; j + 1 <= *argc; ++j) argv[j] = argv[j + 1];
    --*argc;
    return true;
  }
  return false;
}

// Before the rows are counted, each runs once at each size under a name
// that starts with WARM_UP, and what it counted is dropped: the first run
// of an operation pays for what is made once (the parser's pools, tables a
// design builds on first use, the heap's growth), which the timed runs of
// many iterations spread thin. The counted runs then see the state the
// timed ones do, at both sizes alike.
const char* const WARM_UP = "warm-up/";

// The growth rows run with a fixed count, once: no adaptive iteration.
inline void fixed_iterations(benchmark::internal::Benchmark* b, int iterations) {
  b->Iterations(iterations)->Repetitions(1);
}

// Reports each row as the console does and has callgrind write what it
// counted for the row; a row that failed is dropped.
class INSTR_DUMPS : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration) continue;
      count_end();
#if SDR_BENCH_HAVE_CALLGRIND
      if (r.error_occurred || r.run_name.function_name.compare(0, std::strlen(WARM_UP), WARM_UP) == 0) {
        CALLGRIND_ZERO_STATS;
        continue;
      }
      std::string name = r.run_name.function_name;
      if (!r.run_name.args.empty()) name += "/" + r.run_name.args;
      name += " " + std::to_string(static_cast<long long>(r.iterations));
      CALLGRIND_DUMP_STATS_AT(name.c_str());
#endif
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// Starts counting the rows: false (with a message) when the program was
// built without callgrind's header.
inline bool start_instr_growth() {
#if SDR_BENCH_HAVE_CALLGRIND
  CALLGRIND_START_INSTRUMENTATION;
  return true;
#else
  std::fprintf(stderr, "built without valgrind/callgrind.h: no instruction counts\n");
  return false;
#endif
}

// Instructions per operation of each row, read from run.sh's lines
// "<instructions> <row> <iterations>".
class INSTR_COUNTS {
 public:
  bool load(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return false;
    char row[256];
    double instructions = 0, iterations = 0;
    while (std::fscanf(f, "%lf %255s %lf", &instructions, row, &iterations) == 3)
      if (iterations > 0) m_per_op[row] = instructions / iterations;
    std::fclose(f);
    return true;
  }

  // Negative when the row was not counted.
  double per_op(const std::string& row) const {
    auto it = m_per_op.find(row);
    return it == m_per_op.end() ? -1 : it->second;
  }

 private:
  std::map<std::string, double> m_per_op;
};

// Handles --instr-table=FILE: prints the program's table from the counts
// run.sh gathered under callgrind. -1 when the option is not given, else
// the exit code.
inline int instr_table_option(int* argc, char** argv, void (*print)(const INSTR_COUNTS&)) {
  std::string path;
  if (!take_option(argc, argv, "--instr-table", &path)) return -1;
  INSTR_COUNTS counts;
  if (!counts.load(path)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  print(counts);
  return 0;
}

inline void print_instr_title(const char* what) {
  std::printf("\n================ %s: instructions per operation (callgrind) ================\n", what);
  std::printf("  goals (8000 / 1000; the counts do not depend on caches or on other work on the machine)\n");
}

// The growth of a row in instructions per operation, from 1000 to 8000.
inline bool print_instr_ratio(const char* what, const INSTR_COUNTS& counts, const std::string& row_8000,
                              const std::string& row_1000, double goal) {
  const double a = counts.per_op(row_8000), b = counts.per_op(row_1000);
  return print_goal_ratio(what, a < 0 ? -1 : a / 1e6, b < 0 ? -1 : b / 1e6, goal, false, "M instr");
}

}  // namespace sdr_bench

#endif
