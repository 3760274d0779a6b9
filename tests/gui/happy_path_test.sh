#!/usr/bin/env bash
# A user types three fields and presses the download button: the wizard signs up, downloads the
# installer, installs it silently, starts the installed application and ends with exit code 0.
source "$(dirname "$0")/lib.sh"
install_dir="C:\\TradeloomTest\\happy"
export TL_INSTALL_DIR="$install_dir"
app_dir="$WINEPREFIX/drive_c/TradeloomTest/happy"
rm -rf "$app_dir"

files_start
cp "$TL_BUILD/tests/peers/installer_standin.exe" "$OUT/files/setup.exe"
signup_start "success||http://localhost:$FILES_PORT/files/setup.exe"
rm -f "$(wine_temp)"/tl_*.exe
gui_start
fill_and_download "Anna" "Schmidt" "anna.schmidt@example.com"
gui_shot after-press
wait_wizard_exit
expect_eq "exit code" 0 "$WIZ_EXIT"
gui_shot ended

grep -q "tlfFirstName=Anna&tlfLastName=Schmidt&tlfEmail=anna.schmidt%40example.com&tlfModuleName=mercantix_tradeloom&tlfSubmitted=1&tlfComments=Mercantix+mini-installer" \
  "$OUT/signup-posted.txt" || fail "the sign-up body was not the six fields: $(cat "$OUT/signup-posted.txt")"
[ -f "$app_dir/started.txt" ] || fail "the installed application was not started"
expect_eq "application command line" "\"$install_dir\\Mercantix_Manager.exe\"" "$(tr -d '\r\n' < "$app_dir/started.txt")"
ls "$(wine_temp)"/tl_*.exe >/dev/null 2>&1 || fail "the installer file is not left in the temporary folder"
echo "happy path passed"
