# Figure 4, the statistics tracker (sourced by bench/run.sh): events per second and the flush of 20000
# queued events from the tracker's own benchmark (bench/tracker), and the CPU time of the threads the
# tracker starts over 60 idle seconds. The idle measurement runs in the background from the start of
# the benchmarks (it only waits), so that it adds no minute to the run.

tracker_idle_start() {
  TRACKER_IDLE_PID=""
  [ -f "$BENCH_BIN/bench_tracker_cost.exe" ] || return 0
  "$WINE" "$BENCH_BIN/bench_tracker_cost.exe" idle "localhost:$BENCH_STAT_PORT" "${TL_BENCH_IDLE_SECONDS:-60}" \
    </dev/null >"$BENCH_WORK/tracker-idle.txt" 2>&1 &
  TRACKER_IDLE_PID=$!
}

# first_match <text> <sed expression>: the first line the expression turns into numbers.
first_match() { echo "$1" | sed -n "$2" | head -1; }

tracker_speed_rows() {
  local output events flush floor ours plain files
  output=$("$WINE" "$BENCH_BIN/bench_tracker.exe" </dev/null | tr -d '\r' | log tracker)
  events=$(first_match "$output" \
    's|^TrackEventValue: *\([0-9.]*\) events/s *reference[^:]*: *\([0-9.]*\) events/s.*|\1 \2|p')
  flush=$(first_match "$output" \
    's|^Final flush of 20000 events.*: *\([0-9.]*\) ms *reference[^:]*: *\([0-9.]*\) ms.*|\1 \2|p')
  floor=$(first_match "$output" \
    's|^ *the same bytes in \([0-9]*\) files, one WriteFile each: *\([0-9.]*\) ms.*|\1 \2|p')
  if [ -n "$events" ]; then
    read -r ours plain <<< "$events"
    row "4 Tracker: TrackEventValue on the GUI thread" "$(fmt "$ours" 0) events/s" "plain appends $(fmt "$plain" 0)/s" \
      "$(ratio "$ours" "$plain")" ">= 100000/s" "$(holds "$ours" ">=" 100000)"
  else
    row "4 Tracker: TrackEventValue on the GUI thread" "unreadable (raw/tracker.txt)" "-" "-" ">= 100000/s" "?"
  fi
  if [ -z "$flush" ]; then
    row "4 Tracker: flush of 20000 queued events" "unreadable (raw/tracker.txt)" "-" "-" "<= 3" "?"
    return 0
  fi
  read -r ours plain <<< "$flush"
  row "4 Tracker: flush of 20000 queued events" "$(fmt "$ours") ms" "one WriteFile $(fmt "$plain") ms" \
    "$(ratio "$ours" "$plain")" "<= 3" "$(holds "$(ratio "$ours" "$plain" 4)" "<=" 3)"
  if [ -n "$floor" ]; then
    read -r files floor <<< "$floor"
    note "4 The flush's floor, the same bytes written into as many files ($files) with one WriteFile each:" \
      "$(fmt "$floor") ms; flush / floor $(ratio "$ours" "$floor")."
  fi
  return 0
}

tracker_idle_row() {
  local line cpu wall percent seconds
  wait "$TRACKER_IDLE_PID" || true
  line=$(tr -d '\r' < "$BENCH_WORK/tracker-idle.txt" | log tracker | tail -1)
  cpu=$(field cpu_ms "$line") wall=$(field wall_ms "$line")
  if [ -z "$cpu" ]; then
    row "4 Tracker: CPU of its threads, idle" "failed (raw/tracker.txt)" "-" "-" "< 0.5 %" "?"
    return 0
  fi
  percent=$(awk -v c="$cpu" -v w="$wall" 'BEGIN { printf "%.3f", 100 * c / w }')
  seconds=$(awk -v w="$wall" 'BEGIN { printf "%.0f", w / 1000 }')
  row "4 Tracker: CPU of its threads over $seconds idle s" "$(fmt "$cpu" 0) ms" "one core $(fmt "$wall" 0) ms" \
    "$percent %" "< 0.5 %" "$(holds "$percent" "<" 0.5)"
  note "4 Thread CPU times under Wine come in 10 ms steps (the kernel's clock ticks): 0 ms means less than" \
    "10 ms in $seconds s."
}

measure_tracker() {
  if [ -f "$BENCH_BIN/bench_tracker.exe" ]; then
    tracker_speed_rows
  else
    row "4 Tracker: events per second, flush" "not built yet" "-" "-" "-" "-"
  fi
  if [ -n "${TRACKER_IDLE_PID:-}" ]; then
    tracker_idle_row
  else
    row "4 Tracker: CPU of its sending thread, idle" "not built yet" "-" "-" "< 0.5 %" "-"
  fi
}
