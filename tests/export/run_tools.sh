#!/usr/bin/env bash
# Exports captures with "tzo export" and reads them back with the waveform
# tools people use: sigrok-cli must find the log's bits in every VCD, and
# GTKWave's vcd2fst must convert every VCD without a word, fst2vcd giving
# back the same values. Bad input must fail with a message and leave no
# file behind.
#
#   run_tools.sh TZO DATA_DIR WORK_DIR EXAMPLES_DIR SIGROK_CLI VCD2FST FST2VCD
#
# A tool given as an empty path was not found when the build was
# configured: the test is then skipped (exit status 77).

set -u

TZO=$1
DATA=$2
WORK=$3
EXAMPLES=$4
SIGROK=$5
VCD2FST=$6
FST2VCD=$7

missing=""
[ -n "$SIGROK" ] && [ -x "$SIGROK" ] || missing="$missing sigrok-cli"
[ -n "$VCD2FST" ] && [ -x "$VCD2FST" ] || missing="$missing vcd2fst"
[ -n "$FST2VCD" ] && [ -x "$FST2VCD" ] || missing="$missing fst2vcd"
if [ -n "$missing" ]; then
  echo "SKIPPED: not installed:$missing (make test installs them)"
  exit 77
fi

# The program's own switches must not leak in from the caller.
unset sdr_regression_test sdr_debug

rm -rf "$WORK"
mkdir -p "$WORK"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The sample text of the first log of a fixture.
sample_text() {
  sed -n 's/.*<data [^>]*>\([01]*\)<\/data>.*/\1/p' "$1" | head -n 1
}

# The rows sigrok-cli must print for a fixture, from its sample text and
# the channel list of its .bits file: the channel names, then one row of
# bits per sample.
expected_rows() {
  local bits_file=$1 text=$2
  awk -v text="$text" '
    /^#/ { next }
    $1 == "width" { width = $2; next }
    $1 == "depth" { depth = $2; next }
    $1 == "trigger" && NF == 2 && $2 ~ /^-?[0-9]+$/ { trig = $2; next }
    $1 == "segment" && NF == 2 && $2 ~ /^[0-9]+$/ { seg = $2; next }
    NF == 2 { n++; name[n] = $1; src[n] = $2 }
    END {
      line = ""
      for (i = 1; i <= n; i++) line = line (i > 1 ? "," : "") name[i]
      print line
      for (s = 0; s < depth; s++) {
        line = ""
        for (i = 1; i <= n; i++) {
          if (src[i] == "T") v = (s == trig) ? 1 : 0
          else if (src[i] == "S") v = (seg > 0 && s % seg == 0) ? 1 : 0
          else v = substr(text, s * width + src[i] + 1, 1)
          line = line (i > 1 ? "," : "") v
        }
        print line
      }
    }' "$bits_file"
}

# The value changes of a VCD as "TIME SCOPE.NAME VALUE", sorted: readers
# number the variables their own way, and the order of changes within one
# time step carries no meaning.
vcd_changes() {
  awk '
    $1 == "$scope" { path = path $3 "."; next }
    $1 == "$upscope" { sub(/[^.]*\.$/, "", path); next }
    $1 == "$var" { name[$4] = path $5; next }
    /^\$enddefinitions/ { body = 1; next }
    !body { next }
    /^#/ { time = substr($0, 2); next }
    /^\$/ { next }
    /^[bB]/ { print time " " name[$2] " " substr($1, 2); next }
    NF > 0 { print time " " name[substr($0, 2)] " " substr($0, 1, 1) }' "$1" | LC_ALL=C sort
}

# vcd2fst converts the VCD without printing anything, and fst2vcd of the
# result holds the same value changes.
check_gtkwave() {
  local vcd=$1 base=${1%.vcd}
  local said
  said=$("$VCD2FST" "$vcd" "$base.fst" 2>&1) || fail "$vcd: vcd2fst failed: $said"
  [ -z "$said" ] || fail "$vcd: vcd2fst said: $said"
  "$FST2VCD" "$base.fst" >"$base.back.vcd" 2>"$base.back.err" || fail "$vcd: fst2vcd failed"
  vcd_changes "$vcd" >"$base.changes"
  vcd_changes "$base.back.vcd" >"$base.back.changes"
  cmp -s "$base.changes" "$base.back.changes" ||
    fail "$vcd: fst2vcd gives other values ($(diff "$base.changes" "$base.back.changes" | head -n 5))"
}

