#!/usr/bin/env bash
# Installs what both builds and the tests need on Debian 12. Idempotent and quiet
# when everything is already there.
set -euo pipefail

packages=(g++ cmake make googletest g++-mingw-w64-i686-posix wine wine32:i386 xvfb xauth
          imagemagick python3 clang libclang-rt-14-dev fonts-wine xdotool
          fdisk gdisk parted dosfstools exfatprogs ntfs-3g qemu-utils libvhdi-utils python3-jsonschema
          locales zlib1g-dev libz-mingw-w64-dev libvmdk-utils libqcow-utils
          prometheus prometheus-node-exporter xz-utils faketime xfsprogs btrfs-progs
          cryptsetup-bin e2fsprogs clang-tidy)
# Packages that bring a daemon: the tests run their programs themselves, none may stay running.
daemons=(prometheus prometheus-node-exporter)
# The locales the code-page tests run Wine in: its ANSI code page follows them (1251, 932).
locales=(ru_RU.UTF-8 ja_JP.UTF-8)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# Generates the locales not yet there (after the packages, which bring locale-gen).
make_locales() {
  local wanted=()
  for l in "${locales[@]}"; do
    locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}" || wanted+=("$l")
  done
  [ ${#wanted[@]} -eq 0 ] && return 0
  for l in "${wanted[@]}"; do
    grep -qx "$l UTF-8" /etc/locale.gen 2>/dev/null || echo "$l UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
  done
  $sudo locale-gen >/dev/null
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  make_locales
  exit 0
fi

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# No service starts while installing (policy-rc.d's 101: "action forbidden"); one that a
# package still started, without init scripts' say, is stopped after.
policy=/usr/sbin/policy-rc.d
placed=""
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
  placed=1
fi
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
[ -n "$placed" ] && $sudo rm -f "$policy"
for d in "${daemons[@]}"; do
  if command -v systemctl >/dev/null && systemctl is-system-running >/dev/null 2>&1; then
    $sudo systemctl disable --now "$d" >/dev/null 2>&1 || true
  fi
  $sudo pkill -f "^/usr/bin/$d( |$)" 2>/dev/null || true
done
make_locales
