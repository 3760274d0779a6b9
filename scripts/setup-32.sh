#!/usr/bin/env bash
# Makes the 32-bit stack of the i686 tests (see scripts/wine32-env.sh), or checks that the cached one is
# complete. Debian 12's wine32:i386 and its i386 closure are downloaded through a private apt state whose only
# architecture is i386 and unpacked with dpkg -x into a sysroot: nothing of it is installed on the host, and
# the host gets no foreign architecture. qemu-i386 is built from Debian's qemu source with the project's
# patch (scripts/wine32/build-qemu.sh). Idempotent; as root.
set -euo pipefail
source "$(dirname "$0")/wine32-env.sh"
APTDIR="$TL32_CACHE/apt"
export DEBS="$TL32_CACHE/debs"
# The loader, its DLLs, and what libwine only recommends: TLS and the X extensions the window code uses.
I386_PKGS=(wine32="$TL32_WINE_VERSION" libwine="$TL32_WINE_VERSION" libgnutls30 libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2
           libxrender1 libxxf86vm1)

apt32() { APT_CONFIG="$APTDIR/apt.conf" apt-get "$@"; }
say() { echo "setup-32: $*"; }
die() { echo "setup-32: $*" >&2; exit 1; }

host_packages() {
  local missing=() p
  for p in meson libglib2.0-dev pkg-config ninja-build gcc python3 dpkg-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  say "installing ${missing[*]} (to build qemu-i386)"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    die "cannot install ${missing[*]} (is the network reachable?)"
}

# A private apt state: i386 only, the host's Debian sources (with their source packages), its own lists.
private_apt() {
  mkdir -p "$APTDIR"/etc/apt/{sources.list.d,preferences.d,apt.conf.d} "$APTDIR"/var/lib/apt/lists/partial \
           "$APTDIR"/var/cache/apt/archives/partial "$APTDIR"/var/lib/dpkg "$DEBS/partial"
  [ -f /etc/apt/sources.list.d/debian.sources ] || die "no /etc/apt/sources.list.d/debian.sources to take the archive from"
  sed 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources > "$APTDIR/etc/apt/sources.list.d/debian.sources"
  touch "$APTDIR/var/lib/dpkg/status"
  cat > "$APTDIR/apt.conf" <<EOF
Dir "$APTDIR/";
Dir::State "$APTDIR/var/lib/apt/";
Dir::State::status "$APTDIR/var/lib/dpkg/status";
Dir::Cache "$APTDIR/var/cache/apt/";
Dir::Cache::archives "$DEBS/";
Dir::Etc "$APTDIR/etc/apt/";
Dir::Etc::TrustedParts "/etc/apt/trusted.gpg.d/";
Dir::Etc::Trusted "/etc/apt/trusted.gpg";
APT::Architecture "i386";
APT::Architectures { "i386"; };
Acquire::Languages "none";
Debug::NoLocking "true";
EOF
  # apt-get update ends with 0 even when nothing could be fetched: the lists tell.
  apt32 update -qq >"$APTDIR/update.log" 2>&1 || true
  compgen -G "$APTDIR/var/lib/apt/lists/*_Packages*" >/dev/null ||
    die "cannot read Debian's i386 package lists (is the network reachable?): $(grep -E '^(E|W):' "$APTDIR/update.log" | head -1)"
  if grep -q '^E:\|^W: Failed' "$APTDIR/update.log"; then say "cannot refresh the i386 package lists, using the cached ones"; fi
}

download_packages() {
  # With an empty dpkg status, a download-only install fetches the whole i386 closure; cached .debs are kept.
  apt32 install -y -qq --download-only --no-install-recommends "${I386_PKGS[@]}" >"$APTDIR/download.log" 2>&1 ||
    die "cannot download the i386 packages (network, or a package missing from the archive): $(grep -E '^E:' "$APTDIR/download.log" | head -3)"
  say "$(closure_patterns | wc -l) i386 packages, $(du -sh "$DEBS" | cut -f1)"
}

# The patterns of the cached .debs of the closure: "Inst <name> (<version> ..." of a simulated install.
closure_patterns() {
  apt32 install -s -qq --no-install-recommends "${I386_PKGS[@]}" |
    awk '$1 == "Inst" { v = substr($3, 2); sub(/:/, "%3a", v); print ENVIRON["DEBS"] "/" $2 "_" v "_*.deb" }'
}

unpack_sysroot() {
  local new="$TL32_SYSROOT.new" p f
  rm -rf "$new"; mkdir -p "$new"
  # Exactly the closure apt resolved (the cache may also hold older versions).
  for p in $(closure_patterns); do
    f=$(compgen -G "$p" | head -1) || die "the download left no package $p"
    dpkg -x "$f" "$new"
  done
  fixup_sysroot "$new"
  rm -rf "$TL32_SYSROOT"; mv "$new" "$TL32_SYSROOT"
}

