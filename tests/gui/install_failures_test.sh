#!/usr/bin/env bash
# An installation that fails is reported and brings the input page back; the next attempt shows the
# sign-up step without a Cancel button, sized by the marquee bar. A download that is not the vendor's
# complete, signed installer never runs: the wizard says why, deletes it and counts a failed download. An
# installation that needs a restart says so and asks; "No" closes the wizard without starting the application.
source "$(dirname "$0")/lib.sh"
export TL_INSTALL_DIR="C:\\TradeloomTest\\failures"
rm -rf "$(stats_data_folder)"
stats_start
files_start
signed="$TL_BUILD/tests/peers/installer_standin.exe"
cp "$signed" "$OUT/files/setup.exe"
printf 'not a program' > "$OUT/files/text.exe"
osslsigncode remove-signature -in "$signed" -out "$OUT/files/unsigned.exe" >/dev/null
cp "$TL_BUILD/tests/peers/installer_standin_foreign.exe" "$OUT/files/foreign.exe"
python3 - "$signed" "$OUT/files" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
open(sys.argv[2] + "/half.exe", "wb").write(data[: len(data) // 2])
data[len(data) // 2] ^= 0x20
open(sys.argv[2] + "/tampered.exe", "wb").write(data)
PY
temp="$(wine_temp)"
rm -f "$temp/installer_standin.log"
refused=(text unsigned tampered foreign half)
{
  echo "[\"success||http://localhost:$FILES_PORT/files/setup.exe\""
  # The first refused one comes late, so that its sign-up step can be looked at.
  for name in "${refused[@]}"; do
    echo ", {\"body\": \"success||http://localhost:$FILES_PORT/files/$name.exe\", \"delay\": ${delay:-2}}"
    delay=0
  done
  echo ", \"success||http://localhost:$FILES_PORT/files/setup.exe\"]"
} > "$OUT/replies.json"
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
runs=$(wc -l < "$temp/installer_standin.log")

# The second attempt in the same window: the sign-up step without Cancel and 69 pixels below. From here
# on each download is refused before it runs.
damaged="The downloaded installer is damaged, so it was not run. Please try again."
foreign="The downloaded installer is not signed by Tradeloom Test Publisher, so it was not run. Please try again later."
first=1
for name in "${refused[@]}"; do
  gui_click btDownload
  if [ "$first" = 1 ]; then
    wait_field tsProgressMarq 3 1
    expect_soon "marquee page without Cancel" "519,243" client_size
    gui_shot second-attempt
    first=0
  fi
  case "$name" in unsigned|foreign) want="$foreign" ;; *) want="$damaged" ;; esac
  expect_eq "refusal of $name.exe" "$want" "$(wait_message_box)"
  gui_shot "refused-$name"
  dismiss_message_box
  expect_input_page
  [ -z "$(installer_folders)" ] || fail "the refused $name.exe was left behind"
  expect_eq "installer runs after $name.exe" "$runs" "$(wc -l < "$temp/installer_standin.log")"
done

# Installed, but Windows must restart to finish: the installer got the switches that keep it from
# restarting by itself, and the user is asked.
echo reboot > "$temp/installer_standin.cfg"
gui_click btDownload
expect_eq "restart question" "Windows must be restarted to finish the installation of Tradeloom. Do you want to restart now?" \
  "$(wait_message_box)"
gui_shot restart-question
grep -q -E '" /VERYSILENT /NORESTART /RESTARTEXITCODE=3010$' <(tr -d '\r' < "$temp/installer_standin.log") ||
  fail "the installer's command line was $(tail -1 "$temp/installer_standin.log")"
for id in $(xdotool search --onlyvisible --name "^$TITLE\$" 2>/dev/null); do
  [ "$id" == "$WID" ] || { xdotool windowfocus --sync "$id"; xdotool key n; }
done
wait_wizard_exit
expect_eq "exit code after the restart question" 0 "$WIZ_EXIT"
[ -z "$(installer_folders)" ] || fail "the installer's folder stayed after the installation"
[ -f "$WINEPREFIX/drive_c/TradeloomTest/failures/Mercantix_Manager.exe" ] || fail "the application was not installed"
sleep 1
[ ! -f "$WINEPREFIX/drive_c/TradeloomTest/failures/started.txt" ] || fail "the application started before the restart"
rm -f "$temp/installer_standin.cfg"

# The next start delivers what the close stored: one failed download for each refusal, no other outcome.
gui_start
sleep 4
xdotool key alt+F4
wait_wizard_exit
expect_eq "failed downloads counted" "${#refused[@]}" "$(stats_events | grep -Ec '^Downloading +ErrorCount = 1$' || true)"
expect_eq "complete downloads counted" 2 "$(stats_events | grep -Ec '^Downloading +End = 1$' || true)"
expect_eq "installations that need a restart" 1 "$(stats_events | grep -Ec '^Installation +RestartRequired = 1$' || true)"
echo "install failures passed"
