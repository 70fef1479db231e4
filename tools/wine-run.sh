#!/bin/sh
# Runs a Windows program under Wine on a virtual X display, in a private prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
# The wineserver is stopped before the display goes away, so that no later run finds
# a server holding a desktop without a display.
prefix=$1
shift
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
# Windows open on a Wine virtual desktop: with no window manager on the display, Wine
# would otherwise wait for one each time a window is hidden.
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" sh -c '
  wineserver -k 2>/dev/null  # a server left from another display would keep its desktop
  if [ ! -f "$WINEPREFIX/.virtual-desktop" ]; then
    wine reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /d Default /f >/dev/null 2>&1 &&
    wine reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /d 1280x1024 /f >/dev/null 2>&1 &&
    touch "$WINEPREFIX/.virtual-desktop"
  fi
  wine "$@"; rc=$?; wineserver -k 2>/dev/null; exit $rc' wine-run "$@"
