#!/usr/bin/env bash
# Line coverage of the library reached by the fuzz corpora.
#
#   bash fuzz/coverage.sh              the seed corpora (fuzz/corpus/<name>/)
#   bash fuzz/coverage.sh DIR...       the seed corpora plus DIR/<name>/ of
#                                      each DIR (for example the folder given
#                                      to fuzz/run.sh as FUZZ_KEEP_CORPUS)
#
# Builds the targets with clang's source-based coverage (-DSDR_FUZZ_COVERAGE=ON,
# no sanitizers) in COV_BUILD (default build-fuzz-cov under the repository
# root), runs each target once over every input (-runs=0), and prints for
# each target and for all of them together llvm-cov's per-file table of the
# library's sources (sdr/, platform/ and the generated condition parser).
# Environment: COV_BUILD, FUZZ_JOBS (build jobs, default 2).
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

COV_BUILD="${COV_BUILD:-$ROOT/build-fuzz-cov}"
FUZZ_JOBS="${FUZZ_JOBS:-2}"

# The llvm tools of the same release as clang.
major="$(clang++ --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -1)"
tool() {
  if command -v "$1-$major" >/dev/null 2>&1; then echo "$1-$major"; else echo "$1"; fi
}
PROFDATA="$(tool llvm-profdata)"
COV="$(tool llvm-cov)"
command -v "$PROFDATA" >/dev/null && command -v "$COV" >/dev/null || {
  echo "llvm-profdata and llvm-cov are needed (package llvm)" >&2
  exit 1
}

echo "==> configuring $COV_BUILD"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$COV_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSDR_FUZZ=ON -DSDR_FUZZ_COVERAGE=ON -DSDR_BUILD_TESTS=OFF -DSDR_BUILD_TOOLS=OFF >/dev/null

targets=()
for src in "$ROOT"/fuzz/fuzz_*.cpp; do
  name="$(basename "$src" .cpp)"
  targets+=("${name#fuzz_}")
done
build_targets=()
for t in "${targets[@]}"; do build_targets+=(--target "fuzz_$t"); done
echo "==> building ${targets[*]}"
cmake --build "$COV_BUILD" -j"$FUZZ_JOBS" "${build_targets[@]}" >/dev/null

profiles="$COV_BUILD/profiles"
files="$(mktemp -d "${TMPDIR:-/tmp}/sdr-fuzz-cov.XXXXXX")"
trap 'rm -rf "$files"' EXIT
rm -rf "$profiles"
mkdir -p "$profiles"

sources=("$ROOT/sdr" "$ROOT/platform" "$COV_BUILD/generated")
objects=()
for t in "${targets[@]}"; do
  bin="$COV_BUILD/fuzz/fuzz_$t"
  corpora=()
  [ -d "$ROOT/fuzz/corpus/$t" ] && corpora+=("$ROOT/fuzz/corpus/$t")
  for extra in "$@"; do
    [ -d "$extra/$t" ] && corpora+=("$extra/$t")
  done
  [ "${#corpora[@]}" -gt 0 ] || continue
  inputs="$(find "${corpora[@]}" -type f | wc -l)"
  mkdir -p "$files/$t"
  LLVM_PROFILE_FILE="$profiles/$t.profraw" SDR_FUZZ_TMPDIR="$files/$t" \
    "$bin" -runs=0 -timeout=60 "${corpora[@]}" >"$files/$t.log" 2>&1 || {
    echo "fuzz_$t failed on its corpus:" >&2
    tail -n 30 "$files/$t.log" >&2
    exit 1
  }
  "$PROFDATA" merge -sparse "$profiles/$t.profraw" -o "$profiles/$t.profdata"
  echo
  echo "==> fuzz_$t: $inputs inputs"
  "$COV" report "$bin" -instr-profile="$profiles/$t.profdata" "${sources[@]}" | sed 's/^/  /'
  if [ "${#objects[@]}" -eq 0 ]; then objects+=("$bin"); else objects+=(-object "$bin"); fi
done

"$PROFDATA" merge -sparse "$profiles"/*.profraw -o "$profiles/all.profdata"
echo
echo "==> all targets together"
"$COV" report "${objects[@]}" -instr-profile="$profiles/all.profdata" "${sources[@]}" | sed 's/^/  /'
