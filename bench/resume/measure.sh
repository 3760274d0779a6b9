# Figure 7, a bad network (sourced by bench/run.sh): a 64 MiB download over a link that drops every
# 8 MiB, beside the same download over a link that never drops, at the same pace; and a server that
# ignores Range. Always the wizard's way (HttpDownloadFileModal with its retries and waits); the bytes
# the server sent are counted from its log of answers, and every result is compared with the file.
# TL_BENCH_RESUME_RATE: the link's pace in bytes per second (default 2 MiB/s, a hotel Wi-Fi's).

RESUME_SIZE=$((64 * 1048576))
RESUME_DROP=$((8 * 1048576))
RESUME_RATE=${TL_BENCH_RESUME_RATE:-2097152}

# resume_once <query>: downloads the file with that query; prints "<ms> <bytes served> <answers>
# <yes when the result is byte-identical to the file, else NO>".
resume_once() {
  local before line ms identical=yes
  before=$(wc -l < "$BENCH_WORK/served.txt")
  line=$("$WINE" "$BENCH_BIN/bench_download.exe" wizard "$BENCH_FILES_URL/files/resume.bin?$1" \
    "$(winpath "$BENCH_WORK/resume.out")" </dev/null 2>&1 | tr -d '\r' | log resume)
  cmp -s "$BENCH_WORK/files/resume.bin" "$BENCH_WORK/resume.out" || identical=NO
  [ "$identical" = yes ] || note "7: the download with ?$1 is not the file: $line"
  rm -f "$BENCH_WORK/resume.out"
  sleep 0.5  # the stand-in logs an answer once it has sent it
  { echo "?$1"; tail -n +$((before + 1)) "$BENCH_WORK/served.txt"; } | log resume-answers >/dev/null
  ms=$(field ms "$line")
  echo "${ms:-0} $(tail -n +$((before + 1)) "$BENCH_WORK/served.txt" |
    awk -F'\t' '{ bytes += $3 } END { print bytes + 0, NR }') $identical"
}

seconds() { awk -v ms="$1" 'BEGIN { printf "%.1f s", ms / 1000 }'; }
# whole <identical> <met?>: a figure only counts for a download that came out as the file.
whole() { [ "$1" = yes ] && echo "$2" || echo "NO (not the file)"; }

measure_resume() {
  local pace plain dropped fast fast_dropped ignored
  head -c "$RESUME_SIZE" /dev/urandom > "$BENCH_WORK/files/resume.bin"
  pace="$(awk -v r="$RESUME_RATE" 'BEGIN { printf "%g", r / 1048576 }') MiB/s"
  read -r -a plain <<< "$(resume_once "rate=$RESUME_RATE")"
  read -r -a dropped <<< "$(resume_once "rate=$RESUME_RATE&drop=$RESUME_DROP")"
  read -r -a fast <<< "$(resume_once "")"
  read -r -a fast_dropped <<< "$(resume_once "drop=$RESUME_DROP")"
  read -r -a ignored <<< "$(resume_once "drop=$RESUME_DROP&first=2&range=ignore")"
  row "7 64 MiB, the link drops every 8 MiB: bytes served (${dropped[2]} answers)" \
    "$(mib "${dropped[1]}") MiB" "the file $(mib "$RESUME_SIZE") MiB" "$(ratio "${dropped[1]}" "$RESUME_SIZE")" \
    "<= 1.1" "$(whole "${dropped[3]}" "$(holds "$(ratio "${dropped[1]}" "$RESUME_SIZE" 4)" "<=" 1.1)")"
  row "7 64 MiB, the link drops every 8 MiB: time at $pace" "$(seconds "${dropped[0]}")" \
    "never drops $(seconds "${plain[0]}")" "$(ratio "${dropped[0]}" "${plain[0]}")" "<= 1.3" \
    "$(whole "${dropped[3]}" "$(holds "$(ratio "${dropped[0]}" "${plain[0]}" 4)" "<=" 1.3)")"
  row "7 The same at the loopback's full speed: time" "$(seconds "${fast_dropped[0]}")" \
    "never drops $(seconds "${fast[0]}")" "$(ratio "${fast_dropped[0]}" "${fast[0]}")" "-" "-"
  row "7 The same at the loopback's full speed: bytes served (${fast_dropped[2]} answers)" \
    "$(mib "${fast_dropped[1]}") MiB" "the file $(mib "$RESUME_SIZE") MiB" \
    "$(ratio "${fast_dropped[1]}" "$RESUME_SIZE")" "-" "-"
  row "7 Range ignored, drops on the first 2 tries: byte-identical (${ignored[2]} answers)" \
    "$(mib "${ignored[1]}") MiB served" "the file $(mib "$RESUME_SIZE") MiB" \
    "$(ratio "${ignored[1]}" "$RESUME_SIZE")" "completes, identical" "${ignored[3]}"
}
