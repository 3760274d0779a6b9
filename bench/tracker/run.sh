#!/usr/bin/env bash
# Tracker benchmark (not part of the tests): TrackEventValue on the GUI thread against building the same
# XML with plain appends (target >= 100000 events/s), and the final flush of 20000 queued events into
# package files against one WriteFile of the same bytes (target <= 3), with the per-file floor beside it.
# Usage: bash bench/tracker/run.sh  (after a test build: cmake --preset test && cmake --build build/x64)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
export TL_BUILD="${TL_BUILD:-$root/build/x64}"
cd "$root"
source scripts/wine-env.sh
exe="$TL_BUILD/bench/tracker/bench_tracker.exe"
[ -f "$exe" ] || { echo "bench: build first ($exe missing)" >&2; exit 1; }
tl_new_prefix "$TL_BUILD/bench-tracker-prefix"
trap 'tl_stop_wineserver' EXIT
tl_start_wineserver
"$WINE" "$exe" </dev/null
