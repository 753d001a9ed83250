#ifndef SDR_BENCH_COUNT_NEW_H
#define SDR_BENCH_COUNT_NEW_H

// The benchmark program replaces the global operator new with one that
// counts its calls, in the library too, so that a benchmark can show that a
// path allocates nothing.

namespace sdr_bench {

// operator new calls (every form) since the program started.
long allocations();

}  // namespace sdr_bench

#endif
