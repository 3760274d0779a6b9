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

measure_tracker() {
  local output events flush line cpu wall
  if [ -f "$BENCH_BIN/bench_tracker.exe" ]; then
    output=$("$WINE" "$BENCH_BIN/bench_tracker.exe" </dev/null | tr -d '\r' | log tracker)
    events=$(echo "$output" | sed -n 's|^TrackEventValue: *\([0-9.]*\) events/s *reference[^:]*: *\([0-9.]*\) events/s.*|\1 \2|p')
    flush=$(echo "$output" | sed -n 's|^Final flush of 20000 events.*: *\([0-9.]*\) ms *reference[^:]*: *\([0-9.]*\) ms.*|\1 \2|p')
    if [ -n "$events" ]; then
      set -- $events
      row "4 Tracker: TrackEventValue on the GUI thread" "$(fmt "$1" 0) events/s" "plain appends $(fmt "$2" 0)/s" \
        "$(ratio "$1" "$2")" ">= 100000/s" "$(holds "$1" ">=" 100000)"
    else
      row "4 Tracker: TrackEventValue on the GUI thread" "unreadable (see raw/tracker.txt)" "-" "-" ">= 100000/s" "?"
    fi
    if [ -n "$flush" ]; then
      set -- $flush
      row "4 Tracker: flush of 20000 queued events" "$(fmt "$1") ms" "one WriteFile $(fmt "$2") ms" \
        "$(ratio "$1" "$2")" "<= 3" "$(holds "$(ratio "$1" "$2" 4)" "<=" 3)"
    else
      row "4 Tracker: flush of 20000 queued events" "unreadable (see raw/tracker.txt)" "-" "-" "<= 3" "?"
    fi
  else
    row "4 Tracker: events per second, flush" "not built yet" "-" "-" "-" "-"
  fi

  if [ -z "${TRACKER_IDLE_PID:-}" ]; then
    row "4 Tracker: sending thread's CPU, idle" "not built yet" "-" "-" "< 0.5 %" "-"
    return 0
  fi
  wait "$TRACKER_IDLE_PID" || true
  line=$(tr -d '\r' < "$BENCH_WORK/tracker-idle.txt" | log tracker | tail -1)
  cpu=$(field cpu_ms "$line") wall=$(field wall_ms "$line")
  if [ -z "$cpu" ]; then
    row "4 Tracker: sending thread's CPU, idle" "failed (see raw/tracker.txt)" "-" "-" "< 0.5 %" "?"
    return 0
  fi
  local percent seconds
  percent=$(awk -v c="$cpu" -v w="$wall" 'BEGIN { printf "%.3f", 100 * c / w }')
  seconds=$(awk -v w="$wall" 'BEGIN { printf "%.0f", w / 1000 }')
  row "4 Tracker: CPU of its threads over $seconds idle s" "$(fmt "$cpu" 0) ms" "one core $(fmt "$wall" 0) ms" \
    "$percent %" "< 0.5 %" "$(holds "$percent" "<" 0.5)"
  note "4 Thread CPU times under Wine come in 10 ms steps (the kernel's clock ticks): 0 ms means less than 10 ms in $seconds s."
}
