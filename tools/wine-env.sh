# Sourced by wine-run.sh and wine-session.sh, with $prefix set: the private prefix, Wine's
# quiet settings, and where the tools are.
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
export TESSAREL_TOOLS="$(cd "$(dirname "$0")" && pwd)"
