#!/usr/bin/env bash
# The demo of the main job: builds the wizard, starts the loopback stand-ins of the outside services
# (the sign-up service over HTTPS, the installer download, the statistics service), runs the wizard
# under Wine on a virtual display, types the three fields as a person would, presses the download button
# and follows the run to the started application. Screenshots of every state go to out/demo/, and a
# short report is printed at the end.
# TL_DEMO_VISIBLE=1 runs it on your own display (DISPLAY) so that you can watch, or type yourself with
# TL_DEMO_MANUAL=1.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
cmake --preset demo >/dev/null
cmake --build --preset demo

export TL_BUILD="$root/build/x64"
source scripts/wine-env.sh
out="$root/out/demo"
rm -rf "$out"
mkdir -p "$out/files" "$out/statistics"
tl_new_prefix "$TL_BUILD/demo-prefix"
if [ "${TL_DEMO_VISIBLE:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
  echo "demo: running on your display $DISPLAY"
else
  tl_start_display 95
fi
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  tl_stop_wineserver
  tl_stop_display
}
trap cleanup EXIT
tl_start_wineserver
tl_trust_test_ca

# The stand-ins, on the fixed ports the demo build's endpoints name.
peers="$root/tests/peers"
cp "$TL_BUILD/tests/peers/installer_standin.exe" "$out/files/TradeloomSetupFull.exe"
installer_size=$(stat -c %s "$out/files/TradeloomSetupFull.exe")
rate=$((installer_size / 5))  # about five seconds of download, so the gauge and the slides can be seen
python3 "$peers/file_server.py" --port 18080 --root "$out/files" --record "$out/download-requests.txt" \
  --time-limit 600 >"$out/files.log" 2>&1 &
pids+=($!)
# The reply takes two seconds, as a real service's can, so that the sign-up page can be seen.
cat > "$out/signup-replies.json" <<JSON
[{"delay": 2, "body": "success||http://localhost:18080/files/TradeloomSetupFull.exe?rate=$rate"}]
JSON
python3 "$peers/signup_service.py" --port 18443 --cert "$TL_BUILD/certs/server.pem" \
  --replies "$out/signup-replies.json" \
  --record "$out/signup-posted.txt" --time-limit 600 >"$out/signup.log" 2>&1 &
pids+=($!)
python3 "$peers/stat_service.py" --port 18082 --packages-dir "$out/statistics" \
  --packages "$out/statistics-verdicts.txt" --time-limit 600 >"$out/statistics.log" 2>&1 &
pids+=($!)
sleep 1

export TL_INSTALL_DIR='C:\Program Files\Tradeloom'
# The installer stand-in takes its time, as a real installation does, so that its page can be seen. Its
# settings are in the user's temporary folder: the wizard runs it from a protected folder of its own.
export TL_STANDIN_FOLDER="C:\\users\\$(id -un)\\Temp"
echo sleep2500 > "$WINEPREFIX/drive_c/users/$(id -un)/Temp/installer_standin.cfg"
title="Tradeloom for Mercantix Setup"
shot() {  # the window with a margin, and whatever floats over it
  local X Y WIDTH HEIGHT
  if ! eval "$(xdotool getwindowgeometry --shell "$wid" 2>/dev/null)" || [ -z "${WIDTH:-}" ]; then
    import -window root "$out/$1.png"  # the window has gone: the whole screen
    echo "demo: screenshot $1"
    return
  fi
  import -window root -crop "$((WIDTH + 80))x$((HEIGHT + 80))+$((X - 40))+$((Y - 40))" +repage "$out/$1.png"
  echo "demo: screenshot $1"
}
# One look at the window per step, so that what is read together belongs to the same moment.
snapshot() { "$WINE" "$TL_BUILD/tests/tools/wininspect.exe" "$title" 2>/dev/null | tr -d '\r'; }
state() {  # the name of the bottom page that shows
  awk -F'|' '($1 == "tsInput" || $1 == "tsProgress" || $1 == "tsProgressMarq") && $3 == 1 { print $1 }' <<< "$1"
}
field() { awk -F'|' -v n="$2" '$1 == n { print $7 }' <<< "$1"; }

