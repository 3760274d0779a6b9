#!/usr/bin/env bash
# The wizard opens at its designed size on the input page, with the caret in the first-name field,
# and typing reaches that field. It runs as the vendor ships it: signed (here with a throw-away certificate).
# A screen reader reads every control; the window follows a change of the monitor's scale; a second
# start leaves the first wizard alone, waits for one that is closing and is not held by a hung one.
source "$(dirname "$0")/lib.sh"
WIZARD_EXE="$TL_BUILD/wizard/signed/TradeloomSetup.exe"
rm -rf "$(stats_data_folder)"  # one tracker run is counted by its marker file
gui_start
gui_shot input-page

expect_eq "client size" "519,313" "$(gui_inspect | awk -F'|' '$1 == "form" { print $2 }')"
expect_eq "input page showing" 1 "$(gui_field tsInput 3)"
expect_eq "welcome page showing" 1 "$(gui_field tsMain 3)"
wait_field editFirstName 5 1

# Started a second time (a double-click too many): that start ends at once with code 0, shows nothing
# and starts no tracker run; the first keeps the keyboard and works on.
markers() { find "$(stats_data_folder)" -name 'proc-*' 2>/dev/null | wc -l; }
expect_soon "the first run's marker" 1 markers
"$WINE" "$WIZARD_EXE" </dev/null >"$OUT/second.log" 2>&1 &
second=$!
for _ in $(seq 100); do kill -0 "$second" 2>/dev/null || break; sleep 0.1; done
kill -0 "$second" 2>/dev/null && fail "the second start did not end"
wait "$second" && second_exit=0 || second_exit=$?
expect_eq "exit code of the second start" 0 "$second_exit"
expect_eq "wizard windows" 1 "$(xdotool search --onlyvisible --name "^$TITLE\$" | wc -l)"
expect_eq "tracker runs" 1 "$(markers)"

xdotool type --delay 50 "Anna"
wait_field editFirstName 7 "Anna"
gui_shot typed

# What a screen reader reads (MSAA, from another process): role|name|value.
expect_eq "the first field, by its label" "42|First Name:|Anna" "$(reader_sees editFirstName)"
expect_eq "the email field" "42|Email:|" "$(reader_sees editEmail)"
expect_eq "the download button" "43|Download and install Tradeloom|" "$(reader_sees btDownload)"
expect_eq "a label" "41|Last Name:|" "$(reader_sees sLabel3)"

# Moved to monitors of other scales (WM_DPICHANGED as Windows sends it) and back: the layout's size at
# each; tests/wizard checks every control's bounds, the look test the picture.
layout() { gui_inspect | cut -d'|' -f1,6; }
before=$(layout)
for step in "144 779,470" "192 1038,626" "96 519,313"; do
  send_dpi "${step% *}"
  expect_eq "client size at ${step% *} DPI" "${step#* }" "$(client_size)"
done
[ "$(layout)" == "$before" ] || fail "the controls moved: $(diff <(echo "$before") <(layout))"
echo "ok: every control back where it was"

# A first wizard that is closing (its window hidden while its statistics are finished): a second start
# waits for its end, then shows a wizard of its own. One that is hung (minimised, handling no message):
# a second start asks nothing of it that it would have to answer, and ends. The name taken with no wizard
# window at all: a start shows its own after its wait.
gui_stop
pose() {  # hidden|hung|bare <seconds>
  "$WINE" "$TL_BUILD/tests/tools/wininspect.exe" --pose "$1" "$2" "$TITLE" >"$OUT/pose-$1.txt" 2>&1 &
  poser=$!
  PEER_PIDS+=("$poser")
  for _ in $(seq "$(slow 100)"); do grep -q posing "$OUT/pose-$1.txt" 2>/dev/null && return 0; sleep 0.1; done
  fail "the stand-in of a first wizard did not start: $(cat "$OUT/pose-$1.txt")"
}
pose hidden "$(slow 6)"
gui_start
kill -0 "$poser" 2>/dev/null && fail "a wizard showed while the closing one was still there"
echo "ok: a start during a close showed a wizard once the first had ended"
gui_stop

pose hung 120
"$WINE" "$WIZARD_EXE" </dev/null >"$OUT/second-hung.log" 2>&1 &
second=$!
for _ in $(seq "$(slow 200)"); do kill -0 "$second" 2>/dev/null || break; sleep 0.1; done
kill -0 "$second" 2>/dev/null && fail "the second start hung on the hung first wizard"
wait "$second" && second_exit=0 || second_exit=$?
expect_eq "exit code of a start beside a hung wizard" 0 "$second_exit"
kill "$poser" 2>/dev/null || true
wait "$poser" 2>/dev/null || true

pose bare 120
gui_start
kill -0 "$poser" 2>/dev/null || fail "the name's holder ended before the wizard showed"
echo "ok: a start showed a wizard though another program held the wizard's name"
gui_stop
kill "$poser" 2>/dev/null || true
echo "window test passed"
