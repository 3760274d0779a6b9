# Helpers for the GUI tests: the wizard under Wine on the test run's virtual display, driven with
# xdotool, inspected with wininspect.exe from inside the same Wine session. Sourced by each test.
# Expects WINEPREFIX and DISPLAY (scripts/test.sh sets them), TL_BUILD and TL_TEST_OUT (CTest sets them).
set -euo pipefail
WINE=/usr/lib/wine/wine64
export WINEDEBUG=-all
TITLE="Tradeloom for Mercantix Setup"
TEST_NAME="${TEST_NAME:-$(basename "$0" .sh)}"
OUT="$TL_TEST_OUT/$TEST_NAME"
rm -rf "$OUT"
mkdir -p "$OUT"
SHOT=0
WIZ_PID=""
WID=""

fail() {
  echo "FAIL: $*" >&2
  gui_shot failure || true
  gui_inspect > "$OUT/failure-windows.txt" 2>/dev/null || true
  exit 1
}

# Windows path of a Linux path.
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

gui_start() {
  "$WINE" "$TL_BUILD/wizard/TradeloomSetup.exe" </dev/null >"$OUT/wizard.log" 2>&1 &
  WIZ_PID=$!
  for _ in $(seq 100); do
    WID=$(xdotool search --onlyvisible --name "^$TITLE\$" 2>/dev/null | head -1 || true)
    [ -n "$WID" ] && break
    sleep 0.2
  done
  [ -n "$WID" ] || fail "the wizard window did not appear"
  xdotool windowfocus --sync "$WID"
  sleep 0.5
}

gui_stop() {
  if [ -n "$WIZ_PID" ] && kill -0 "$WIZ_PID" 2>/dev/null; then
    kill "$WIZ_PID" 2>/dev/null || true
    wait "$WIZ_PID" 2>/dev/null || true
  fi
  WIZ_PID=""
}
trap gui_stop EXIT

gui_inspect() { "$WINE" "$TL_BUILD/tests/tools/wininspect.exe" "$TITLE" 2>/dev/null | tr -d '\r'; }

# gui_field <control name> <field number>: 2 class, 3 visible, 4 enabled, 5 focused, 6 bounds, 7 text
gui_field() { gui_inspect | awk -F'|' -v n="$1" -v f="$2" '$1 == n { print $f; exit }'; }

gui_shot() {
  SHOT=$((SHOT + 1))
  import -window root "$OUT/$(printf '%02d' "$SHOT")-$1.png"
}

expect_eq() {  # what expected actual
  [ "$2" == "$3" ] || fail "$1: expected '$2', got '$3'"
  echo "ok: $1 = '$3'"
}

# Polls until gui_field equals the value (at most ~10 s).
wait_field() {  # name field value
  local v=""
  for _ in $(seq 50); do
    v=$(gui_field "$1" "$2")
    [ "$v" == "$3" ] && return 0
    sleep 0.2
  done
  fail "$1 field $2: expected '$3', got '$v'"
}
