#!/usr/bin/env bash
# Installs what both builds and the tests need on Debian 12. Idempotent and quiet
# when everything is already there.
set -euo pipefail

packages=(g++ cmake make googletest g++-mingw-w64-i686-posix wine wine32:i386 xvfb xauth
          imagemagick python3 clang libclang-rt-14-dev fonts-wine xdotool
          fdisk gdisk dosfstools exfatprogs ntfs-3g qemu-utils libvhdi-utils python3-jsonschema)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
