#!/bin/sh
# Runs a Linux command that starts many Windows programs with `wine`, on a virtual X display
# and in a private prefix, with one wineserver kept running between them (a program then
# starts in a fraction of a second instead of several). Wine's own services start first,
# with nothing to inherit: started by the first program, they would hold its output pipes
# open, and whoever reads them would wait for ever.
# Usage: wine-session.sh PREFIX COMMAND [ARGS...]
prefix=$1
shift
. "$(dirname "$0")/wine-env.sh"
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" sh -c '
  . "$TESSAREL_TOOLS/wine-prefix.sh"
  prepare_wine_prefix
  wineserver -p
  wine cmd /c exit </dev/null >/dev/null 2>&1
  "$@"; rc=$?; wineserver -k 2>/dev/null; exit $rc' wine-session "$@"
