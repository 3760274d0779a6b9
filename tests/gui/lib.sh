# Helpers for the GUI tests: the wizard under Wine on the test run's virtual display, driven with
# xdotool, inspected with wininspect.exe from inside the same Wine session. Sourced by each test.
# Expects WINEPREFIX and DISPLAY (scripts/test.sh sets them), TL_BUILD and TL_TEST_OUT (CTest sets them);
# with TL_ARCH=i686 the i686 wizard of TL_I686_BUILD runs instead (see scripts/wine-env.sh).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
# The build whose wizard (and what it loads) runs: this one, or with TL_ARCH=i686 the test-i686 build.
PROGRAM_BUILD="$TL_BUILD"
if [ "${TL_ARCH:-x86_64}" = i686 ]; then PROGRAM_BUILD="$TL_I686_BUILD"; fi
# slow <n>: n scaled by TL_SLOW, for the count of tries of a wait or a wait's seconds.
slow() { echo $(( $1 * TL_SLOW )); }
# slow_sleep <seconds>: a settling pause (the window taking keys, a box going away), scaled the same way.
slow_sleep() { sleep "$(awk -v s="$1" -v f="$TL_SLOW" 'BEGIN { print s * f }')"; }
TITLE="Tradeloom for Mercantix Setup"
TEST_NAME="${TEST_NAME:-$(basename "$0" .sh)}"
OUT="$TL_TEST_OUT/$TEST_NAME"
rm -rf "$OUT"
mkdir -p "$OUT"
SHOT=0
WIZ_RUNS=0
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
  xdotool mousemove 0 0  # no control starts under the pointer
  "$WINE" "${WIZARD_EXE:-$PROGRAM_BUILD/wizard/TradeloomSetup.exe}" </dev/null >"$OUT/wizard.log" 2>&1 &
  WIZ_PID=$!
  WIZ_RUNS=$((WIZ_RUNS + 1))
  # Up to a minute (a start on a loaded machine is slow), but a wizard that ends without a window fails at once.
  for _ in $(seq "$(slow 300)"); do
    WID=$(xdotool search --onlyvisible --name "^$TITLE\$" 2>/dev/null | head -1 || true)
    [ -n "$WID" ] && break
    kill -0 "$WIZ_PID" 2>/dev/null || break
    sleep 0.2
  done
  if [ -z "$WID" ]; then
    local state="still running"
    kill -0 "$WIZ_PID" 2>/dev/null || { wait "$WIZ_PID" && state="ended with 0" || state="ended with $?"; }
    WIZ_PID=""
    fail "the wizard window did not appear (the wizard $state): $(tr -d '\r' < "$OUT/wizard.log" | tail -5)"
  fi
  xdotool windowfocus --sync "$WID"
  slow_sleep 0.5
}

gui_stop() {
  if [ -n "$WIZ_PID" ] && kill -0 "$WIZ_PID" 2>/dev/null; then
    kill "$WIZ_PID" 2>/dev/null || true
    wait "$WIZ_PID" 2>/dev/null || true
  fi
  WIZ_PID=""
}
trap gui_stop EXIT

gui_inspect() { "$WINE" "$TL_BUILD/tests/tools/wininspect.exe" "$@" "$TITLE" 2>/dev/null | tr -d '\r'; }

# gui_field <control name> <field number>: 2 class, 3 visible, 4 enabled, 5 focused, 6 bounds, 7 text
gui_field() { gui_inspect | awk -F'|' -v n="$1" -v f="$2" '$1 == n { print $f; exit }'; }

# reader_sees <control name, or "popup"> : what a screen reader gets, "role|name|value" (MSAA).
reader_sees() { gui_inspect --msaa | awk -F'|' -v n="$1" '$1 == n { print (n == "popup") ? $4 "|" $5 "|" $6 : $8 "|" $9 "|" $10; exit }'; }

