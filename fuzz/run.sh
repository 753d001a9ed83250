#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#
#   bash fuzz/run.sh                   every target, FUZZ_SECONDS each (60)
#   FUZZ_SECONDS=10 bash fuzz/run.sh   a smoke run
#   bash fuzz/run.sh session_load      only the named targets
#
# Environment: FUZZ_SECONDS (per target), FUZZ_BUILD (build folder, default
# build-fuzz under the repository root), FUZZ_JOBS (build jobs, default 2),
# FUZZ_ARGS (extra libFuzzer options), FUZZ_KEEP_CORPUS (a folder: each
# target's grown corpus is copied to FUZZ_KEEP_CORPUS/<name>/ afterwards).
# Each target runs on a copy of its seed corpus (fuzz/corpus/<name>/) in a
# scratch folder, with its dictionary fuzz/dict/<name>.dict (the XML one,
# fuzz/dict/xml.dict, when it has none of its own), as one process, one
# target after the other. Allocations above 1 GiB and a resident size above
# 2 GiB count as failures. The script fails when a target finds a crash, a
# sanitizer report or a failed oracle; the reproducer is kept under
# $FUZZ_BUILD/findings/<name>/ and its path printed.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
FUZZ_BUILD="${FUZZ_BUILD:-$ROOT/build-fuzz}"
FUZZ_JOBS="${FUZZ_JOBS:-2}"
FUZZ_ARGS="${FUZZ_ARGS:-}"
FUZZ_KEEP_CORPUS="${FUZZ_KEEP_CORPUS:-}"

# ---------------------------------------------------------------- tools
need=()
command -v clang++ >/dev/null 2>&1 || need+=(clang)
dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed" ||
  need+=(libclang-rt-14-dev)
if [ "${#need[@]}" -gt 0 ]; then
  echo "==> installing: ${need[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi

# ---------------------------------------------------------------- targets
targets=()
if [ "$#" -gt 0 ]; then
  for name in "$@"; do targets+=("${name#fuzz_}"); done
else
  for src in "$ROOT"/fuzz/fuzz_*.cpp; do
    name="$(basename "$src" .cpp)"
    targets+=("${name#fuzz_}")
  done
fi
if [ "${#targets[@]}" -eq 0 ]; then
  echo "no fuzz targets found" >&2
  exit 1
fi

# ---------------------------------------------------------------- build
echo "==> configuring $FUZZ_BUILD"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$FUZZ_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSDR_FUZZ=ON -DSDR_WERROR=ON -DSDR_BUILD_TESTS=OFF -DSDR_BUILD_TOOLS=OFF >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=(--target "fuzz_$t"); done
echo "==> building ${targets[*]}"
cmake --build "$FUZZ_BUILD" -j"$FUZZ_JOBS" "${build_targets[@]}"

# ---------------------------------------------------------------- run
scratch="$(mktemp -d "${TMPDIR:-/tmp}/sdr-fuzz.XXXXXX")"
# The files the targets write and save (with fsync) go to a tmpfs when there
# is one.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  files="$(mktemp -d /dev/shm/sdr-fuzz.XXXXXX)"
else
  files="$scratch/files"
  mkdir -p "$files"
fi
trap 'rm -rf "$scratch" "$files"' EXIT

failed=0
summary=()
for t in "${targets[@]}"; do
  bin="$FUZZ_BUILD/fuzz/fuzz_$t"
  corpus="$scratch/corpus_$t"
  artifacts="$FUZZ_BUILD/findings/$t"
  log="$scratch/$t.log"
  mkdir -p "$corpus" "$artifacts" "$files/$t"
  if [ -d "$ROOT/fuzz/corpus/$t" ]; then cp -R "$ROOT/fuzz/corpus/$t/." "$corpus/"; fi
  dict=()
  if [ -f "$ROOT/fuzz/dict/$t.dict" ]; then
    dict=(-dict="$ROOT/fuzz/dict/$t.dict")
  elif [ -f "$ROOT/fuzz/dict/xml.dict" ]; then
    dict=(-dict="$ROOT/fuzz/dict/xml.dict")
  fi
  before="$(find "$artifacts" -type f | wc -l)"
  touch "$scratch/start_$t"

  echo "==> fuzz_$t for ${FUZZ_SECONDS}s"
  rc=0
  # shellcheck disable=SC2086
  SDR_FUZZ_TMPDIR="$files/$t" "$bin" "$corpus" "${dict[@]}" -max_total_time="$FUZZ_SECONDS" \
    -timeout=25 -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$artifacts/" $FUZZ_ARGS \
    >"$log" 2>&1 || rc=$?

  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)"
  cov="$(grep -a -o 'cov: [0-9]*' "$log" | tail -1 || true)"
  after="$(find "$artifacts" -type f | wc -l)"
  line="fuzz_$t: ${execs:-?} executions, ${speed:-?} exec/s, ${cov:-cov: ?}"
  if [ "$rc" -ne 0 ] || [ "$after" -gt "$before" ]; then
    failed=1
    line="$line, FAILED (exit $rc)"
    echo "---- last lines of the fuzzer's output:"
    tail -n 60 "$log"
    find "$artifacts" -type f -newer "$scratch/start_$t" -print | sed 's/^/reproducer: /'
  fi
  summary+=("$line")
  if [ -n "$FUZZ_KEEP_CORPUS" ]; then
    mkdir -p "$FUZZ_KEEP_CORPUS/$t"
    cp -R "$corpus/." "$FUZZ_KEEP_CORPUS/$t/"
  fi
done

echo "==> summary"
for line in "${summary[@]}"; do echo "$line"; done
exit "$failed"
