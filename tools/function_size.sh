#!/bin/sh
# Every function of the product at most 60 lines (clang-tidy's readability-function-size),
# over the files a build compiles: BUILD's compile_commands.json (the Windows build's, with
# --mingw, read with mingw-w64's headers: the windows and the framework build only there).
# The lab's data script (sim/lab.cpp) is a table of a machine, not a function to read, and
# is left out.
# With --mingw, the files NATIVE (a native build) also compiles are left to its own check.
# Usage: function_size.sh BUILD [--mingw [NATIVE]]
set -e
build=$1
extra=""
if [ "${2:-}" = "--mingw" ]; then
  gcc=/usr/lib/gcc/i686-w64-mingw32/$(i686-w64-mingw32-g++-posix -dumpversion)/include/c++
  extra="--extra-arg=--target=i686-w64-mingw32"
  for d in $gcc $gcc/i686-w64-mingw32 $gcc/backward /usr/i686-w64-mingw32/include; do
    extra="$extra --extra-arg=-isystem$d"
  done
fi
root=$(cd "$(dirname "$0")/.." && pwd)
native=""
[ "${2:-}" = "--mingw" ] && [ -f "${3:-}/compile_commands.json" ] && native="$3/compile_commands.json"
files=$(python3 - "$build/compile_commands.json" "$root" "$native" <<'PY'
import json, os, sys
root = sys.argv[2] + "/"
checked = set()
if sys.argv[3]:
    checked = {os.path.realpath(e["file"]) for e in json.load(open(sys.argv[3]))}
folders = ("app/", "disk/", "image/", "inspect/", "json/", "platform/", "report/", "sim/",
           "trace/", "ui/", "framework/")
for entry in json.load(open(sys.argv[1])):
    path = os.path.realpath(entry["file"])
    rel = path[len(root):] if path.startswith(root) else ""
    if rel.startswith(folders) and rel != "sim/lab.cpp" and path not in checked:
        print(path)
PY
)
out=$(clang-tidy -p "$build" --quiet $extra --checks='-*,readability-function-size' \
  --config='{CheckOptions: [{key: readability-function-size.LineThreshold, value: 60}]}' \
  $files 2>&1 | grep -E 'warning:|error:' | sort -u || true)
if [ -n "$out" ]; then
  echo "$out"
  echo "function_size.sh: functions over 60 lines" >&2
  exit 1
fi
echo "function_size.sh: $(echo "$files" | wc -w) files, no function over 60 lines"
