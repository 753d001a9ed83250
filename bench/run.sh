#!/usr/bin/env bash
# Builds the load/save, editing, export, transaction-layer, node-list and replay benchmarks (Release, -O2) and runs them;
# each program ends with the table of medians and ratios measured in this
# run, every figure with its goal and "ok" or "MISSED". The growth ratios
# (8000 / 1000) are wall times: run on a quiet machine, since on a busy
# one the larger size loses its caches first.
#
#   bash bench/run.sh                                  everything (about 8 minutes)
#   bash bench/run.sh --benchmark_filter='log'         only matching benchmarks
#
# Environment: BENCH_BUILD (build folder, default build-bench under the
# repository root), BENCH_JOBS (build jobs, default 2), BENCH_MIN_TIME
# (seconds per repetition, default 0.05), BENCH_REPETITIONS (default 5; the
# table takes medians), BENCH_PEAK_RUNS (fresh processes per loader for the
# first-load time and peak memory, default 3; 0 skips them). Extra arguments
# go to the benchmark program (Google Benchmark options).
# pugixml is installed for the comparison only; without it the benchmarks
# still build and run, minus its rows. valgrind is installed for the last
# step: the growth rows of the node-list, transaction, editing and
# load/save programs run again under callgrind, which counts the
# instructions of each timed operation, and each program prints the
# growth of those counts (8000 / 1000): unlike wall time, they do not
# depend on whether the larger size still fits the caches, so they tell
# linear work from quadratic work on any machine. Without valgrind that
# step is skipped. BENCH_INSTR=0 skips it too; BENCH_INSTR=only runs
# nothing else.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

BENCH_BUILD="${BENCH_BUILD:-$ROOT/build-bench}"
BENCH_JOBS="${BENCH_JOBS:-2}"
BENCH_MIN_TIME="${BENCH_MIN_TIME:-0.05}"
BENCH_REPETITIONS="${BENCH_REPETITIONS:-5}"
BENCH_PEAK_RUNS="${BENCH_PEAK_RUNS:-3}"

# ---------------------------------------------------------------- packages
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
need=()
for p in cmake g++ make libxerces-c-dev zlib1g-dev libbenchmark-dev; do
  installed "$p" || need+=("$p")
done
optional=()
installed libpugixml-dev || optional+=(libpugixml-dev)
installed valgrind || optional+=(valgrind)
if [ "${#need[@]}" -gt 0 ] || [ "${#optional[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq || echo "==> apt-get update failed; trying the install anyway"
  if [ "${#need[@]}" -gt 0 ]; then
    echo "==> installing: ${need[*]}"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
  fi
  for p in "${optional[@]}"; do
    case "$p" in
      valgrind) without="the instruction-growth tables are left out" ;;
      *) without="its comparison rows are left out" ;;
    esac
    echo "==> installing $p (optional)"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$p" ||
      echo "==> $p could not be installed: $without"
  done
fi

# ---------------------------------------------------------------- build
echo "==> configuring $BENCH_BUILD"
cmake -S "$ROOT" -B "$BENCH_BUILD" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DSDR_BUILD_BENCH=ON -DSDR_BUILD_TESTS=OFF -DSDR_BUILD_TOOLS=ON >/dev/null
# Every benchmark program but the first (which also measures fresh-process
# loads) runs the same way; add a new one to this list and to bench/CMakeLists.txt.
PROGRAMS=(sdr_bench_edit sdr_bench_export sdr_bench_tx sdr_bench_nodes)
echo "==> building with -j$BENCH_JOBS"
cmake --build "$BENCH_BUILD" -j"$BENCH_JOBS" --target sdr_bench_session "${PROGRAMS[@]}" sdr_bench_replay tzo

# ---------------------------------------------------------------- run
# The generated documents and the written files stay in the build folder.
if [ "${BENCH_INSTR:-1}" != "only" ]; then
  echo "==> running (medians of $BENCH_REPETITIONS repetitions of at least ${BENCH_MIN_TIME}s)"
  "$BENCH_BUILD/bench/sdr_bench_session" \
    --data-dir="$BENCH_BUILD/bench-data" \
    --peak-runs="$BENCH_PEAK_RUNS" \
    --benchmark_min_time="$BENCH_MIN_TIME" \
    --benchmark_repetitions="$BENCH_REPETITIONS" \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$BENCH_BUILD/bench_session.json" \
    --benchmark_out_format=json \
    "$@"
  echo "==> results also in $BENCH_BUILD/bench_session.json"

  for program in "${PROGRAMS[@]}"; do
    name="${program#sdr_}"
    "$BENCH_BUILD/bench/$program" \
      --data-dir="$BENCH_BUILD/bench-data" \
      --benchmark_min_time="$BENCH_MIN_TIME" \
      --benchmark_repetitions="$BENCH_REPETITIONS" \
      --benchmark_report_aggregates_only=true \
      --benchmark_out="$BENCH_BUILD/$name.json" \
      --benchmark_out_format=json \
      "$@"
    echo "==> results also in $BENCH_BUILD/$name.json"
  done

  # Replays recorded scripts through the command-line program.
  "$BENCH_BUILD/bench/sdr_bench_replay" \
    --tzo="$BENCH_BUILD/tools/tzo" \
    --data-dir="$BENCH_BUILD/bench-data" \
    --benchmark_min_time="$BENCH_MIN_TIME" \
    --benchmark_repetitions="$BENCH_REPETITIONS" \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$BENCH_BUILD/bench_replay.json" \
    --benchmark_out_format=json \
    "$@"
  echo "==> results also in $BENCH_BUILD/bench_replay.json"
fi

# ---------------------------------------------------------------- instructions
# The growth rows once more under callgrind, each a fixed number of times;
# callgrind writes the count of each row to a file of its own
# (<out>.1, <out>.2, ...), named "<row> <iterations>" in its "desc:
# Trigger" line; those become the lines "<instructions> <row> <iterations>"
# the program prints its table from.
INSTR_PROGRAMS=(sdr_bench_nodes sdr_bench_tx sdr_bench_edit sdr_bench_session)
if [ "${BENCH_INSTR:-1}" = "0" ]; then
  echo "==> instruction counts skipped (BENCH_INSTR=0)"
elif ! command -v valgrind >/dev/null 2>&1; then
  echo "==> valgrind is not installed: the instruction-growth tables are left out"
else
  instr_dir="$BENCH_BUILD/instr"
  rm -rf "$instr_dir"
  mkdir -p "$instr_dir"
  echo "==> counting the instructions of the growth rows under callgrind (logs in $instr_dir)"
  for program in "${INSTR_PROGRAMS[@]}"; do
    out="$instr_dir/$program.callgrind"
    if ! valgrind --tool=callgrind --collect-atstart=no --instr-atstart=no --callgrind-out-file="$out" \
      "$BENCH_BUILD/bench/$program" --data-dir="$BENCH_BUILD/bench-data" --instr-growth "$@" \
      >"$instr_dir/$program.log" 2>&1; then
      echo "==> $program failed under callgrind: see $instr_dir/$program.log"
      continue
    fi
    for part in "$out".*; do
      [ -e "$part" ] || continue
      awk '/^desc: Trigger: Client Request: /{ sub(/^desc: Trigger: Client Request: /, ""); row = $0 }
           /^summary: /{ n = $2 }
           END { if (row != "" && n != "") print n, row }' "$part"
    done >"$instr_dir/$program.txt"
    "$BENCH_BUILD/bench/$program" --instr-table="$instr_dir/$program.txt"
  done
fi
