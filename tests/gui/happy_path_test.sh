#!/usr/bin/env bash
# A user types three fields and presses the download button: the wizard signs up, downloads the
# installer (resuming it once after the connection drops), installs it silently, starts the installed
# application and ends with exit code 0. Return and Space pressed again and again (and Return held down)
# while the steps run start nothing more.
source "$(dirname "$0")/lib.sh"
install_dir="C:\\TradeloomTest\\happy"
export TL_INSTALL_DIR="$install_dir"
app_dir="$WINEPREFIX/drive_c/TradeloomTest/happy"
rm -rf "$app_dir"

rm -rf "$(stats_data_folder)"  # earlier tests' runs would be delivered too
stats_start
files_start
cp "$TL_BUILD/tests/peers/installer_standin.exe" "$OUT/files/setup.exe"
echo '[{"body": "success||http://localhost:'$FILES_PORT'/files/setup.exe?rate=1000000&cut=40000&first=1", "delay": 1.5}]' > "$OUT/replies.json"
signup_start "@$OUT/replies.json"
rm -f "$(wine_temp)/installer_standin.log"
echo sleep1500 > "$(wine_temp)/installer_standin.cfg"
gui_start
fill_and_download "Anna" "Schmidt" "anna.schmidt@example.com"
gui_shot after-press
xdotool keydown Return; sleep 1; xdotool keyup Return
for _ in $(seq 60); do
  kill -0 "$WIZ_PID" 2>/dev/null || break
  xdotool key Return space
  sleep 0.1
done
wait_wizard_exit
rm -f "$(wine_temp)/installer_standin.cfg"
expect_eq "sign-up requests" 1 "$(wc -l < "$OUT/signup-posted.txt")"
expect_eq "download requests (the first cut short, the second resuming)" 2 "$(wc -l < "$OUT/files-requests.txt")"
expect_eq "installer runs" 1 "$(wc -l < "$(wine_temp)/installer_standin.log")"
# It ran from a folder of its own below the Windows temporary folder, and nothing of it stays.
grep -q -i -E '^"C:\\windows\\temp\\tl-[0-9A-F]{32}\\tl_[0-9A-F]{1,4}\.exe" /VERYSILENT' "$(wine_temp)/installer_standin.log" ||
  fail "the installer ran as $(cat "$(wine_temp)/installer_standin.log")"
# Its temporary files went to that folder too, and its current folder was the system folder: not the user's.
folder=$(tr -d '\r' < "$(wine_temp)/installer_standin.log" | sed -E 's/^"(.*)\\[^\\]*" .*/\1/')
expect_eq "the installer's temporary and current folders" "$folder\\|C:\\windows\\system32" \
  "$(tr -d '\r\n' < "$(wine_temp)/installer_standin.where")"
[ -z "$(installer_folders)" ] || fail "the installer's folder stayed: $(installer_folders)"
expect_eq "exit code" 0 "$WIZ_EXIT"
gui_shot ended

grep -q "tlfFirstName=Anna&tlfLastName=Schmidt&tlfEmail=anna.schmidt%40example.com&tlfModuleName=mercantix_tradeloom&tlfSubmitted=1&tlfComments=Mercantix+mini-installer" \
  "$OUT/signup-posted.txt" || fail "the sign-up body was not the six fields: $(cat "$OUT/signup-posted.txt")"
wait_file "$app_dir/started.txt" || fail "the installed application was not started"
expect_eq "application command line" "\"$install_dir\\Mercantix_Manager.exe\"" "$(tr -d '\r\n' < "$app_dir/started.txt")"
# Started by the desktop shell with the user's rights, not by the elevated wizard.
expect_eq "the application's parent" "explorer.exe" "$(tr -d '\r\n' < "$app_dir/parents.txt")"

# The run's statistics: what the close wrote into package files is delivered by the next start, and
# a run that was closed is not reported as a crash. That second run is closed with Alt+F4, which must
# end it within about two seconds.
gui_start
sleep 5
start=$(date +%s%N)
xdotool key alt+F4
wait_wizard_exit
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
expect_eq "exit code of the closed window" 0 "$WIZ_EXIT"
[ "$elapsed" -lt 2500 ] || fail "closing took $elapsed ms"
echo "ok: closing took $elapsed ms"
stats_events > "$OUT/statistics-events.txt"
for line in "RequestLicense +FullTime = [0-9]+" "RequestLicense +Result = success" "Downloading +Begin = 1" \
            "Downloading +End = 1" "Downloading +FullTime = [0-9]+" "Installation +OverallTime = [0-9]+" \
            "Downloading +RetryCount = 1" "Downloading +ResumedBytes = 40000"; do
  grep -Eq "^$line\$" "$OUT/statistics-events.txt" || fail "the event '$line' did not arrive"
done
expect_eq "app-finish events" 2 "$(grep -c '^app-finish' "$OUT/statistics-events.txt")"
expect_eq "app-failure events" 0 "$(grep -c '^app-failure' "$OUT/statistics-events.txt" || true)"
grep -q '^invalid' "$OUT/statistics-verdicts.txt" && fail "a package was not well-formed XML"
echo "happy path passed"
