#!/usr/bin/env bash
# A whole successful run: signed up, downloaded, installed, started; every event delivered.
source "$(dirname "$0")/lib.sh"
fresh_prefix
stats_start
files_start
signup_start "$(offer_installer)"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
wait_wizard_exit
expect_eq "exit code" 0 "$WIZ_EXIT"
application_started || fail "the application did not start"
start_and_close
for event in "^app-start" "^RequestLicense +FullTime" "^RequestLicense +Result = success" "^Downloading +Begin = 1" \
             "^Downloading +End = 1" "^Downloading +FullTime" "^Installation +OverallTime" "^app-finish"; do
  [ "$(count_events "$event")" -ge 1 ] || fail "no event '$event' arrived"
done
expect_eq "app-failure events" 0 "$(count_events '^app-failure')"
echo "success scenario passed"
