#!/usr/bin/env bash
# Runs the demo program from build tree $1 under Wine: in a window on the user's display
# when there is one; otherwise on a virtual display, saving a picture of the report
# window once the scan has finished.
set -euo pipefail
build=${1:-build/win}
exe=$build/TessarelDemo.exe
if [ ! -f "$exe" ]; then
  echo "demo: $exe was not built" >&2
  exit 1
fi
if [ -n "${DISPLAY:-}" ]; then
  export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
  mkdir -p "$WINEPREFIX"
  . tools/wine-prefix.sh
  prepare_wine_prefix  # also stops a server left from a virtual display, which would hide the window
  exec wine "$exe"
fi
echo "demo: no display; running on a virtual one" >&2
tools/screenshot.sh "$build/demo.png" 8 "$build"
