#!/usr/bin/env bash
# The statistics service is down during a whole run; its events wait in package files and the next
# run delivers them. (The service's settings are known from an earlier run: without any, the tracker
# collects nothing, as the service has not said it may.)
source "$(dirname "$0")/lib.sh"
fresh_prefix
stats_start
start_and_close 3
peers_stop
files_start
signup_start "$(offer_installer)"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
wait_wizard_exit
expect_eq "exit code" 0 "$WIZ_EXIT"
ls "$(stats_data_folder)"/*/*/event-*.xml >/dev/null 2>&1 || fail "no package file kept the events"
stats_start
start_and_close 5
[ "$(count_events '^Installation +OverallTime')" = 1 ] || fail "the events of the run without the service were not delivered"
expect_eq "app-failure events" 0 "$(count_events '^app-failure')"
echo "service down scenario passed"
