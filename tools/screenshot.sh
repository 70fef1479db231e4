#!/usr/bin/env bash
# Runs the demo on a virtual display and saves a screenshot of it.
# Usage: tools/screenshot.sh OUT.png [SECONDS] [BUILD]   (default: 6 seconds, build/win)
set -euo pipefail
out=$(realpath -m "$1")
wait=${2:-6}
build=${3:-build/win}
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  wineserver -k 2>/dev/null
  wine "$1" & pid=$!
  sleep "$2"
  import -window root "$3"
  wineserver -k 2>/dev/null; wait $pid 2>/dev/null; true' shot "$build/TessarelDemo.exe" "$wait" "$out"
echo "saved $out"
