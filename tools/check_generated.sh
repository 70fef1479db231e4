#!/bin/sh
# Fails when a committed icon or dialog template differs from what its generator makes.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 "$here/tools/make_icons.py" "$tmp"
python3 "$here/tools/make_dialogs.py" "$tmp"
for f in "$tmp"/*; do
  cmp "$f" "$here/res/$(basename "$f")" || { echo "res/$(basename "$f") is stale: rerun tools/"; exit 1; }
done
echo "generated resources match"