# send_dpi <dpi>: the window moves to a monitor of that scale, as Windows tells it (Wine never does).
send_dpi() { "$WINE" "$TL_BUILD/tests/tools/wininspect.exe" --dpi "$1" "$TITLE" >/dev/null 2>&1; }

gui_shot() {
  SHOT=$((SHOT + 1))
  import -window root "$OUT/$(printf '%02d' "$SHOT")-$1.png"
}

expect_eq() {  # what expected actual
  [ "$2" == "$3" ] || fail "$1: expected '$2', got '$3'"
  echo "ok: $1 = '$3'"
}

# expect_soon <what> <expected> <command...>: the command's output reaches the expected value within ~5 s.
# Typed keys reach the window some time after xdotool returns, later still on a loaded machine; a wrong
# value (a character the filter should have refused) never turns right, so it still fails.
expect_soon() {
  local what="$1" want="$2" v=""
  shift 2
  for _ in $(seq "$(slow 25)"); do
    v=$("$@")
    [ "$v" == "$want" ] && break
    sleep 0.2
  done
  expect_eq "$what" "$want" "$v"
}

# The hint bubble's text, empty when none shows.
hint_text() { gui_inspect | awk -F'|' '$1 == "popup" && $2 == "TradeloomHintBubble" { print $3; exit }'; }

# Polls until gui_field equals the value (at most ~10 s).
wait_field() {  # name field value
  local v=""
  for _ in $(seq "$(slow 50)"); do
    v=$(gui_field "$1" "$2")
    [ "$v" == "$3" ] && return 0
    sleep 0.2
  done
  fail "$1 field $2: expected '$3', got '$v'"
}

# ---- Loopback stand-ins on the fixed ports of the test build ----
PEERS="$TL_PEERS_DIR"
CERTS="$TL_BUILD/certs"
SIGNUP_PORT=18443
FILES_PORT=18080
PEER_PIDS=()

port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# peer_start <name> <script> <args...>: starts a stand-in, waits until its port answers.
peer_start() {
  local name="$1" script="$2" port="$3"
  shift 3
  port_free "$port" || fail "port $port is taken: stop whatever listens there (the $name stand-in needs it)"
  python3 "$PEERS/$script" --port "$port" --time-limit 300 "$@" >"$OUT/$name.log" 2>&1 &
  PEER_PIDS+=($!)
  for _ in $(seq 50); do port_free "$port" || return 0; sleep 0.1; done
  fail "the $name stand-in did not start (see $OUT/$name.log)"
}

peers_stop() {
  local pid
  for pid in "${PEER_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PEER_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  PEER_PIDS=()
}

# signup_start <reply body or @json file>: the sign-up service on https://localhost:18443/store/signup.php
signup_start() {
  if [[ "$1" == @* ]]; then
    peer_start signup signup_service.py "$SIGNUP_PORT" --cert "$CERTS/server.pem" --replies "${1#@}" --record "$OUT/signup-posted.txt"
  else
    peer_start signup signup_service.py "$SIGNUP_PORT" --cert "$CERTS/server.pem" --reply "$1" --record "$OUT/signup-posted.txt"
  fi
}

# stats_start [args...]: the statistics service on localhost:18082, keeping what it receives in $OUT/statistics.
STATS_PORT=18082
stats_start() {
  peer_start statistics stat_service.py "$STATS_PORT" --packages-dir "$OUT/statistics" \
    --packages "$OUT/statistics-verdicts.txt" "$@"
}

# The tracker's data folder in the prefix; tests that count events start without one.
stats_data_folder() { echo "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Software Statistics Service"; }

# The statistics events that arrived, one line per event and parameter: "event  parameter = value".
stats_events() { python3 "$PEERS/stat_report.py" "$OUT/statistics"; }

# files_start: the download server on http://localhost:18080/files/ serving $OUT/files.
files_start() {
  mkdir -p "$OUT/files"
  peer_start files file_server.py "$FILES_PORT" --root "$OUT/files" --record "$OUT/files-requests.txt"
}

