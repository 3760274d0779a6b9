# Figure 6, the whole run (sourced by bench/run.sh): the wizard on the virtual display, its fields typed
# with xdotool, from the press of the download button to the start of the installed application (the
# moment the application stand-in writes "started.txt"), with a 64 MiB installer on the loopback;
# against the sum of the parts measured alone and bare in the same run (the sign-up exchange, the
# download, the installer run with the application start), and the same parts through the wizard's own
# calls. Whole runs and parts take turns; the best of each counts (the one least disturbed by the rest
# of the machine).

BENCH_TITLE="Tradeloom for Mercantix Setup"
BENCH_INSTALL_DIR='C:\TradeloomBench'

# The installer stand-in made 64 MiB long (the bytes after its image are never read), then signed again by
# the test publisher, as the wizard runs only a signed installer: the check of the whole file is measured too.
make_big_installer() {
  local certs="$TL_BUILD/certs"
  osslsigncode remove-signature -in "$BENCH_BIN/installer_standin.exe" -out "$1.unsigned" >/dev/null
  truncate -s $((64 * 1048576)) "$1.unsigned"
  osslsigncode sign -certs "$certs/publisher-chain.pem" -key "$certs/publisher.key" -h sha256 \
    -in "$1.unsigned" -out "$1" >/dev/null
  rm -f "$1.unsigned"
}

install_dir() { echo "$WINEPREFIX/drive_c/TradeloomBench"; }
app_started() { echo "$(install_dir)/started.txt"; }
# fail_run <text>: says why a whole run failed and ends the wizard if it still runs; returns 1.
fail_run() {
  echo "bench: whole run: $*" | tee -a "$BENCH_OUT/raw/wholerun-wizard.log" >&2
  kill "$WIZARD_PID" 2>/dev/null || true
  wait "$WIZARD_PID" 2>/dev/null || true
  return 1
}

# Starts the wizard and waits for its window; sets WIZARD_PID and WIZARD_WINDOW.
start_wizard() {
  local i
  xdotool mousemove 0 0
  TL_INSTALL_DIR="$BENCH_INSTALL_DIR" "$WINE" "$BENCH_BIN/TradeloomSetup.exe" </dev/null \
    >>"$BENCH_OUT/raw/wholerun-wizard.log" 2>&1 &
  WIZARD_PID=$!
  WIZARD_WINDOW=""
  for i in $(seq 100); do
    WIZARD_WINDOW=$(xdotool search --onlyvisible --name "^$BENCH_TITLE\$" 2>/dev/null | head -1 || true)
    [ -n "$WIZARD_WINDOW" ] && return 0
    sleep 0.1
  done
  fail_run "the wizard's window did not appear"
}

# Waits until the wizard has ended and the application it started has written its file.
wait_for_application() {
  local i
  for i in $(seq 600); do kill -0 "$WIZARD_PID" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$WIZARD_PID" 2>/dev/null && { fail_run "the wizard did not finish its run within a minute"; return 1; }
  wait "$WIZARD_PID" || true
  # The wizard starts the application without waiting for it, and ends.
  for i in $(seq 100); do [ -s "$(app_started)" ] && return 0; sleep 0.1; done
  fail_run "the wizard's run did not start the installed application"
}

# One whole run; prints the milliseconds from the press of the button to the application's start.
whole_run_once() {
  local pressed started
  rm -rf "$(install_dir)"
  rm -f "$WINEPREFIX/drive_c/users/$(id -un)/Temp"/tl_*
  start_wizard || return 1
  xdotool windowfocus --sync "$WIZARD_WINDOW"
  sleep 0.5
  xdotool type --delay 10 "Anna"; xdotool key Tab
  xdotool type --delay 10 "Schmidt"; xdotool key Tab
  xdotool type --delay 10 "anna.schmidt@example.com"; xdotool key Tab
  sleep 0.3
  pressed=$(date +%s%N)
  xdotool key space
  wait_for_application || return 1
  started=$(stat -c %.9Y "$(app_started)" | tr -d .)
  awk -v a="$pressed" -v b="$started" 'BEGIN { printf "%.0f\n", (b - a) / 1e6 }'
}

