# Whole-system scenarios: each starts from a fresh Wine prefix of its own, with the stand-ins of the
# sign-up service, the installer download and the statistics service on the test build's ports.
source "$(dirname "${BASH_SOURCE[0]}")/../gui/lib.sh"
export TL_INSTALL_DIR='C:\Program Files\Tradeloom'
OWN_PREFIX="$TL_BUILD/acceptance/$TEST_NAME"

fresh_prefix() {
  source "$TL_SOURCE_DIR/scripts/wine-env.sh"
  tl_new_prefix "$OWN_PREFIX"
  tl_start_wineserver
  tl_trust_test_ca
}

acceptance_exit() {
  local code=${1:-$?}
  gui_stop
  peers_stop
  WINEPREFIX="$OWN_PREFIX" /usr/lib/wine/wineserver -k 2>/dev/null || true
  # A passed scenario's prefix is not needed any more (about 700 MB each).
  [ "$code" = 0 ] && rm -rf "$OWN_PREFIX"
  exit "$code"
}
trap acceptance_exit EXIT

# The installer offered by the sign-up service, and a reply that points at it.
offer_installer() {  # [query]
  cp "$TL_BUILD/tests/peers/installer_standin.exe" "$OUT/files/setup.exe"
  echo "success||http://localhost:$FILES_PORT/files/setup.exe${1:+?$1}"
}

started_file() { echo "$WINEPREFIX/drive_c/Program Files/Tradeloom/started.txt"; }
application_started() { wait_file "$(started_file)"; }
application_not_started() { [ ! -f "$(started_file)" ]; }

# Starts the wizard, waits for its delivery of what the earlier runs left, closes it with Alt+F4. Without
# seconds it waits until every earlier run's last event (app-finish) has arrived, at most 15 s scaled;
# with seconds, those (scaled), for runs that never ended as they should.
start_and_close() {  # [seconds]
  gui_start
  if [ -n "${1:-}" ]; then
    sleep "$(slow "$1")"
  else
    for _ in $(seq "$(slow 75)"); do
      [ "$(count_events '^app-finish')" -ge $((WIZ_RUNS - 1)) ] && break
      sleep 0.2
    done
  fi
  xdotool key alt+F4
  wait_wizard_exit
}

count_events() { stats_events | grep -Ec "$1" || true; }
