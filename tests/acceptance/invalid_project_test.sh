#!/usr/bin/env bash
# The statistics service answers "Invalid project" (10): every stored package is deleted and nothing
# more is sent in that run; the wizard itself works on. Later events are still kept for later runs.
source "$(dirname "$0")/lib.sh"
fresh_prefix
stats_start --results 10
files_start
signup_start "$(offer_installer)"
gui_start
sleep 5
fill_and_download "Anna" "Schmidt" "anna@example.com"
wait_wizard_exit
expect_eq "exit code" 0 "$WIZ_EXIT"
application_started || fail "the application did not start"
expect_eq "deliveries" 1 "$(wc -l < "$OUT/statistics-verdicts.txt")"
if grep -l "app-start" "$(stats_data_folder)"/*/*/event-*.xml 2>/dev/null; then
  fail "the package the service refused was kept"
fi
echo "invalid project scenario passed"
