#ifndef SDR_BENCH_TABLE_H
#define SDR_BENCH_TABLE_H

// The closing table of the editing benchmarks: one line per figure with its
// goal and "ok" or "MISSED", in the layout of the load/save table.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

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
