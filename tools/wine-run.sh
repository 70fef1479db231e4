#!/bin/sh
# Runs a Windows program under Wine on a virtual X display, in a private prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
# The wineserver is stopped before the display goes away, so that no later run finds
# a server holding a desktop without a display.
prefix=$1
shift
. "$(dirname "$0")/wine-env.sh"
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" sh -c '
  . "$TESSAREL_TOOLS/wine-prefix.sh"
  prepare_wine_prefix
  wine "$@"; rc=$?; wineserver -k 2>/dev/null; exit $rc' wine-run "$@"
