#!/usr/bin/env bash
# An installation that fails is reported and brings the input page back; the next attempt shows the
# sign-up step without a Cancel button, sized by the marquee bar.
source "$(dirname "$0")/lib.sh"
export TL_INSTALL_DIR="C:\\TradeloomTest\\failures"
files_start
cp "$TL_BUILD/tests/peers/installer_standin.exe" "$OUT/files/setup.exe"
printf 'not a program' > "$OUT/files/broken.exe"
temp="$(wine_temp)"
rm -f "$temp"/tl_*.exe
cat > "$OUT/replies.json" <<JSON
["success||http://localhost:$FILES_PORT/files/setup.exe",
 {"body": "success||http://localhost:$FILES_PORT/files/broken.exe", "delay": 2}]
JSON
signup_start "@$OUT/replies.json"
echo exit5 > "$temp/installer_standin.cfg"

# An installer that ends with a non-zero exit code.
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
text=$(wait_message_box)
gui_shot installer-failed
expect_eq "exit code reported" 1 "$([[ "$text" == *5* ]] && echo 1 || echo 0)"
echo "ok: installer failure says '$text'"
dismiss_message_box
expect_input_page
expect_eq "no Cancel after the installation" 0 "$(gui_field btCancelMarguee 3)"

# The second attempt in the same window: the sign-up step without Cancel and 69 pixels below.
gui_click btDownload
wait_field tsProgressMarq 3 1
expect_eq "marquee page without Cancel" "519,243" "$(client_size)"
gui_shot second-attempt
# This time the download is not a program: it cannot be started.
text=$(wait_message_box)
gui_shot installer-not-started
echo "ok: installer start failure says '$text'"
[ -n "$text" ] || fail "empty message"
dismiss_message_box
expect_input_page
rm -f "$temp/installer_standin.cfg"
ls "$temp"/tl_*.exe >/dev/null 2>&1 && fail "a failed installer file was left behind"
echo "install failures passed"
