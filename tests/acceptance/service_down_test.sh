#!/usr/bin/env bash
# The statistics service is down during a whole run; its events wait in package files and the next
# run delivers them. (The service's settings are known from an earlier run: without any, the tracker
# collects nothing, as the service has not said it may.)
source "$(dirname "$0")/lib.sh"
fresh_prefix
stats_start
start_and_close 3
peers_stop
files_start
signup_start "$(offer_installer)"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
wait_wizard_exit
expect_eq "exit code" 0 "$WIZ_EXIT"
ls "$(stats_data_folder)"/*/*/event-*.xml >/dev/null 2>&1 || fail "no package file kept the events"
stats_start
start_and_close 5
[ "$(count_events '^Installation +OverallTime')" = 1 ] || fail "the events of the run without the service were not delivered"
expect_eq "app-failure events" 0 "$(count_events '^app-failure')"

# A service too slow for the close: the window goes at once and the tracker finishes behind it; closes
# that arrive meanwhile add nothing. The finish cannot deliver in its time, so its events stay stored.
peers_stop
stats_start --send-delay 20
gui_start
sleep 3
# Waits for the hidden window before the close, as a Wine process takes longer to start than the finish.
"$WINE" "$TL_BUILD/tests/tools/wininspect.exe" "$TITLE" --close >"$OUT/closes.txt" 2>&1 &
closer=$!
sleep 2
xdotool key alt+F4
wait "$closer" || fail "$(cat "$OUT/closes.txt")"
echo "ok: $(tr -d '\r' <"$OUT/closes.txt")"
wait_wizard_exit
expect_eq "exit code of the closed window" 0 "$WIZ_EXIT"
expect_eq "stored finish events" 1 "$(cat "$(stats_data_folder)"/*/*/event-*.xml | grep -o 'app-finish' | wc -l)"
echo "service down scenario passed"
