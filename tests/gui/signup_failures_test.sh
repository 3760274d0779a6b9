#!/usr/bin/env bash
# Every way a sign-up ends without a download brings the input page back, with a message box only when
# there is something to say, and the typed fields kept.
source "$(dirname "$0")/lib.sh"

# A transport failure: nothing listens on the sign-up port.
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
text=$(wait_message_box)
gui_shot transport-failure
[ -n "$text" ] || fail "empty message"
echo "ok: transport failure says '$text'"
dismiss_message_box
expect_input_page
expect_eq "fields kept" "Anna" "$(gui_field editFirstName 7)"
gui_stop

# An error reply whose message is mapped to the program's own text.
signup_start "error|Please enter the Email"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
expect_eq "mapped message" "Please enter your Email" "$(wait_message_box)"
gui_shot mapped-message
dismiss_message_box
expect_input_page
gui_stop
peers_stop

# An unrecognised status: back to the input page without a word.
signup_start "maybe|whatever"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
sleep 1.5
expect_input_page
expect_no_message_box
gui_stop
peers_stop

# Cancel during a slow sign-up: back at once, no message box.
cat > "$OUT/slow.json" <<'JSON'
[{"body": "success||http://localhost:18080/files/setup.exe", "delay": 20}]
JSON
signup_start "@$OUT/slow.json"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
wait_field tsProgressMarq 3 1
expect_soon "step text" "Sending request" gui_field lbProgressMarguee 7
expect_soon "marquee page height" "519,279" client_size
gui_shot sending
gui_click btCancelMarguee
start=$(date +%s%N)
wait_field tsInput 3 1
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$elapsed" -lt 3000 ] || fail "cancel took ${elapsed} ms"
expect_input_page
sleep 0.5
expect_no_message_box
gui_shot cancelled
# Again by keyboard alone: Space on the download button (its focus kept), Tab to the Cancel button and
# Return on it.
wait_field btDownload 5 1
xdotool key space
wait_field tsProgressMarq 3 1
xdotool key Tab
wait_field btCancelMarguee 5 1
xdotool key Return
expect_input_page
sleep 0.5
expect_no_message_box
echo "signup failures passed"
