#!/usr/bin/env bash
# The statistics service is down during a whole run; its events wait in package files and the next
# run delivers them. (The service's settings are known from an earlier run: without any, the tracker
# collects nothing, as the service has not said it may.) A service that never answers and a machine
# query that hangs hold no close.
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

# A service too slow for the close: the window goes at once and the tracker finishes behind it; closes
# that arrive meanwhile add nothing. The finish cannot deliver in its time, so its events stay stored.
peers_stop
stats_start --send-delay 20
gui_start
sleep 3
# Waits for the hidden window before the close, as a Wine process takes longer to start than the finish.
"$WINE" "$TL_BUILD/tests/tools/wininspect.exe" "$TITLE" --close >"$OUT/closes.txt" 2>&1 &
closer=$!
sleep 2
xdotool key alt+F4
wait "$closer" || fail "$(cat "$OUT/closes.txt")"
echo "ok: $(tr -d '\r' <"$OUT/closes.txt")"
wait_wizard_exit
expect_eq "exit code of the closed window" 0 "$WIZ_EXIT"
expect_eq "stored finish events" 1 "$(cat "$(stats_data_folder)"/*/*/event-*.xml | grep -o 'app-finish' | wc -l)"

# A service that never answers, on a machine whose WMI never answers either (its scripting library
# replaced by one that hangs, as on a PC with a damaged WMI repository): the window still shows and
# closes, the process ends within a few seconds of the close, and the next run delivers that run's
# events, reporting no failure.
peers_stop
stats_start --settings-delay 600
wbem="$WINEPREFIX/drive_c/windows/system32/wbem"
# Wine's own library may have no file there (it is built in): then there is nothing to put back.
rm -f "$OUT/wbemdisp.dll.saved"
[ ! -f "$wbem/wbemdisp.dll" ] || cp "$wbem/wbemdisp.dll" "$OUT/wbemdisp.dll.saved"
cp "$TL_BUILD/tests/peers/hung_wmi.dll" "$wbem/wbemdisp.dll"
overrides="$WINEDLLOVERRIDES"
export WINEDLLOVERRIDES="$overrides;wbemdisp=n"
keys() { ls "$(stats_data_folder)"/*/*/installation.key 2>/dev/null | wc -l; }
expect_eq "kept installation identifiers while the machine answers" 0 "$(keys)"
gui_start
for _ in $(seq "$(slow 150)"); do ls "$(stats_data_folder)"/*/*/proc-* >/dev/null 2>&1 && break; sleep 0.1; done
ls "$(stats_data_folder)"/*/*/proc-* >/dev/null 2>&1 || fail "the tracker did not start beside the hung machine query"
sleep "$(slow 1)"
xdotool key alt+F4
closed_at=$SECONDS
wait_wizard_exit
export WINEDLLOVERRIDES="$overrides"
rm -f "$wbem/wbemdisp.dll"
[ ! -f "$OUT/wbemdisp.dll.saved" ] || cp "$OUT/wbemdisp.dll.saved" "$wbem/wbemdisp.dll"
expect_eq "exit code beside a hung service and a hung machine query" 0 "$WIZ_EXIT"
expect_eq "kept installation identifiers once the machine query hung" 1 "$(keys)"
[ $((SECONDS - closed_at)) -le "$(slow 15)" ] || fail "the close took $((SECONDS - closed_at)) s"
echo "ok: the process ended $((SECONDS - closed_at)) s after the close"
peers_stop
rm -rf "$OUT/statistics"
stats_start
start_and_close 5
# The hung run's events carry the identifier it kept in "installation.key"; every other run's come from WMI.
guid=$(grep -ao '{[0-9A-F-]*}' "$(stats_data_folder)"/*/*/installation.key)
hung_run_events=$(python3 - "$OUT/statistics" "$guid" <<'EOF_PY'
import glob, sys, xml.etree.ElementTree as ElementTree
names = [event.get("name") for name in glob.glob(sys.argv[1] + "/package-*.xml")
         for event in ElementTree.parse(name).getroot().iter("event") if event.get("installation") == sys.argv[2]]
print(",".join(sorted(names)))
EOF_PY
)
expect_eq "the hung run's events, delivered by the next run" "app-finish,app-start" "$hung_run_events"
expect_eq "app-failure events after the hung run" 0 "$(count_events '^app-failure')"
echo "service down scenario passed"