# ---------------------------------------------------------- good captures
for name in plain segmented lsb aliases; do
  fixture="$DATA/$name.tzo"
  out="$WORK/$name.split.vcd"
  if ! "$TZO" export "$fixture" --split-buses --date "fixed" -o "$out" 2>"$WORK/$name.err"; then
    fail "$name: export failed: $(cat "$WORK/$name.err")"
    continue
  fi
  expected_rows "$DATA/$name.bits" "$(sample_text "$fixture")" >"$WORK/$name.expected"
  # sigrok-cli's CSV: comment lines, the sample rate, the channel names,
  # then one row per sample.
  "$SIGROK" -I vcd -i "$out" -O csv:label=channel 2>"$WORK/$name.sigrok.err" |
    grep -v '^;' | grep -v '^META' >"$WORK/$name.sigrok" || true
  if ! cmp -s "$WORK/$name.expected" "$WORK/$name.sigrok"; then
    fail "$name: sigrok-cli reads other bits: $(diff "$WORK/$name.expected" "$WORK/$name.sigrok" | head -n 8)"
  fi
  check_gtkwave "$out"

  out="$WORK/$name.vcd"
  if "$TZO" export "$fixture" --date "fixed" -o "$out" 2>"$WORK/$name.err"; then
    check_gtkwave "$out"
  else
    fail "$name: export of vectors failed: $(cat "$WORK/$name.err")"
  fi
done

# The same capture at 2.5 ns a sample: sigrok-cli reads 25 units of 100 ps
# per sample.
if "$TZO" export "$DATA/plain.tzo" --split-buses --period 2.5 -o "$WORK/slow.vcd" 2>/dev/null; then
  rows=$("$SIGROK" -I vcd -i "$WORK/slow.vcd" -O csv:label=off | grep -v '^;' | grep -v '^META' | wc -l)
  [ "$rows" -eq 200 ] || fail "slow: sigrok-cli reads $rows samples, not 200"
  check_gtkwave "$WORK/slow.vcd"
else
  fail "slow: export failed"
fi

# CSV: symbols of the mnemonic table where it has the value, the raw value
# in the bus's radix where it has none.
if "$TZO" export "$DATA/plain.tzo" -o "$WORK/plain.csv" 2>"$WORK/plain.csv.err"; then
  cmp -s "$DATA/plain.csv" "$WORK/plain.csv" ||
    fail "plain.csv differs: $(diff "$DATA/plain.csv" "$WORK/plain.csv" | head -n 8)"
else
  fail "plain.csv: export failed: $(cat "$WORK/plain.csv.err")"
fi

# The example capture is the demo's, exported as it is now.
if "$TZO" export "$EXAMPLES/demo.tzo" --date "Sun Jan  3 12:00:00 2027" -o "$WORK/demo.vcd" 2>/dev/null; then
  cmp -s "$EXAMPLES/demo.vcd" "$WORK/demo.vcd" || fail "examples/demo.vcd is not the demo's capture as exported now"
  check_gtkwave "$WORK/demo.vcd"
else
  fail "demo: export failed"
fi

# ---------------------------------------------------------- bad input
# Each case: expected part of the message, then the arguments. Nothing may
# be left in the scratch directory.
bad_case() {
  local expect=$1
  shift
  local dir="$WORK/bad"
  rm -rf "$dir"
  mkdir -p "$dir"
  "$TZO" export "$@" -o "$dir/out.vcd" 2>"$WORK/bad.err"
  local status=$?
  [ "$status" -eq 1 ] || fail "export $*: exit status $status, not 1"
  grep -qF -- "$expect" "$WORK/bad.err" || fail "export $*: message '$(cat "$WORK/bad.err")' lacks '$expect'"
  [ -z "$(ls -A "$dir")" ] || fail "export $*: left $(ls -A "$dir")"
}
bad_case 'log "cut" holds 5 of the 8 bits' "$DATA/bad.tzo" --instance short
bad_case 'log "none" holds no captured data' "$DATA/bad.tzo" --instance 1
bad_case 'no instance named "nowhere"' "$DATA/bad.tzo" --instance nowhere
bad_case 'no instance at index 5' "$DATA/bad.tzo" --instance 5
bad_case 'no instance has a log "nothing"' "$DATA/bad.tzo" --log nothing
bad_case 'instance "short" has no log "nothing"' "$DATA/bad.tzo" --instance short --log nothing
# The padding rule of the log, on request: the missing bits read as 0.
if "$TZO" export "$DATA/bad.tzo" --instance short --pad -o "$WORK/padded.csv" 2>/dev/null; then
  printf 'sample,trigger,a,b\n0,0,0,1\n1,1,0,1\n2,0,1,0\n3,0,0,0\n' | cmp -s - "$WORK/padded.csv" ||
    fail "padded.csv: $(cat "$WORK/padded.csv")"
else
  fail "export --pad failed"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "all exports read back"
