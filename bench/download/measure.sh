# Figure 3, download (sourced by bench/run.sh): 16 MiB, 256 MiB and 1 GiB from the loopback file
# server, the wizard's way (HttpDownloadFileModal in a window that pumps messages and moves a gauge)
# against a bare WinINet read loop, taking turns; the best round of each counts (the one least
# disturbed by the rest of the machine). The wizard way's peak working set must not grow with the size.
# A 1 KiB download shows the fixed cost of each way: what the small sizes' ratios carry besides speed.

# download_once <way> <bytes>: prints "<ms> <peak working set>".
download_once() {
  local line
  line=$("$WINE" "$BENCH_BIN/bench_download.exe" "$1" "$BENCH_FILES_URL/gen/$2" "$(winpath "$BENCH_WORK/$1.bin")" \
    </dev/null | tr -d '\r' | log download)
  rm -f "$BENCH_WORK/$1.bin"
  case "$line" in
    *"bytes=$2 "*) echo "$(field ms "$line") $(field peak_ws "$line")" ;;
    *) echo "bench: $1 download of $2 bytes incomplete: $line" >&2; exit 1 ;;
  esac
}

mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
mibps() { awk -v b="$1" -v ms="$2" 'BEGIN { printf "%.0f", b / 1048576 / (ms / 1000) }'; }
size_label() { [ "$1" = $((1024 * 1048576)) ] && echo "1 GiB" || echo "$(($1 / 1048576)) MiB"; }

# download_speed_row <bytes> <rounds>; keeps the wizard way's peak working set in working-set.txt.
download_speed_row() {
  local size="$1" rounds="$2" round way order wizard bare
  : > "$BENCH_WORK/wizard.dl"; : > "$BENCH_WORK/bare.dl"
  for round in $(seq "$rounds"); do
    order="wizard bare"; [ $((round % 2)) = 0 ] && order="bare wizard"
    for way in $order; do download_once "$way" "$size" >> "$BENCH_WORK/$way.dl"; done
  done
  wizard=$(cut -d' ' -f1 "$BENCH_WORK/wizard.dl" | best)
  bare=$(cut -d' ' -f1 "$BENCH_WORK/bare.dl" | best)
  echo "$size $(cut -d' ' -f2 "$BENCH_WORK/wizard.dl" | sort -g | tail -1)" >> "$BENCH_WORK/working-set.txt"
  row "3 Download $(size_label "$size"), wizard way / bare loop (speed), best of $rounds" \
    "$(mibps "$size" "$wizard") MiB/s" "bare loop $(mibps "$size" "$bare") MiB/s" "$(ratio "$bare" "$wizard")" \
    ">= 0.95" "$(holds "$(ratio "$bare" "$wizard" 4)" ">=" 0.95)"
}

# download_fixed_cost_row <rounds>: the time of a 1 KiB download each way.
download_fixed_cost_row() {
  local round way
  : > "$BENCH_WORK/wizard.dl"; : > "$BENCH_WORK/bare.dl"
  for round in $(seq "$1"); do
    for way in wizard bare; do download_once "$way" 1024 >> "$BENCH_WORK/$way.dl"; done
  done
  row "3 Fixed cost of one download (1 KiB), best of $1" "$(cut -d' ' -f1 "$BENCH_WORK/wizard.dl" | best) ms" \
    "bare loop $(cut -d' ' -f1 "$BENCH_WORK/bare.dl" | best) ms" "-" "-" "-"
}

measure_download() {
  local spec size small large growth
  download_fixed_cost_row 9
  : > "$BENCH_WORK/working-set.txt"
  for spec in 16:9 256:5 1024:5; do download_speed_row $((${spec%%:*} * 1048576)) "${spec##*:}"; done
  small=$(awk -v s=$((16 * 1048576)) '$1 == s { print $2 }' "$BENCH_WORK/working-set.txt")
  for size in $((256 * 1048576)) $((1024 * 1048576)); do
    large=$(awk -v s="$size" '$1 == s { print $2 }' "$BENCH_WORK/working-set.txt")
    growth=$(awk -v l="$large" -v s="$small" 'BEGIN { printf "%+.2f", (l - s) / 1048576 }')
    row "3 Peak working set, wizard way, $(size_label "$size")" "$(mib "$large") MiB" "16 MiB: $(mib "$small") MiB" \
      "$(ratio "$large" "$small")" "growth < 2 MiB" "$(holds "$growth" "<" 2) ($growth MiB)"
  done
}
