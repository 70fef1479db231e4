#!/usr/bin/env bash
# Builds nothing; runs the demo program from build tree $1 under Wine.
set -euo pipefail
build=${1:-build/win}
exe=$build/TessarelDemo.exe
if [ ! -f "$exe" ]; then
  echo "demo: $exe does not exist yet: the program is not built in this version." >&2
  exit 1
fi
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
if [ -n "${DISPLAY:-}" ]; then
  exec wine "$exe"
fi
echo "demo: no display; running on a virtual one (screenshot with tools/screenshot.sh)" >&2
exec tools/wine-run.sh "$WINEPREFIX" "$exe"
