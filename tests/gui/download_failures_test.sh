#!/usr/bin/env bash
# A download that is cancelled or fails brings the input page back and leaves no installer file behind.
source "$(dirname "$0")/lib.sh"
files_start
cp "$TL_BUILD/tests/peers/installer_standin.exe" "$OUT/files/setup.exe"

# A download error: the server's own status text, shown as it is; the file is deleted.
signup_start "success||http://localhost:$FILES_PORT/files/setup.exe?fail=404&reason=No+such+installer+here"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
text=$(wait_message_box)
gui_shot download-error
echo "ok: download error says '$text'"
[[ "$text" == *"No such installer here"* ]] || fail "the message does not carry the server's text"
dismiss_message_box
expect_input_page
[ -z "$(installer_folders)" ] || fail "the failed download's file was left behind"
gui_stop
peers_stop

# Cancel during a slow download, by keyboard alone: the gauge moves (a screen reader reads it as a
# progress bar and its percentage), the line under it tells the amount and the time left, Tab shows the
# focus on Cancel, Escape returns at once and the focus comes back to the download button; the partial
# file goes.
files_start
cat > "$OUT/replies.json" <<JSON
["success||http://localhost:$FILES_PORT/gen/4000000?rate=200000",
 "success||http://localhost:$FILES_PORT/gen/4000000?fail=503&reason=Busy&retryafter=20"]
JSON
signup_start "@$OUT/replies.json"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
wait_field tsProgress 3 1
expect_soon "step text" "Downloading" gui_field lbProcess 7
expect_soon "download page height" "519,279" client_size
sleep 3
gauge=$(gui_field prMain 7)
echo "ok: gauge shows $gauge"
[ "$gauge" != "0%" ] || fail "the gauge did not move"
amount=$(gui_field lbAmount 7)
echo "ok: the amount line says '$amount'"
[[ "$amount" =~ ^([0-9]+\ KB|[0-9]\.[0-9]\ MB)\ of\ 3\.8\ MB,\ about\ [0-9]+\ seconds\ left$ ]] || fail "the amount line says '$amount'"
[[ "$(reader_sees prMain)" == 48\|\|[0-9]*% ]] || fail "a reader gets '$(reader_sees prMain)' from the gauge"
xdotool key Tab
wait_field btCancel 5 1
gui_shot downloading
[ -n "$(installer_files)" ] || fail "no installer file while downloading"
start=$(date +%s%N)
xdotool key Escape
wait_field tsInput 3 1
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$elapsed" -lt 3000 ] || fail "cancel took ${elapsed} ms"
expect_input_page
wait_field btDownload 5 1
sleep 0.5
expect_no_message_box
[ -z "$(installer_folders)" ] || fail "the partial file was left behind"
gui_shot cancelled

# A busy server asks for 20 s: the step text says the wizard tries again, and Cancel ends the wait at once.
gui_click btDownload
wait_field lbProcess 7 "Connection lost, trying again (1 of 4)"
gui_shot trying-again
gui_click btCancel
start=$(date +%s%N)
wait_field tsInput 3 1
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$elapsed" -lt 3000 ] || fail "cancel during the wait took ${elapsed} ms"
expect_input_page
expect_no_message_box
[ -z "$(installer_folders)" ] || fail "the waiting download's file was left behind"
echo "download failures passed"