on_exit() {
  local code=${1:-$?}
  gui_stop
  peers_stop
  exit "$code"
}
trap on_exit EXIT

# The Wine prefix's temporary folder and Program Files, as Linux paths.
wine_temp() { echo "$WINEPREFIX/drive_c/users/$(id -un)/Temp"; }
# The installer stand-in reads its settings from and logs into the user's temporary folder: the wizard
# runs it from a folder of its own below the Windows temporary folder.
export TL_STANDIN_FOLDER="C:\\users\\$(id -un)\\Temp"
# The wizard's installer folders that exist now ("tl-" and 32 hex digits), one per line.
installer_folders() { find "$WINEPREFIX/drive_c/windows/temp" -maxdepth 1 -name 'tl-*' 2>/dev/null; }
# The installer files in them; more find tests may follow (-size +0).
installer_files() { find "$WINEPREFIX/drive_c/windows/temp" -mindepth 2 -maxdepth 2 -path '*/tl-*/tl_*.exe' "$@" 2>/dev/null; }

# Fills the three fields as a person would and presses the download button.
fill_and_download() {  # first last email
  xdotool type --delay 20 "$1"; xdotool key Tab
  xdotool type --delay 20 "$2"; xdotool key Tab
  xdotool type --delay 20 "$3"; xdotool key Tab
  xdotool key space
}

# Waits until the wizard process has ended (at most 30 s); its exit code goes to WIZ_EXIT.
wait_wizard_exit() {
  WIZ_EXIT=0
  for _ in $(seq "$(slow 300)"); do kill -0 "$WIZ_PID" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$WIZ_PID" 2>/dev/null && fail "the wizard did not end"
  wait "$WIZ_PID" || WIZ_EXIT=$?
  WIZ_PID=""
}

# wait_file <path> [seconds]: true once the file exists. A process the wizard starts as it closes may
# write its file only after the wizard has gone, later still on a loaded machine.
wait_file() {
  local tries=$(( $(slow ${2:-15}) * 10 ))
  for _ in $(seq "$tries"); do [ -f "$1" ] && return 0; sleep 0.1; done
  [ -f "$1" ]
}

# wait_for <what> <awk condition on wininspect's fields>: polls (up to 10 s) until a line matches; prints
# that line's third field.
wait_for() {
  local what="$1" condition="$2" text=""
  for _ in $(seq "$(slow 100)"); do
    text=$(gui_inspect | awk -F'|' "$condition { print \$3; exit }")
    [ -n "$text" ] && { echo "$text"; return 0; }
    sleep 0.1
  done
  fail "no $what appeared"
}

# Waits for a message box of the wizard; prints its text.
wait_message_box() { wait_for "message box" '$1 == "popup-child" && $2 == "Static" && $3 != ""'; }

# Waits until the hint bubble shows; prints its text.
wait_hint() { wait_for "hint" '$1 == "popup" && $2 == "TradeloomHintBubble"'; }

# gui_click <control name>: a real mouse click in the middle of the control.
gui_click() {
  local bounds x y w h X Y
  bounds=$(gui_field "$1" 6)
  [ -n "$bounds" ] || fail "no control named $1"
  IFS=, read -r x y w h <<< "$bounds"
  eval "$(xdotool getwindowgeometry --shell "$WID")"
  X=$X Y=$Y
  xdotool mousemove $((X + x + w / 2)) $((Y + y + h / 2)) click 1
}

# Presses Return on the wizard's message box (it carries the window's title too).
dismiss_message_box() {
  local id
  for id in $(xdotool search --onlyvisible --name "^$TITLE\$" 2>/dev/null); do
    [ "$id" == "$WID" ] && continue
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    xdotool key Return
  done
  slow_sleep 0.3
  xdotool windowfocus --sync "$WID" 2>/dev/null || true
}

