#!/usr/bin/env bash
# A whole successful run: signed up, downloaded, installed, started; every event delivered. The wizard
# starts as users start it, from a downloads folder that also holds DLLs named like those it loads, with
# Wine told to search for them as Windows does (the program's folder first): none of them is loaded.
source "$(dirname "$0")/lib.sh"
fresh_prefix
stats_start
files_start
signup_start "$(offer_installer)"
downloads="$OUT/Downloads"
mkdir -p "$downloads"
cp "$TL_BUILD/wizard/TradeloomSetup.exe" "$downloads/"
for dll in wininet wintrust oleacc; do cp "$TL_BUILD/tests/peers/planted_dll.dll" "$downloads/$dll.dll"; done
export WIZARD_EXE="$downloads/TradeloomSetup.exe" TL_PLANTED_LOG="$(winpath "$OUT/planted.log")"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wininet,wintrust,oleacc=n,b"
gui_start
gui_shot started-from-downloads
expect_eq "what a screen reader gets of the first field" "42|First Name:|" "$(reader_sees editFirstName)"
fill_and_download "Anna" "Schmidt" "anna@example.com"
wait_wizard_exit
[ ! -s "$OUT/planted.log" ] || fail "the wizard loaded DLLs from its folder: $(iconv -f UTF-16LE -t UTF-8 "$OUT/planted.log")"
expect_eq "exit code" 0 "$WIZ_EXIT"
application_started || fail "the application did not start"
start_and_close 5
for event in "^app-start" "^RequestLicense +FullTime" "^RequestLicense +Result = success" "^Downloading +Begin = 1" \
             "^Downloading +End = 1" "^Downloading +FullTime" "^Installation +OverallTime" "^app-finish"; do
  [ "$(count_events "$event")" -ge 1 ] || fail "no event '$event' arrived"
done
expect_eq "app-failure events" 0 "$(count_events '^app-failure')"
echo "success scenario passed"
