# Sourced: where the 32-bit stack lives and how a 32-bit Windows program runs on it. These kernels cannot
# execute 32-bit code, so qemu-i386 (user mode) runs Debian's 32-bit Wine loader from a private sysroot;
# the host's own wineserver serves it. scripts/setup-32.sh makes the stack.
#
# The stack is cached outside the checkout (TL_WINE32_CACHE, default /var/cache/tradeloom-wine32), so that
# clean clones reuse it; each part sits in a folder named by the hash of its recipe, so a changed script or
# patch builds anew beside the old one instead of changing a stack that another run may be using.
TL32_SCRIPTS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
TL32_CACHE="${TL_WINE32_CACHE:-/var/cache/tradeloom-wine32}"
tl32_recipe() { cat "$@" | sha256sum | cut -c1-12; }
# The 32-bit Wine must be the host's Wine version (one wineserver serves both), so it names the sysroot too.
TL32_WINE_VERSION="$(dpkg-query -W -f='${Version}' wine64 2>/dev/null || echo none)"
TL32_SYSROOT="$TL32_CACHE/sysroot-${TL32_WINE_VERSION//[^[:alnum:].+]/_}-$(
  tl32_recipe "$TL32_SCRIPTS/setup-32.sh" "$TL32_SCRIPTS/wine32/trapfix.c")"
TL32_QEMU_DIR="$TL32_CACHE/qemu-$(tl32_recipe "$TL32_SCRIPTS/wine32/build-qemu.sh" "$TL32_SCRIPTS/wine32/qemu-wine32.patch")"

# The loader script of the sysroot re-enters this qemu for every new 32-bit process.
export TL32_QEMU="$TL32_QEMU_DIR/qemu-i386"
export QEMU_LD_PREFIX="$TL32_SYSROOT"   # the guest's /lib, /usr/lib and /etc come from the sysroot
export QEMU_RESERVED_VA=0x7fff0000      # a 2 GiB guest: with qemu's 4 GiB default Wine's services hang
# WoW64 as on 64-bit Windows: the host's 64-bit Wine runs 64-bit programs and, for a 32-bit one, execs the
# 32-bit loader beside its own executable. So a copy of the host's wine64 loader sits in the sysroot beside
# the 32-bit one; it finds the host's ntdll.so and, for the 32-bit side of a prefix, the i386 DLLs through
# WINEDLLPATH.
TL32_WINE64="$TL32_SYSROOT/usr/lib/wine/wine64"
export WINEDLLPATH="/usr/lib/x86_64-linux-gnu/wine:$TL32_SYSROOT/usr/lib/i386-linux-gnu/wine"

# True when the stack is complete (setup-32.sh leaves its marks last).
tl32_ready() { [ -f "$TL32_SYSROOT/.ready" ] && [ -x "$TL32_QEMU" ] && cmp -s /usr/lib/wine/wine64 "$TL32_WINE64"; }
