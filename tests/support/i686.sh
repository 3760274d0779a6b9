#!/usr/bin/env bash
# The i686 unit suites' side of the 32-bit stack (CTest runs this; see tests/CMakeLists.txt):
#   i686.sh start        a fresh WoW64 prefix (WINEPREFIX) with the stand-ins' CA trusted, and its wineserver
#   i686.sh run EXE ...  an i686 program in it
#   i686.sh stop         its wineserver stopped
set -euo pipefail
export TL_ARCH=i686
source "$(dirname "$0")/../../scripts/wine-env.sh"
case "$1" in
  start)
    tl_new_prefix "$WINEPREFIX"
    # Detached from CTest's pipes, so that CTest does not wait for the server and the services.
    /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
    "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
    tl_trust_test_ca
    ;;
  run) shift; exec "$WINE" "$@" ;;
  stop) tl_stop_wineserver ;;
  *) echo "usage: i686.sh start|run EXE...|stop" >&2; exit 2 ;;
esac
