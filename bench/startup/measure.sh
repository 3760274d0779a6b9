# Figure 1, start-up (sourced by bench/run.sh): from process start to the first paint of the input page,
# timed from outside by the probe, for the wizard, a bare window, the bare window after the wizard's
# platform set-up (its DLLs, manifest, COM, common controls), and that window with the input page's child
# windows made by Windows alone (Wine's share for the windows themselves). Then, to say where the time goes: the
# wizard's own steps timed from inside, and the statistics tracker's Start (with its WMI machine
# identifier) in a fresh process each, as the wizard's window creation runs it.
# The machines are shared and their speed changes from one second to the next; that noise only ever adds
# time, so the best (least disturbed) round of each program counts, over many short rounds.

startup_program() {
  case "$1" in
    bare) echo "$BENCH_BIN/bench_bare_window.exe" ;;
    platform) echo "$BENCH_BIN/bench_platform_window.exe" ;;
    controls) echo "$BENCH_BIN/bench_platform_controls.exe" ;;
    wizard) echo "$BENCH_BIN/TradeloomSetup.exe" ;;
  esac
}

# startup_rounds <rounds>: the programs in turn, a different one first each round.
startup_rounds() {
  local rounds="$1" i way line ways=(bare platform controls wizard)
  for way in "${ways[@]}"; do : > "$BENCH_WORK/startup-$way.ms"; done
  for i in $(seq 0 "$rounds"); do
    for way in "${ways[@]:$((i % ${#ways[@]}))}" "${ways[@]:0:$((i % ${#ways[@]}))}"; do
      line=$("$WINE" "$BENCH_BIN/bench_startup_probe.exe" "$(winpath "$(startup_program "$way")")" </dev/null |
        tr -d '\r' | sed "s/^/$way /" | log startup)
      # Round 0 only warms the file cache.
      [ "$i" = 0 ] || field painted_ms "$line" >> "$BENCH_WORK/startup-$way.ms"
    done
  done
}

# best_field <rounds> <field> <program and arguments...>: the best of one field over fresh processes.
best_field() {
  local rounds="$1" name="$2" i
  shift 2
  for i in $(seq "$rounds"); do
    field "$name" "$("$WINE" "$@" </dev/null | tr -d '\r' | log startup)"
  done | best
}

startup_steps_note() {
  local steps="" name value
  : > "$BENCH_WORK/steps.txt"
  for _ in 1 2 3 4 5; do
    "$WINE" "$BENCH_BIN/bench_startup_steps.exe" </dev/null | tr -d '\r' | log startup >> "$BENCH_WORK/steps.txt"
  done
  for name in entry framework window show after; do
    value=$(while read -r line; do field "${name}_ms" "$line"; done < "$BENCH_WORK/steps.txt" | best)
    steps+="$name $(fmt "$value" 0) ms, "
  done
  note "1 The wizard's start from inside, best of 5 each (process start to entry, framework, window creation" \
    "with FormCreate, show with the first paint, the work posted for after it: the tracker's start): ${steps%, }."
}

# tracker_start_row <wizard ms> <bare ms>
tracker_start_row() {
  local start machineid sum
  if [ ! -f "$BENCH_BIN/bench_tracker_cost.exe" ]; then
    row "1 Tracker's Start" "not built yet" "-" "-" "window not late" "-"
    return 0
  fi
  start=$(best_field 5 start_ms "$BENCH_BIN/bench_tracker_cost.exe" start "localhost:$BENCH_STAT_PORT")
  machineid=$(best_field 5 machineid_ms "$BENCH_BIN/bench_tracker_cost.exe" machineid)
  # The wizard starts its tracker from a message it posts itself once painted (the probe may end it
  # before that message is handled), so the tracker's cost is measured on its own.
  row "1 Tracker's Start on the GUI thread (after the first paint, not in the figure above)" "$(fmt "$start" 0) ms" \
    "wizard start-up $(fmt "$1" 0) ms" "$(ratio "$start" "$1")" "window not late" "-"
  sum=$(awk -v w="$1" -v s="$start" 'BEGIN { print w + s }')
  note "1 The tracker's Start takes $(fmt "$start" 0) ms (best of 5 fresh processes), the WMI machine" \
    "identifier alone $(fmt "$machineid" 0) ms; run before the window shows, it would make the start-up" \
    "$(fmt "$sum" 0) ms, $(ratio "$sum" "$2") x the bare window."
}

measure_startup() {
  local rounds="${TL_BENCH_STARTUP_ROUNDS:-15}" bare platform controls wizard
  startup_rounds "$rounds"
  bare=$(best < "$BENCH_WORK/startup-bare.ms")
  platform=$(best < "$BENCH_WORK/startup-platform.ms")
  controls=$(best < "$BENCH_WORK/startup-controls.ms")
  wizard=$(best < "$BENCH_WORK/startup-wizard.ms")
  row "1 Start-up to first paint, best of $rounds" "$(fmt "$wizard" 0) ms" "bare window $(fmt "$bare" 0) ms" \
    "$(ratio "$wizard" "$bare")" "<= 1.5" "$(holds "$(ratio "$wizard" "$bare" 4)" "<=" 1.5)"
  row "1 Bare window after the wizard's DLLs, COM, comctl 6" "$(fmt "$platform" 0) ms" \
    "bare window $(fmt "$bare" 0) ms" "$(ratio "$platform" "$bare")" "(platform share)" "-"
  row "1 The same with the input page's 8 child windows (Windows' own)" "$(fmt "$controls" 0) ms" \
    "bare window $(fmt "$bare" 0) ms" "$(ratio "$controls" "$bare")" "(platform share)" "-"
  note "1 Medians of the same rounds: wizard $(fmt "$(median < "$BENCH_WORK/startup-wizard.ms")" 0) ms," \
    "bare window $(fmt "$(median < "$BENCH_WORK/startup-bare.ms")" 0) ms," \
    "after the platform set-up $(fmt "$(median < "$BENCH_WORK/startup-platform.ms")" 0) ms," \
    "with the child windows $(fmt "$(median < "$BENCH_WORK/startup-controls.ms")" 0) ms."
  startup_steps_note
  tracker_start_row "$wizard" "$bare"
}
