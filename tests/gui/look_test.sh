#!/usr/bin/env bash
# The look of every state, compared with reference pictures: the input page, the hint on each field,
# the sign-up, download and installation pages, at 96 and at 144 DPI; and a window started at 96 that
# moves to a monitor at 144 looks like one started there, its hint too.
source "$(dirname "$0")/lib.sh"
MARGIN=40
export TL_INSTALL_DIR="C:\\TradeloomTest\\look"
temp="$(wine_temp)"

set_dpi() {
  "$WINE" reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
restore_dpi() {
  local code=$?
  set_dpi 96
  on_exit "$code"
}
trap restore_dpi EXIT

files_start
cp "$TL_BUILD/tests/peers/installer_standin.exe" "$OUT/files/setup.exe"
cat > "$OUT/replies.json" <<JSON
["success||http://localhost:$FILES_PORT/gen/3000000?rate=300000",
 "success||http://localhost:$FILES_PORT/files/setup.exe"]
JSON

run_states() {  # <suffix>: one run through every state
  local s="$1"
  gui_start
  look_matches "input-page$s" editFirstName
  if [ -z "$s" ]; then
    send_dpi 144
    look_matches input-page-144dpi editFirstName
    xdotool type --delay 20 "4"
    wait_hint >/dev/null
    sleep 0.3
    look_matches hint-first-name-144dpi editFirstName
    send_dpi 96
    look_matches hint-first-name editFirstName  # the hint drawn anew at the field's place
  fi

  # A hint on each field.
  xdotool type --delay 20 "4"
  wait_hint >/dev/null
  sleep 0.3
  look_matches "hint-first-name$s" editFirstName
  xdotool type "Anna"; xdotool key Tab
  xdotool type "4"
  wait_hint >/dev/null
  sleep 0.3
  look_matches "hint-last-name$s" editLastName
  xdotool type "Schmidt"; xdotool key Tab
  xdotool type "anna@example"; xdotool key Tab space
  wait_hint >/dev/null
  sleep 0.3
  look_matches "hint-email$s" editEmail

  # Sign-up (slow), then a download half-way with a slide showing.
  xdotool key ctrl+a  # (the focus is on the email field after the hint)
  xdotool type "anna@example.com"; xdotool key Tab space
  wait_field tsProgressMarq 3 1
  look_matches "signup$s" prMainMarquee
  wait_field tsProgress 3 1
  wait_field tsPromo1 3 1
  sleep 4
  look_matches "download$s" prMain lbAmount
  gui_click btCancel
  expect_input_page

  # The installation page: a slow installer.
  echo sleep4000 > "$temp/installer_standin.cfg"
  gui_click btDownload
  wait_field lbProgressMarguee 7 "Installing"
  sleep 0.3
  look_matches "installing$s" prMainMarquee
  wait_wizard_exit
  rm -f "$temp/installer_standin.cfg"
}

signup_replies() {
  peers_stop
  files_start
  cp "$TL_BUILD/tests/peers/installer_standin.exe" "$OUT/files/setup.exe"
  cat > "$OUT/slow.json" <<JSON
[{"body": "success||http://localhost:$FILES_PORT/gen/3000000?rate=300000", "delay": 1.5},
 {"body": "success||http://localhost:$FILES_PORT/files/setup.exe", "delay": 1.5}]
JSON
  signup_start "@$OUT/slow.json"
}

set_dpi 96
signup_replies
run_states ""
set_dpi 144
signup_replies
run_states "-144dpi"
echo "look test passed"
