#!/usr/bin/env bash
# Builds qemu-i386 (user mode, the one target i386-linux-user) from Debian 12's qemu source package with
# qemu-wine32.patch, which mends the two faults that keep Wine from running on the stock qemu 7.2:
# MAP_FIXED_NOREPLACE dropped (Wine's address-space reservations then loop for minutes) and one GDT shared
# by all threads (a new thread's TLS entries overwrite the others'). Usage: build-qemu.sh <out folder>
# (gets qemu-i386); the source package comes through APT_CONFIG (setup-32.sh's private apt state).
set -euo pipefail
out="$1"
here="$(cd "$(dirname "$0")" && pwd)"
work="$out.work"
log="$out.log"
rm -rf "$work" "$out"
mkdir -p "$work/src"
{
  cd "$work/src"
  apt-get source --download-only -qq qemu || { echo "cannot download Debian's qemu source package" >&2; exit 1; }
  dpkg-source -x qemu_*.dsc qemu
  patch -d qemu -p1 < "$here/qemu-wine32.patch"
  mkdir "$work/build"
  cd "$work/build"
  "$work/src/qemu/configure" --target-list=i386-linux-user --disable-system --disable-tools --disable-docs \
    --disable-werror --disable-debug-info --disable-capstone --disable-plugins --disable-gnutls --disable-nettle \
    --disable-gcrypt --meson=/usr/bin/meson
  ninja qemu-i386
} >"$log" 2>&1
mkdir -p "$out"
cp "$work/build/qemu-i386" "$out/qemu-i386"
rm -rf "$work"
