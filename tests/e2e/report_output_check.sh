#!/bin/sh
# TessarelReportDemo.exe under Wine, as a script runs it: a report that cannot be written
# (a full disk, a closed standard output) exits 3 with one line on standard error; /?
# prints the usage and exits 0.
# Usage: report_output_check.sh WINE_RUN PREFIX PROGRAM
set -u
err=$(mktemp)
out=$(mktemp)
trap 'rm -f "$err" "$out"' EXIT
fail() { echo "$1"; cat "$err"; exit 1; }

"$1" "$2" "$3" >/dev/full 2>"$err"
[ $? -eq 3 ] || fail "to a full disk: not exit status 3"
grep -q '^TessarelReport: the report could not be written: ' "$err" || fail "to a full disk: no message"

"$1" "$2" "$3" >&- 2>"$err"
[ $? -eq 3 ] || fail "to a closed standard output: not exit status 3"
grep -q '^TessarelReport: the report could not be written: ' "$err" || fail "closed: no message"

"$1" "$2" "$3" '/?' >"$out" 2>"$err"
[ $? -eq 0 ] || fail "/?: not exit status 0"
head -1 "$out" | grep -q '^Usage: TessarelReport' || fail "/?: no usage"
echo "report output: a full disk and a closed stream give 3, /? gives the usage"
