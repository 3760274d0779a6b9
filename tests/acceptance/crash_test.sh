#!/usr/bin/env bash
# The wizard is killed in the middle of a download; the next run reports that run as "app-failure",
# exactly once, and a third run reports nothing more.
source "$(dirname "$0")/lib.sh"
fresh_prefix
stats_start
files_start
signup_start "success||http://localhost:$FILES_PORT/gen/20000000?rate=500000"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
wait_field tsProgress 3 1
sleep 3
kill -9 "$WIZ_PID"  # ends the Windows process as a crash would: nothing runs after it
wait "$WIZ_PID" 2>/dev/null || true
WIZ_PID=""
sleep 1
start_and_close 5
expect_eq "app-failure events after the crash" 1 "$(count_events '^app-failure')"
start_and_close 5
expect_eq "app-failure events after one more run" 1 "$(count_events '^app-failure')"
[ "$(count_events '^Downloading +Begin = 1')" -ge 1 ] || fail "the crashed run's events before the crash were lost"
echo "crash scenario passed"
