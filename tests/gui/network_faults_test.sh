#!/usr/bin/env bash
# A hostile sign-up reply and a download cut short on every try by a server that cannot resume: each
# ends in a clear message on the input page, and no partial installer is left behind or run.
source "$(dirname "$0")/lib.sh"
install_dir="C:\\TradeloomTest\\network-faults"
export TL_INSTALL_DIR="$install_dir"
app_dir="$WINEPREFIX/drive_c/TradeloomTest/network-faults"
rm -rf "$app_dir"
temp="$(wine_temp)"

files_start
cp "$TL_BUILD/tests/peers/installer_standin.exe" "$OUT/files/setup.exe"
size=$(stat -c %s "$OUT/files/setup.exe")
cat > "$OUT/replies.json" <<JSON
[{"size": 2000000},
 "success||http://localhost:$FILES_PORT/files/setup.exe?cut=100000&range=ignore"]
JSON
signup_start "@$OUT/replies.json"
gui_start

# A sign-up reply beyond 1 MiB is not read into memory.
fill_and_download "Anna" "Schmidt" "anna@example.com"
expect_eq "too large reply" "Reply is too large" "$(wait_message_box)"
gui_shot reply-too-large
dismiss_message_box
expect_input_page

# The installer's connection drops after 100000 bytes on every try: the wizard says it tries again,
# then gives up with the last error; the part is not taken for an installer.
xdotool key space  # the download button still has the focus
wait_field lbProcess 7 "Connection lost, trying again (4 of 4)"
gui_shot trying-again-last
expect_eq "cut download" "The download is incomplete: 100000 of $size bytes arrived" "$(wait_message_box)"
gui_shot download-cut
dismiss_message_box
expect_input_page
[ -z "$(installer_folders)" ] || fail "the partial installer was left behind"
[ -e "$app_dir" ] && fail "the partial installer was run"
echo "network faults passed"
