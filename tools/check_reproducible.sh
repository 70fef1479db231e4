#!/usr/bin/env bash
# Builds the release twice, in two fresh trees at different paths, and fails unless the
# two zips are byte for byte the same.
# Usage: tools/check_reproducible.sh WORKDIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(realpath -m "$1")
rm -rf "$work"
for tree in a elsewhere-b; do
  cmake -S "$here" -B "$work/$tree/build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$work/$tree/build" -j "$(nproc)" --target Tessarel TessarelReport >/dev/null
  python3 "$here/tools/make_dist.py" "$work/$tree/build" "$work/$tree/dist"
done
cmp "$work"/a/dist/Tessarel-*-win32.zip "$work"/elsewhere-b/dist/Tessarel-*-win32.zip
cmp "$work"/a/dist/SHA256SUMS "$work"/elsewhere-b/dist/SHA256SUMS
echo "two builds, one zip: $(cut -d' ' -f1 "$work/a/dist/SHA256SUMS")"
rm -rf "$work"