# Fails when a message box of the wizard shows.
expect_no_message_box() {
  local text
  text=$(gui_inspect | awk -F'|' '$1 == "popup" && $2 == "#32770" { print $3; exit }')
  [ -z "$text" ] || fail "unexpected message box"
  echo "ok: no message box"
}

expect_input_page() {
  wait_field tsInput 3 1
  wait_field tsMain 3 1
}

# The size of the client area, "width,height".
client_size() { gui_inspect | awk -F'|' '$1 == "form" { print $2 }'; }

# ---- Screenshots compared with reference pictures ----
REFERENCE_DIR="$(dirname "${BASH_SOURCE[0]}")/reference"

# window_shot <name> [margin]: the wizard's window (and what floats over it: hints, message boxes) with
# a margin around it, from the screen.
window_shot() {
  local margin="${2:-0}" X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$WID")"
  import -window root -crop "$((WIDTH + 2 * margin))x$((HEIGHT + 2 * margin))+$((X - margin))+$((Y - margin))" +repage "$OUT/$1.png"
}

# mask <name> <control>...: blacks out controls whose pixels change by themselves (marquee, gauge text).
mask() {
  local name="$1" args=() x y w h
  shift
  for control in "$@"; do
    IFS=, read -r x y w h <<< "$(gui_field "$control" 6)"
    args+=(-draw "rectangle $((x + MARGIN)),$((y + MARGIN)) $((x + MARGIN + w)),$((y + MARGIN + h))")
  done
  convert "$OUT/$name.png" -fill black "${args[@]}" "$OUT/$name.png"
}

# differing_pixels <name>: how many pixels of the screenshot differ from its reference beyond the tolerance
# (anti-aliasing, the caret), or "size" when the sizes differ.
differing_pixels() {
  local shot="$OUT/$1.png" ref="$REFERENCE_DIR/$1.png" diff
  [ "$(identify -format '%wx%h' "$shot")" == "$(identify -format '%wx%h' "$ref")" ] || { echo size; return; }
  diff=$(compare -metric AE -fuzz 12% "$ref" "$shot" "$OUT/$1-diff.png" 2>&1 >/dev/null || true)
  echo "${diff%% *}"
}

# look_matches <name> <control to mask>...: the window must look like tests/gui/reference/<name>.png,
# at most 0.5 % of the pixels differing. A loaded machine may repaint late, so the picture is taken again
# for up to three seconds (a hint stays five) before the difference counts.
# TL_UPDATE_REFERENCE=1 makes the picture the new reference.
look_matches() {
  local name="$1" ref="$REFERENCE_DIR/$1.png" diff total deadline=$((SECONDS + $(slow 3)))
  shift
  window_shot "$name" "$MARGIN"
  mask "$name" "$@"
  if [ "${TL_UPDATE_REFERENCE:-0}" = 1 ]; then
    mkdir -p "$REFERENCE_DIR"
    cp "$OUT/$name.png" "$ref"
    echo "reference updated: $name"
    return 0
  fi
  [ -f "$ref" ] || fail "no reference picture $ref (run with TL_UPDATE_REFERENCE=1 once and look at it)"
  total=$(identify -format '%[fx:w*h]' "$ref")
  while :; do
    diff=$(differing_pixels "$name")
    if [ "$diff" != size ] && [ "$diff" -le $((total / 200)) ]; then
      echo "ok: $name matches its reference ($diff pixels differ)"
      return 0
    fi
    [ $SECONDS -lt $deadline ] || break
    sleep 0.5
    window_shot "$name" "$MARGIN"
    mask "$name" "$@"
  done
  [ "$diff" != size ] ||
    fail "$name: size $(identify -format '%wx%h' "$OUT/$name.png") differs from the reference's $(identify -format '%wx%h' "$ref")"
  fail "$name differs from its reference in $diff of $total pixels (see $OUT/$name-diff.png)"
}
