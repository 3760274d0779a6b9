# Sourced by the test and demo scripts: a fresh Wine prefix, a virtual display, the test CA.
# Expects TL_BUILD (the x86_64 build folder). Sets WINEPREFIX, DISPLAY, WINE, TL_SLOW.
# TL_ARCH=i686: the i686 programs' tests, on the 32-bit stack (scripts/wine32-env.sh) in WoW64 prefixes,
# where emulated programs run several times slower: TL_SLOW (default 8 there, else 1) scales every wait.
if [ "${TL_ARCH:-x86_64}" = i686 ]; then
  source "$(dirname "${BASH_SOURCE[0]}")/wine32-env.sh"
  tl32_ready || { echo "the 32-bit stack is not set up: run scripts/setup-32.sh" >&2; exit 1; }
  WINE="$TL32_WINE64"
  TL_SLOW="${TL_SLOW:-8}"
else
  WINE=/usr/lib/wine/wine64
  TL_SLOW="${TL_SLOW:-1}"
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono/Gecko installer dialogs in a fresh prefix

# tl_new_prefix <dir>: a fresh prefix, so that runs never depend on each other.
tl_new_prefix() {
  export WINEPREFIX="$1"
  if [ -d "$WINEPREFIX" ]; then WINEPREFIX="$WINEPREFIX" /usr/lib/wine/wineserver -k 2>/dev/null || true; fi
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  "$WINE" wineboot -i </dev/null >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
}

# tl_start_display <number>: Xvfb with compositing, and a compositing manager for translucent windows.
tl_start_display() {
  export DISPLAY=":$1"
  if ! xdpyinfo >/dev/null 2>&1; then
    Xvfb "$DISPLAY" -screen 0 1024x768x24 +extension Composite -nolisten tcp >/dev/null 2>&1 &
    TL_XVFB_PID=$!
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    xcompmgr >/dev/null 2>&1 &
    TL_XCOMPMGR_PID=$!
  fi
}

tl_stop_display() {
  [ -n "${TL_XCOMPMGR_PID:-}" ] && kill "$TL_XCOMPMGR_PID" 2>/dev/null || true
  [ -n "${TL_XVFB_PID:-}" ] && kill "$TL_XVFB_PID" 2>/dev/null || true
}

# tl_trust_test_ca: makes the stand-ins' certificates (once per build) and trusts their CA in the prefix.
tl_trust_test_ca() {
  bash "$(dirname "${BASH_SOURCE[0]}")/make-certs.sh" "$TL_BUILD/certs"
  "$WINE" "$TL_BUILD/tests/peers/trustca.exe" "Z:$(echo "$TL_BUILD/certs/ca.der" | tr / '\\')" </dev/null
}

# Starts the prefix's wineserver and Wine's services detached from the caller's pipes, so that ctest
# does not wait for them after every test.
tl_start_wineserver() {
  /usr/lib/wine/wineserver -p
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

tl_stop_wineserver() { /usr/lib/wine/wineserver -k 2>/dev/null || true; }
