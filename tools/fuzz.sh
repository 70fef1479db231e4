#!/usr/bin/env bash
# Runs the fuzz targets built in BUILD, each for SECONDS, over the committed seeds in
# tests/fuzz/corpus/<target> (for the trace reader, the fixtures in tests/traces) and the
# corpus it grows outside the source tree.
# Usage: tools/fuzz.sh BUILD SECONDS [campaign|check] [TARGET...]
#   campaign (default): grows BUILD/corpus/<target>; prints runs, speed, coverage, findings
#   check: a short run from the committed seeds only (make test); fails on any finding
# FUZZ_RUNS=N in the environment runs each target N times instead of for SECONDS.
set -uo pipefail
build=$(realpath "$1")
seconds=$2
mode=${3:-campaign}
shift $(( $# < 3 ? $# : 3 ))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(identify volume scan report trace image)
here=$(cd "$(dirname "$0")/.." && pwd)
command -v llvm-symbolizer-14 >/dev/null && export ASAN_SYMBOLIZER_PATH=$(command -v llvm-symbolizer-14)

status=0
printf '%-10s %12s %10s %8s %8s %9s\n' target runs "runs/s" cov features findings
for t in "${targets[@]}"; do
  if [ "$mode" = check ]; then
    corpus=$build/check-corpus/$t
    rm -rf "$corpus"
  else
    corpus=$build/corpus/$t
  fi
  findings=$build/findings/$t
  mkdir -p "$corpus" "$findings"
  dict=()
  [ -f "$here/tests/fuzz/$t.dict" ] && dict=(-dict="$here/tests/fuzz/$t.dict")
  log=$build/$t-$mode.log
  before=$(ls "$findings" | wc -l)
  limit=(-max_total_time="$seconds")
  # The short runs of make test start from the same seed, so that a run can be repeated.
  [ "$mode" = check ] && limit+=(-seed=1)
  [ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
  # The trace reader starts from the trace fixtures themselves.
  seeds=$here/tests/fuzz/corpus/$t
  [ "$t" = trace ] && seeds=$here/tests/traces
  "$build/${t}_fuzz" "${limit[@]}" -print_final_stats=1 -rss_limit_mb=2048 \
    -timeout=20 -artifact_prefix="$findings/" "${dict[@]}" "$corpus" "$seeds" \
    >"$log" 2>&1
  rc=$?
  after=$(ls "$findings" | wc -l)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  printf '%-10s %12s %10s %8s %8s %9s\n' "$t" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" \
    "$((after - before))"
  if [ $rc -ne 0 ] || [ "$after" -ne "$before" ]; then
    status=1
    echo "$t: exit $rc; see $log and $findings" >&2
    grep -m 20 -E 'ERROR|runtime error|check failed|SUMMARY' "$log" >&2
  fi
done
exit $status
