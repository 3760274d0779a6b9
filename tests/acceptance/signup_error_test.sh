#!/usr/bin/env bash
# The sign-up service answers an error: its message is shown in the program's words, nothing is
# downloaded, and the answer is reported as the sign-up's result.
source "$(dirname "$0")/lib.sh"
fresh_prefix
stats_start
files_start
signup_start "error|Please enter the Email"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
expect_eq "message" "Please enter your Email" "$(wait_message_box)"
dismiss_message_box
expect_input_page
[ ! -s "$OUT/files-requests.txt" ] || fail "something was downloaded"
xdotool key alt+F4
wait_wizard_exit
start_and_close
expect_eq "sign-up result events" 1 "$(count_events '^RequestLicense +Result = Please enter the Email$')"
expect_eq "download events" 0 "$(count_events '^Downloading')"
echo "sign-up error scenario passed"
