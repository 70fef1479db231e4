#!/usr/bin/env bash
# Records the trace fixtures into tests/traces, or (check) fails when the committed ones
# differ from what MAKE_TRACES records now. Fixtures named edited-* are edited by hand and
# left alone.
# Usage: tools/traces.sh MAKE_TRACES [write|check]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$1" "$tmp"
if [ "${2:-write}" = check ]; then
  for f in "$tmp"/*; do
    cmp -s "$f" "$here/tests/traces/$(basename "$f")" ||
      { echo "tests/traces/$(basename "$f") is stale: run make traces"; exit 1; }
  done
  echo "trace fixtures match what the simulated machines answer"
else
  cp "$tmp"/* "$here/tests/traces/"
  echo "wrote $(ls "$tmp" | wc -l) files"
fi
