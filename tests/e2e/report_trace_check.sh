#!/bin/sh
# TessarelReportDemo.exe under Wine, as a user and a maintainer run it: a trace recorded
# with --trace replays with --replay to the same report and exit status; a trace cut in
# half lists on standard error what it lacks; a file of junk is refused with a message.
# Usage: report_trace_check.sh WINE_RUN PREFIX PROGRAM
set -u
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "$1"; cat "$dir/err" 2>/dev/null; exit 1; }
run() { # ARGS...: runs the program in $dir, standard output to $dir/out, error to $dir/err
  (cd "$dir" && "$wine_run" "$prefix" "$program" "$@" >out 2>err)
}
wine_run=$1 prefix=$2 program=$3

run --drives --trace t.jsonl
recorded=$?
cp "$dir/out" "$dir/recorded"
[ -s "$dir/t.jsonl" ] || fail "no trace written"
run --drives --replay t.jsonl
[ $? -eq "$recorded" ] || fail "replay: exit status differs from $recorded"
cmp -s "$dir/out" "$dir/recorded" || fail "replay: the report differs"
[ ! -s "$dir/err" ] || fail "replay: something on standard error"

head -n $(( $(wc -l <"$dir/t.jsonl") / 2 )) "$dir/t.jsonl" >"$dir/half.jsonl"
run --drives --replay half.jsonl
status=$?
[ $status -ge 2 ] && [ $status -ne 3 ] || fail "half a trace: exit status $status"
grep -q '^TessarelReport: the trace holds no answer for ' "$dir/err" || fail "half: no list"

head -c 3000 "$program" >"$dir/junk.jsonl"
run --replay junk.jsonl
[ $? -eq 3 ] || fail "junk: not exit status 3"
grep -q '^TessarelReport: junk.jsonl is no trace: line 1: ' "$dir/err" || fail "junk: no message"
echo "report traces: recorded, replayed to the same report and status $recorded; half a trace tells what it lacks; junk is refused"
