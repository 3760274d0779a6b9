#!/usr/bin/env bash
# The user cancels the download: back to the input page, no installer left, the cancel reported.
source "$(dirname "$0")/lib.sh"
fresh_prefix
stats_start
files_start
signup_start "success||http://localhost:$FILES_PORT/gen/20000000?rate=500000"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
wait_field tsProgress 3 1
sleep 2
gui_click btCancel
expect_input_page
ls "$(wine_temp)"/tl_*.exe >/dev/null 2>&1 && fail "the partial installer was left behind"
xdotool key alt+F4
wait_wizard_exit
start_and_close 5
expect_eq "cancel count events" 1 "$(count_events '^Downloading +CancelCount = 1$')"
expect_eq "cancel time events" 1 "$(count_events '^Downloading +CancelTime = [0-9]+$')"
application_not_started || fail "an application was started"
echo "cancel scenario passed"
