# Helpers of bench/run.sh and the measure.sh of each figure (sourced): statistics of a column of
# numbers, the rows of the result table, Windows paths, the stand-ins and the copies of the programs.
# Expects WINE, TL_BUILD, BENCH_WORK (scratch files), BENCH_OUT (results) and the BENCH_*_PORT variables.

# Windows path of a Linux path.
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

# median / pct <fraction> / best: of the numbers on stdin, one per line.
median() {
  sort -g | awk '{ v[NR] = $1 }
    END { if (NR == 0) exit 1; print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
best() { sort -g | head -1; }
# fmt <number> [decimals]
fmt() { awk -v v="$1" -v d="${2:-1}" 'BEGIN { printf "%.*f", d, v }'; }
# ratio <value> <reference> [decimals]: value / reference
ratio() { awk -v a="$1" -v b="$2" -v d="${3:-2}" 'BEGIN { if (b == 0) print "-"; else printf "%.*f", d, a / b }'; }
# holds "<number> <op> <limit>" with op one of < <= > >=: prints yes or NO.
holds() {
  awk -v v="$1" -v op="$2" -v l="$3" 'BEGIN {
    ok = (op == "<") ? v < l : (op == "<=") ? v <= l : (op == ">") ? v > l : v >= l
    print ok ? "yes" : "NO" }'
}
# field <name> <line>: the value of name=value in a line of a benchmark program.
field() { echo "$2" | tr ' ' '\n' | sed -n "s/^$1=//p" | head -1; }

# row <figure> <value> <reference> <ratio> <target> <met?>: one line of the result table.
row() { printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >> "$BENCH_OUT/table.tsv"; }
# note <text>: a line printed under the table (what limits a figure, what was not measured).
note() { echo "$*" >> "$BENCH_OUT/notes.txt"; }
# log <name>: appends stdin to the raw measurements of one figure (and passes it on).
log() { tee -a "$BENCH_OUT/raw/$1.txt"; }

print_table() {
  local header=$'Figure\tValue\tReference (same run)\tRatio\tTarget\tMet?'
  { echo "$header"; cat "$BENCH_OUT/table.tsv"; } | column -t -s $'\t' | tee "$BENCH_OUT/table.txt"
  { echo "| ${header//$'\t'/ | } |"; echo "|---|---|---|---|---|---|"
    sed 's/\t/ | /g; s/^/| /; s/$/ |/' "$BENCH_OUT/table.tsv"; } > "$BENCH_OUT/table.md"
  if [ -s "$BENCH_OUT/notes.txt" ]; then echo; cat "$BENCH_OUT/notes.txt"; fi
}

# ---- Programs ----

# The test build points its programs at the stand-in ports of the tests, which other runs may be using.
# The benchmark runs copies whose built-in loopback endpoints name the benchmark's own ports instead
# (same length, so nothing else in the file moves).
retarget_pairs() {
  local cache="$TL_BUILD/CMakeCache.txt" signup stat sandbox
  signup=$(sed -n 's|^TL_SIGNUP_URL:[A-Z]*=[a-z]*://\([^/]*\).*|\1|p' "$cache")
  stat=$(sed -n 's|^TL_STAT_HOST:[A-Z]*=||p' "$cache")
  sandbox=$(sed -n 's|^TL_STAT_SANDBOX_HOST:[A-Z]*=||p' "$cache")
  echo "$signup=${signup%%:*}:$BENCH_SIGNUP_PORT" \
    "$stat=${stat%%:*}:$BENCH_STAT_PORT $sandbox=${sandbox%%:*}:$BENCH_STAT_PORT"
}

# bench_copy <program in the build> <copy>: prints how many endpoint texts were moved.
bench_copy() {
  # shellcheck disable=SC2046
  python3 - "$1" "$2" $(retarget_pairs) <<'EOF'
import sys
source, target, pairs = sys.argv[1], sys.argv[2], sys.argv[3:]
data = open(source, "rb").read()
moved = 0
for pair in pairs:
    old, new = pair.split("=")
    if len(old) != len(new):
        sys.exit("bench: cannot move %s to %s: the texts differ in length" % (old, new))
    for encoding in ("utf-16-le", "ascii"):
        moved += data.count(old.encode(encoding))
        data = data.replace(old.encode(encoding), new.encode(encoding))
open(target, "wb").write(data)
print(moved)
EOF
}

# ---- Stand-ins ----

BENCH_PIDS=()

# serve <name> <script> <port> <args...>: a loopback stand-in, waited for until its port answers.
serve() {
  local name="$1" script="$2" port="$3"
  shift 3
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "bench: port $port is taken; set TL_BENCH_PORT to the first of three free ports" >&2
    exit 1
  fi
  python3 "$root/tests/peers/$script" --port "$port" --time-limit 1800 "$@" \
    >"$BENCH_OUT/raw/$name-server.log" 2>&1 &
  BENCH_PIDS+=($!)
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "bench: the $name stand-in did not start (see $BENCH_OUT/raw/$name-server.log)" >&2
  exit 1
}

stop_stand_ins() {
  local pid
  for pid in "${BENCH_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${BENCH_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  BENCH_PIDS=()
}

# The local application-data folder of the prefix's user, as a Linux path.
wine_local_appdata() { echo "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local"; }
