#!/usr/bin/env bash
# The demo: builds the wizard and runs it under Wine on a virtual display (or on your own display when
# one is available and TL_DEMO_VISIBLE=1), saving a screenshot of each state into out/demo/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
cmake --preset demo >/dev/null
cmake --build --preset demo

export TL_BUILD="$root/build/x64"
source scripts/wine-env.sh
out="$root/out/demo"
rm -rf "$out"
mkdir -p "$out"
tl_new_prefix "$TL_BUILD/demo-prefix"
if [ "${TL_DEMO_VISIBLE:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
  echo "demo: running on your display $DISPLAY"
else
  tl_start_display 95
fi
trap 'tl_stop_wineserver; tl_stop_display' EXIT
tl_start_wineserver
tl_trust_test_ca

title="Tradeloom for Mercantix Setup"
"$WINE" "$TL_BUILD/wizard/TradeloomSetup.exe" </dev/null >"$out/wizard.log" 2>&1 &
pid=$!
wid=""
for _ in $(seq 100); do
  wid=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1 || true)
  [ -n "$wid" ] && break
  sleep 0.2
done
[ -n "$wid" ] || { echo "demo: the wizard window did not appear" >&2; exit 1; }
xdotool windowfocus --sync "$wid"
sleep 1
import -window root "$out/01-input-page.png"
xdotool type --delay 80 "Anna"; xdotool key Tab
xdotool type --delay 80 "Schmidt"; xdotool key Tab
xdotool type --delay 80 "anna.schmidt@example.com"
sleep 0.5
import -window root "$out/02-input-filled.png"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
echo "demo: screenshots in $out:"
ls "$out"/*.png
