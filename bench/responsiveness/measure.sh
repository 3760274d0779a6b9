# Figure 2, responsiveness (sourced by bench/run.sh): the latency of a posted message and of a 15 ms
# timer in the wizard's window while it downloads 1 GiB from the loopback, against the same window
# doing nothing for a few seconds first. The worst of the rounds counts.

measure_responsiveness() {
  local rounds="${TL_BENCH_RESPONSIVENESS_ROUNDS:-2}" size=$((1024 * 1048576)) i probe phase stat
  : > "$BENCH_WORK/responsiveness.txt"
  for i in $(seq "$rounds"); do
    "$WINE" "$BENCH_BIN/bench_responsiveness.exe" "$BENCH_FILES_URL/gen/$size" "$(winpath "$BENCH_WORK/responsiveness.bin")" 3 \
      </dev/null | tr -d '\r' | log responsiveness >> "$BENCH_WORK/responsiveness.txt"
    rm -f "$BENCH_WORK/responsiveness.bin"
    grep -q "^download bytes=$size " "$BENCH_WORK/responsiveness.txt" || {
      echo "bench: the responsiveness download did not complete" >&2
      exit 1
    }
  done
  # worst <phase> <probe> <stat>: the largest value of the rounds.
  worst() { awk -v p="$1" -v q="$2" '$1 == p && $2 == q' "$BENCH_WORK/responsiveness.txt" |
    while read -r line; do field "$3" "$line"; done | sort -g | tail -1; }
  for probe in posted timer; do
    local label="posted message" download reference
    [ "$probe" = timer ] && label="15 ms timer, lateness"
    for stat in p99 median; do
      download=$(worst download "$probe" "${stat}_ms")
      reference=$(worst reference "$probe" "${stat}_ms")
      if [ "$stat" = p99 ]; then
        row "2 Latency during a 1 GiB download: $label, p99" "$(fmt "$download") ms" "idle $(fmt "$reference") ms" \
          "$(ratio "$download" "$reference" 1)" "< 50 ms" "$(holds "$download" "<" 50)"
      else
        row "2 Latency during a 1 GiB download: $label, median" "$(fmt "$download" 2) ms" "idle $(fmt "$reference" 2) ms" \
          "$(ratio "$download" "$reference" 1)" "-" "-"
      fi
    done
  done
}