"$WINE" "$TL_BUILD/wizard/TradeloomSetup.exe" </dev/null >"$out/wizard.log" 2>&1 &
wizard=$!
wid=""
for _ in $(seq 100); do
  wid=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1 || true)
  [ -n "$wid" ] && break
  sleep 0.2
done
[ -n "$wid" ] || { echo "demo: the wizard window did not appear" >&2; exit 1; }
xdotool windowfocus --sync "$wid"
sleep 1
shot 01-input-page

if [ "${TL_DEMO_MANUAL:-0}" = 1 ]; then
  echo "demo: type the fields and press the button in the window"
else
  for text in "Anna" "Schmidt" "anna.schmidt@example.com"; do
    xdotool type --delay 90 "$text"
    xdotool key Return  # Enter moves on to the next field, and on the button presses it
  done
  shot 02-input-filled
  started=$(date +%s.%N)
  xdotool key Return
fi

seen_download=0 seen_signup=0 seen_install=0
while kill -0 "$wizard" 2>/dev/null; do
  now=$(snapshot)
  case "$(state "$now")" in
    tsProgressMarq)
      if [ "$(field "$now" lbProgressMarguee)" = "Installing" ]; then
        [ $seen_install = 0 ] && { seen_install=1; shot 05-installing; }
      elif [ $seen_signup = 0 ]; then
        seen_signup=1; shot 03-sending-request
      fi ;;
    tsProgress)
      if [ $seen_download = 0 ] && [ "$(field "$now" prMain)" != "0%" ]; then
        seen_download=1; sleep 1.5; shot 04-downloading
      fi ;;
  esac
  sleep 0.2
done
wait "$wizard" && code=0 || code=$?
ended=$(date +%s.%N)
sleep 1
shot 06-application-started

# The run wrote its last events into a package file as it closed; the tracker delivers stored packages
# at its next start. Start the wizard once more and close it, as a user who runs it again would.
"$WINE" "$TL_BUILD/wizard/TradeloomSetup.exe" </dev/null >>"$out/wizard.log" 2>&1 &
second=$!
for _ in $(seq 100); do
  wid=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1 || true)
  [ -n "$wid" ] && break
  sleep 0.2
done
sleep 5  # the first delivery of a run waits a little after its start
[ -n "$wid" ] && xdotool windowfocus --sync "$wid" key alt+F4 || true
wait "$second" || true

echo
echo "==== Demo report ===="
echo "Sign-up service received:"
sed 's/^/  /' "$out/signup-posted.txt" | cut -c1-200
signer=$(osslsigncode verify -CAfile "$TL_BUILD/certs/trusted-ca.pem" -in "$out/files/TradeloomSetupFull.exe" 2>/dev/null |
  sed -n 's|.*Subject: .*CN=||p' | head -1)
echo "Installer offered: Authenticode-signed by \"$signer\" (the wizard checks signature and signer before it runs it)"
echo "Download: $installer_size bytes; the whole run took $(python3 -c "print(round($ended - ${started:-$ended}, 1))") s from the button to the end"
app="$TL_BUILD/demo-prefix/drive_c/Program Files/Tradeloom/started.txt"
if [ -f "$app" ]; then
  echo "Installed application started: $(tr -d '\r' < "$app"), by $(tr -d '\r' < "$(dirname "$app")/parents.txt")"
else
  echo "Installed application: NOT started"
fi
echo "Wizard exit code: $code"
echo "Statistics events received by the statistics service (event, parameter, value):"
python3 "$peers/stat_report.py" "$out/statistics" --brief | cut -c1-110 | sed 's/^/  /'
echo "Packages delivered: $(wc -l < "$out/statistics-verdicts.txt" 2>/dev/null || echo 0) ($(grep -c '^valid' "$out/statistics-verdicts.txt" 2>/dev/null || echo 0) well-formed)"
echo "Screenshots: $out"