fixup_sysroot() {
  local sys="$1" wd="$1/usr/lib/wine" z
  # Wine starts each process by executing its loader, which the host cannot do for a 32-bit ELF: the ELF
  # becomes wine.elf, and "wine" is a script that runs it in qemu (argv[0] stays .../wine, so Wine finds it).
  mv "$wd/wine" "$wd/wine.elf"
  cat > "$wd/wine" <<'EOF'
#!/bin/sh
# The 32-bit Wine loader, run by qemu-i386 (TL32_QEMU); Wine executes this for each new 32-bit process.
d=$(dirname "$(readlink -f "$0")")
exec "${TL32_QEMU:?TL32_QEMU names the qemu-i386 of scripts/setup-32.sh}" -L "$d/../../.." -0 "$d/wine" "$d/wine.elf" "$@"
EOF
  chmod +x "$wd/wine"
  # No preloader: it would need the same detour and a kernel's memory layout. Without it Wine execs "wine".
  rm -f "$wd/wine-preloader"
  # The 64-bit loader beside it (see wine32-env.sh), kept equal to the host's by the check below.
  cp /usr/lib/wine/wine64 "$wd/wine64"
  # Wine's own fonts (fonts-wine, of all architectures) from the host; libwine:i386 has an empty folder.
  rmdir "$sys/usr/share/wine/fonts" 2>/dev/null && ln -s /usr/share/wine/fonts "$sys/usr/share/wine/fonts"
  # The 32-bit fontconfig keeps its cache in the sysroot, not in the host's.
  mkdir -p "$sys/var/cache/fontconfig"
  sed -i "s#<cachedir>/var/cache/fontconfig</cachedir>#<cachedir>$TL32_SYSROOT/var/cache/fontconfig</cachedir>#" "$sys/etc/fonts/fonts.conf"
  # What libwine's postinst does (dpkg -x runs no maintainer script): zlib1.dll marked as a Wine builtin.
  z="$sys/usr/i686-w64-mingw32/lib/zlib1.dll"
  { head -c 64 "$z"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$z"; } \
    > "$sys/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
  # The sysroot's own ld.so.cache: else the guest's ld.so reads the host's and may take a host /lib32 libc.
  echo 'include /etc/ld.so.conf.d/*.conf' > "$sys/etc/ld.so.conf"
  /sbin/ldconfig -r "$sys"
  # trapfix.so in every emulated process (only the guest's ld.so reads the sysroot's ld.so.preload).
  gcc -m32 -O2 -fPIC -ffreestanding -nostdinc -fno-stack-protector -Wall -c "$TL32_SCRIPTS/wine32/trapfix.c" -o "$sys/trapfix.o"
  ld -m elf_i386 -shared -soname trapfix.so -o "$sys/usr/lib/i386-linux-gnu/trapfix.so" "$sys/trapfix.o"
  rm "$sys/trapfix.o"
  echo /usr/lib/i386-linux-gnu/trapfix.so > "$sys/etc/ld.so.preload"
}

# Folders of older recipes that no run has used for a week.
prune() {
  find "$TL32_CACHE" -mindepth 1 -maxdepth 1 \( -name 'sysroot-*' -o -name 'qemu-*' \) \
    ! -path "$TL32_SYSROOT" ! -path "$TL32_QEMU_DIR" -mtime +7 -exec rm -rf {} + 2>/dev/null || true
}

[ "$TL32_WINE_VERSION" != none ] || die "wine64 is not installed (scripts/setup.sh installs it)"
if dpkg-query -W -f='${Status}' wine32 2>/dev/null | grep -q "install ok installed"; then
  die "wine32 is installed on the host; it makes wine pick a 32-bit loader that cannot run here. Remove it."
fi
mkdir -p "$TL32_CACHE"
exec 9>"$TL32_CACHE/.lock"
flock 9   # one setup at a time; others wait and then find the stack made
start=$(date +%s)
if [ ! -f "$TL32_SYSROOT/.ready" ]; then
  say "making the i386 sysroot in $TL32_SYSROOT"
  private_apt
  download_packages
  unpack_sysroot
  touch "$TL32_SYSROOT/.ready"
  say "sysroot ready: $(du -sh "$TL32_SYSROOT" | cut -f1)"
fi
if [ ! -x "$TL32_QEMU" ]; then
  host_packages
  [ -f "$APTDIR/apt.conf" ] || private_apt
  say "building qemu-i386 in $TL32_QEMU_DIR"
  APT_CONFIG="$APTDIR/apt.conf" bash "$TL32_SCRIPTS/wine32/build-qemu.sh" "$TL32_QEMU_DIR" || die "building qemu-i386 failed (see $TL32_QEMU_DIR.log)"
fi
# The host's wine64 loader changes with its package (whose version also names the sysroot).
cmp -s /usr/lib/wine/wine64 "$TL32_WINE64" ||
  { cp /usr/lib/wine/wine64 "$TL32_WINE64.new" && mv "$TL32_WINE64.new" "$TL32_WINE64"; }
touch "$TL32_SYSROOT/.ready" "$TL32_QEMU_DIR"
prune
say "ready ($(( $(date +%s) - start )) s)"
