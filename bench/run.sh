#!/usr/bin/env bash
# The wizard's benchmarks in one run: start-up, responsiveness during a download, download speed and
# memory, the statistics tracker's cost, the size of the release executable and the whole run. Each
# figure stands beside a reference measured in the same run (the machines are noisy: ratios, not
# absolute times). Builds what it needs, runs everything under Wine in a fresh prefix on a virtual
# display, and prints one table; the table (also as Markdown) and the raw measurements go to out/bench/.
# Benchmarks, not tests: a missed target is reported, never an error.
#
# Usage: bash bench/run.sh [figure...]   (figures: startup responsiveness download tracker size wholerun
#                                         resume; all of them when none is named)
# Environment: TL_DISPLAY (virtual display, default 97), TL_BENCH_PORT (first of three free loopback
# ports, default 18180), TL_BENCH_*_ROUNDS and TL_BENCH_IDLE_SECONDS (see the measure.sh of each figure).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
all_figures=(startup responsiveness download tracker size wholerun resume)
figures=("$@")
[ ${#figures[@]} -gt 0 ] || figures=("${all_figures[@]}")
for figure in "${figures[@]}"; do
  if [[ " ${all_figures[*]} " != *" $figure "* ]]; then
    echo "bench: unknown figure '$figure' (${all_figures[*]})" >&2
    exit 2
  fi
done
wants() { [[ " ${figures[*]} " == *" $1 "* ]]; }

# ---- Build ----
targets=(TradeloomSetup installer_standin trustca bench_startup_probe bench_bare_window bench_platform_window
         bench_platform_controls
         bench_startup_steps bench_responsiveness bench_download bench_tracker bench_tracker_cost bench_wholerun_parts)
cmake --preset test >/dev/null
available=$(cmake --build build/x64 --target help | sed -n 's/^\([A-Za-z0-9_]*\): .*/\1/p')
build_targets=()
for target in "${targets[@]}"; do
  grep -qx "$target" <<< "$available" && build_targets+=("$target")
done
cmake --build build/x64 --target "${build_targets[@]}"
if wants size; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target TradeloomSetup
fi

# ---- The stage: prefix, display, stand-ins, copies of the programs ----
export TL_BUILD="$root/build/x64"
source scripts/wine-env.sh
source bench/lib.sh
for script in startup responsiveness download tracker_cost size wholerun resume; do source "bench/$script/measure.sh"; done

# Files in memory where possible: disk write-back would add noise to whatever runs next.
BENCH_WORK="$(mktemp -d /dev/shm/tl-bench.XXXXXX 2>/dev/null || mktemp -d /tmp/tl-bench.XXXXXX)"
BENCH_OUT="$root/out/bench"
BENCH_BIN="$BENCH_WORK/bin"
port="${TL_BENCH_PORT:-18180}"
BENCH_FILES_PORT=$port BENCH_SIGNUP_PORT=$((port + 1)) BENCH_STAT_PORT=$((port + 2))
BENCH_FILES_URL="http://127.0.0.1:$BENCH_FILES_PORT"
rm -rf "$BENCH_OUT"
mkdir -p "$BENCH_OUT/raw" "$BENCH_BIN"
: > "$BENCH_OUT/table.tsv"; : > "$BENCH_OUT/notes.txt"

cleanup() {
  stop_stand_ins
  tl_stop_wineserver
  tl_stop_display
  rm -rf "$BENCH_WORK"
}
trap cleanup EXIT

started=$(date +%s)
# The prefix in the same place: the tracker's files and the installation are then not held up by a disk
# that other work on the machine keeps busy.
tl_new_prefix "$BENCH_WORK/prefix"
tl_start_display "${TL_DISPLAY:-97}"
tl_start_wineserver
tl_trust_test_ca >/dev/null

for target in "${build_targets[@]}"; do
  program=$(find "$TL_BUILD"/{wizard,tests/peers,bench} -maxdepth 2 -name "$target.exe" | head -1)
  moved=$(bench_copy "$program" "$BENCH_BIN/$target.exe")
  # As the release ships them: without debug sections (which cost the wizard's start ~6 ms of loading).
  x86_64-w64-mingw32-strip "$BENCH_BIN/$target.exe"
  if [ "$target" = TradeloomSetup ] && [ "$moved" = 0 ]; then
    echo "bench: no sign-up address found in $program to point at the benchmark's stand-in" >&2
    exit 1
  fi
done
mkdir -p "$BENCH_WORK/files"
: > "$BENCH_WORK/served.txt"
serve files file_server.py "$BENCH_FILES_PORT" --root "$BENCH_WORK/files" --served "$BENCH_WORK/served.txt"
if [ -f tests/peers/stat_service.py ]; then
  serve statistics stat_service.py "$BENCH_STAT_PORT" --packages-dir "$BENCH_WORK/statistics"
fi

# ---- The figures ----
wants tracker && tracker_idle_start
for figure in "${figures[@]}"; do
  echo "bench: $figure..." >&2
  "measure_$figure"
done

echo
echo "Benchmarks of $(git log -1 --format=%h), $(date +%F), $(($(date +%s) - started)) s:"
print_table
echo
echo "Table and raw measurements: $BENCH_OUT"
