#!/usr/bin/env bash
# The whole test run on a fresh machine: installs what is missing, builds both architectures
# (the i686 release with warnings as errors), then runs every test under Wine in a fresh prefix.
# Extra arguments go to ctest (for instance -L unit, or -R http).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh

start=$(date +%s)
cmake --preset test >/dev/null
cmake --build --preset test
cmake --preset release >/dev/null
cmake --build --preset release
echo "test: both builds took $(( $(date +%s) - start )) s"

export TL_BUILD="$root/build/x64"
source scripts/wine-env.sh
tl_new_prefix "$TL_BUILD/wineprefix"
tl_start_display 91
trap 'tl_stop_wineserver; tl_stop_display' EXIT
tl_start_wineserver
tl_trust_test_ca

start=$(date +%s)
ctest --test-dir "$TL_BUILD" --output-on-failure -j2 "$@"
echo "test: ctest took $(( $(date +%s) - start )) s"
