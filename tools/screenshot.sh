#!/usr/bin/env bash
# Runs the demo on a virtual display and saves a picture of its report window, cropped
# to the window; with a second file, also one of Device Information, opened from the
# system menu as a person would (Alt+Space, D).
# Usage: tools/screenshot.sh OUT.png [SECONDS] [BUILD] [DEVICE_INFO.png]
#   (default: 6 seconds for the scan to finish, build/win)
# With SCROLL=end in the environment, each list is scrolled to its last row first, with the
# mouse wheel, as a person would; with SCROLL=N, by N turns of the wheel. With DPI=192 (or another), the display has that many dots
# per inch (a prefix of its own).
set -euo pipefail
out=$(realpath -m "$1")
wait=${2:-6}
build=${3:-build/win}
devinfo=${4:+$(realpath -m "$4")}
export WINEPREFIX="$PWD/$build/wineprefix${DPI:+-$DPI}" TESSAREL_WINE_DPI="${DPI:-}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
export TESSAREL_TOOLS="$(cd "$(dirname "$0")" && pwd)" SCROLL="${SCROLL:-}"
mkdir -p "$WINEPREFIX"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  . "$TESSAREL_TOOLS/wine-prefix.sh"
  prepare_wine_prefix
  # Scrolls the list of window $1 (its middle) to the end.
  scroll() {
    [ -n "$SCROLL" ] || return 0
    local w turns=20
    [ "$SCROLL" = end ] || turns=$SCROLL
    w=$(xdotool search --name "$1" | head -1)
    xdotool mousemove --window "$w" 200 80 click --repeat "$turns" 5; sleep 1
  }
  wine "$1" & pid=$!
  sleep "$2"
  scroll "Partition Offset Information"
  import -window "Partition Offset Information" "$3"
  if [ -n "$4" ]; then
    xdotool key alt+space; sleep 1; xdotool key d; sleep 2
    scroll "Device Information"
    import -window "Device Information" "$4"
  fi
  wineserver -k 2>/dev/null; wait $pid 2>/dev/null; true' shot "$build/TessarelDemo.exe" "$wait" "$out" "${devinfo:-}"
echo "saved $out${devinfo:+ and $devinfo}"
