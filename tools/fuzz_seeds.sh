#!/usr/bin/env bash
# Writes the fuzz seeds from the lab into tests/fuzz/corpus, and the image target's from
# images Linux's tools make; or (check) fails when the committed lab seeds differ from what
# MAKE_SEEDS writes now.
# Usage: tools/fuzz_seeds.sh MAKE_SEEDS [write|check]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for t in identify volume scan report; do mkdir -p "$tmp/$t"; done
"$1" "$tmp"
if [ "${2:-write}" = check ]; then
  for f in "$tmp"/*/seed-*; do
    rel=${f#"$tmp"/}
    cmp -s "$f" "$here/tests/fuzz/corpus/$rel" || { echo "tests/fuzz/corpus/$rel is stale: run make fuzz-seeds"; exit 1; }
  done
  echo "fuzz seeds match the lab"
else
  for t in identify volume scan report; do
    mkdir -p "$here/tests/fuzz/corpus/$t"
    rm -f "$here/tests/fuzz/corpus/$t"/seed-*
    cp "$tmp/$t"/seed-* "$here/tests/fuzz/corpus/$t/"
  done
  echo "wrote $(ls "$tmp"/*/seed-* | wc -l) seeds"
  # The image target's seeds: images made by Linux's tools, which carry random identifiers
  # and times, so they are written here but not compared.
  python3 "$here/tools/image_seeds.py" "$here/tests/fuzz/corpus/image"
fi
