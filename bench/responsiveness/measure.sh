# Figure 2, responsiveness (sourced by bench/run.sh): the latency of a posted message and of a 15 ms
# timer in the wizard's window while it downloads 1 GiB from the loopback, against the same window
# doing nothing for a few seconds first. The worst of the rounds counts.

# worst_latency <phase> <probe> <statistic>: the largest value of the rounds.
worst_latency() {
  awk -v p="$1" -v q="$2" '$1 == p && $2 == q' "$BENCH_WORK/responsiveness.txt" |
    while read -r line; do field "$3" "$line"; done | sort -g | tail -1
}

measure_responsiveness() {
  local rounds="${TL_BENCH_RESPONSIVENESS_ROUNDS:-2}" size=$((1024 * 1048576)) probe label during idle
  : > "$BENCH_WORK/responsiveness.txt"
  for _ in $(seq "$rounds"); do
    "$WINE" "$BENCH_BIN/bench_responsiveness.exe" "$BENCH_FILES_URL/gen/$size" \
      "$(winpath "$BENCH_WORK/responsiveness.bin")" 3 </dev/null |
      tr -d '\r' | log responsiveness >> "$BENCH_WORK/responsiveness.txt"
    rm -f "$BENCH_WORK/responsiveness.bin"
    if ! grep -q "^download bytes=$size " "$BENCH_WORK/responsiveness.txt"; then
      echo "bench: the responsiveness download did not complete" >&2
      exit 1
    fi
  done
  for probe in posted timer; do
    label="posted message"
    [ "$probe" = timer ] && label="15 ms timer, lateness"
    during=$(worst_latency download "$probe" p99_ms) idle=$(worst_latency reference "$probe" p99_ms)
    row "2 Latency during a 1 GiB download: $label, p99" "$(fmt "$during") ms" "idle $(fmt "$idle") ms" \
      "$(ratio "$during" "$idle" 1)" "< 50 ms" "$(holds "$during" "<" 50)"
    during=$(worst_latency download "$probe" median_ms) idle=$(worst_latency reference "$probe" median_ms)
    row "2 Latency during a 1 GiB download: $label, median" "$(fmt "$during" 2) ms" "idle $(fmt "$idle" 2) ms" \
      "$(ratio "$during" "$idle" 1)" "-" "-"
  done
}
