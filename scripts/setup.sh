#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a Debian 12 machine (as root).
# Idempotent: a second run only checks.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
third="$here/third_party"

# The i686 program is built with the win32 thread model (no POSIX thread library in the release); the
# x86_64 tests keep the posix one, whose std::thread they use.
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32
          libz-mingw-w64-dev googletest dpkg-dev wine64 libgnutls30 xvfb xdotool
          imagemagick python3 curl openssl osslsigncode fonts-wine xcompmgr x11-utils xclip)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # wine32 must never come along: the kernel cannot run 32-bit programs.
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if dpkg-query -W -f='${Status}' wine32 2>/dev/null | grep -q "install ok installed"; then
  echo "setup: wine32 is installed; it makes wine pick a 32-bit loader that cannot run here. Remove it." >&2
  exit 1
fi

# libpng from Debian's source package, with Debian's patches applied, built statically by CMake.
if [ ! -f "$third/libpng/CMakeLists.txt" ]; then
  if ! grep -rqs -e '^deb-src .*bookworm' -e '^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    # deb822 form, with the same keyring as the binary entries (a bare one-line entry conflicts with them).
    cat > /etc/apt/sources.list.d/tradeloom-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    apt-get update -qq
  fi
  work="$(mktemp -d)"
  (cd "$work" && apt-get source --download-only -qq libpng1.6 2>/dev/null >/dev/null && dpkg-source -x libpng1.6_*.dsc libpng >/dev/null) ||
    { echo "setup: cannot fetch Debian's libpng1.6 source package (is the network reachable?)" >&2; rm -rf "$work"; exit 1; }
  mkdir -p "$third"
  rm -rf "$third/libpng"
  mv "$work/libpng" "$third/libpng"
  rm -rf "$work"
fi
echo "setup: ready"
