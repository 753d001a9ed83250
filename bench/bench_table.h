#ifndef SDR_BENCH_TABLE_H
#define SDR_BENCH_TABLE_H

// The closing table of the editing benchmarks: one line per figure with its
// goal and "ok" or "MISSED", in the layout of the load/save table.

#include <cstdio>

namespace sdr_bench {

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
  std::printf("    %-52s %7.2fx   goal %s %.2fx  %-6s (%.3f %s / %.3f %s)\n", what, r,
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

}  // namespace sdr_bench

#endif