# parts_once <way>: one run of the parts alone, the bare way or through the wizard's own calls.
parts_once() {
  rm -rf "$(install_dir)"
  TL_INSTALL_DIR="$BENCH_INSTALL_DIR" "$WINE" "$BENCH_BIN/bench_wholerun_parts.exe" "$1" \
    "https://localhost:$BENCH_SIGNUP_PORT/store/signup.php" "$BENCH_INSTALLER_URL" \
    "$(winpath "$BENCH_WORK/parts-setup.exe")" "$BENCH_INSTALL_DIR\\Mercantix_Manager.exe" </dev/null |
    tr -d '\r' | log wholerun
}

# best_part <way> <field>: the best of the rounds.
best_part() {
  awk -v w="$1" '$1 == w' "$BENCH_WORK/parts.txt" | while read -r line; do field "$2" "$line"; done | best
}

measure_wholerun() {
  local rounds="${TL_BENCH_WHOLERUN_ROUNDS:-7}" whole way part value added failed=0
  local -A total=([bare]=0 [wizard]=0) detail=([bare]="" [wizard]="")
  mkdir -p "$BENCH_WORK/files"
  make_big_installer "$BENCH_WORK/files/setup.exe"
  BENCH_INSTALLER_URL="http://localhost:$BENCH_FILES_PORT/files/setup.exe"
  serve signup signup_service.py "$BENCH_SIGNUP_PORT" --cert "$TL_BUILD/certs/server.pem" \
    --reply "success||$BENCH_INSTALLER_URL"
  : > "$BENCH_WORK/whole.ms"; : > "$BENCH_WORK/parts.txt"
  # A failed run is told in the notes and made up for, twice at most.
  for _ in $(seq $((rounds + 2))); do
    [ "$(wc -l < "$BENCH_WORK/whole.ms")" -lt "$rounds" ] || break
    if value=$(whole_run_once); then
      echo "$value" | log wholerun >> "$BENCH_WORK/whole.ms"
      for way in bare wizard; do parts_once "$way" >> "$BENCH_WORK/parts.txt"; done
    else
      failed=$((failed + 1))
    fi
  done
  [ -s "$BENCH_WORK/whole.ms" ] || { echo "bench: no whole run succeeded (see raw/wholerun-wizard.log)" >&2; exit 1; }
  [ "$failed" = 0 ] || note "6 $failed whole run(s) failed and were made up for; see raw/wholerun-wizard.log."
  rounds=$(wc -l < "$BENCH_WORK/whole.ms")
  whole=$(best < "$BENCH_WORK/whole.ms")
  for way in bare wizard; do
    for part in signup download install; do
      value=$(best_part "$way" "${part}_ms")
      total[$way]=$(awk -v a="${total[$way]}" -v b="$value" 'BEGIN { print a + b }')
      detail[$way]+="$part $(fmt "$value" 0) ms, "
    done
  done
  row "6 Whole run, button to application start, 64 MiB, best of $rounds" "$(fmt "$whole" 0) ms" \
    "bare parts alone $(fmt "${total[bare]}" 0) ms" "$(ratio "$whole" "${total[bare]}")" "(none given)" "-"
  row "6 The same parts through the wizard's own calls" "$(fmt "${total[wizard]}" 0) ms" \
    "bare parts alone $(fmt "${total[bare]}" 0) ms" "$(ratio "${total[wizard]}" "${total[bare]}")" "-" "-"
  added=$(awk -v w="$whole" -v s="${total[wizard]}" 'BEGIN { print w - s }')
  note "6 Parts alone, best of $rounds each: bare: ${detail[bare]%, }; through the wizard's calls:" \
    "${detail[wizard]%, }. The window, its pages and the slideshow add $(fmt "$added" 0) ms to the wizard's calls."
}
