# Figure 5, size (sourced by bench/run.sh): the release (i686) executable, stripped, with its eleven
# pictures, against the floor of the same tool chain (the bare window built with the release flags,
# stripped) plus the pictures' own bytes. What takes the room goes to out/bench/size.txt: the sections,
# the share of each library (from a relink of the release objects with a linker map), the biggest
# symbols and the pictures.

PICTURES=(WELCOME PROMO_1 PROMO_2 PROMO_3 PROMO_4 PROMO_5 PROMO_6 PROMO_7 PROMO_8 PROMO_9 PROMO_10)

kib() { awk -v b="$1" 'BEGIN { printf "%.0f", b / 1024 }'; }
picture_size() { stat -c %s "$root/resources/pictures/$1.png"; }

# The link command of the release executable, as the build runs it (from its folder).
release_link_command() {
  (cd "$root/build/release" && ninja -t commands wizard/TradeloomSetup.exe | tail -1 | sed 's/^: && //; s/ && :$//')
}

# The bare window built with the release build's compiler and flags, stripped; prints its size.
bare_release_size() {
  local command compiler flags bare="$BENCH_WORK/bare-release.exe"
  command=$(release_link_command)
  compiler=${command%% *}
  flags=$(echo "$command" | awk '{ for (i = 2; i <= NF && $i ~ /^-/; i++) printf "%s ", $i }')
  # shellcheck disable=SC2086
  "$compiler" $flags -std=c++20 -DUNICODE -D_UNICODE "$root/bench/startup/bare_window.cpp" -o "$bare"
  "${compiler%-g++*}-strip" "$bare"
  stat -c %s "$bare"
}

# Links the release objects once more, with a map and with symbols, into the scratch folder.
relink_with_map() {
  local command
  command=$(release_link_command)
  command=${command//-o wizard\/TradeloomSetup.exe/-o $BENCH_WORK/relinked.exe -Wl,-Map=$BENCH_WORK/release.map}
  command=${command//--out-implib,wizard\/libTradeloomSetup.dll.a/--out-implib,$BENCH_WORK/relinked.dll.a}
  command=${command// -s / }
  (cd "$root/build/release" && bash -c "$command")
}

# The biggest symbols that take room in the file (no .bss, no section or debug symbols), biggest first.
biggest_symbols() {
  i686-w64-mingw32-nm --size-sort -S -C --defined-only "$1" | awk '$3 !~ /^[NnBb]$/ && $4 !~ /^\./' | tail -"$2" |
    tac | while read -r _ size type name; do
      printf "%7.1f KiB %s %s\n" "$(awk -v h="$((16#$size))" 'BEGIN { print h / 1024 }')" "$type" "${name:0:100}"
    done
}

# size_report <executable as built> <stripped>: what takes the room.
size_report() {
  local name section hex
  echo "Release executable: $(stat -c %s "$1") bytes as built, $(stat -c %s "$2") bytes stripped"
  echo
  echo "Sections of the stripped executable (names beyond 8 characters are cut when no symbols are kept):"
  i686-w64-mingw32-objdump -h "$2" | awk '/^ +[0-9]+ / { print $2, $3 }' | while read -r section hex; do
    printf "  %-10s %7.1f KiB\n" "$section" "$(awk -v b="$((16#$hex))" 'BEGIN { print b / 1024 }')"
  done
  echo
  echo "By library or object (code, data, unwind tables, resources, imports):"
  python3 "$root/bench/size/map_sizes.py" "$BENCH_WORK/release.map" 20
  echo
  echo "Biggest symbols:"
  biggest_symbols "$BENCH_WORK/relinked.exe" 25
  echo
  echo "Pictures:"
  for name in "${PICTURES[@]}"; do printf "  %-9s %6d bytes\n" "$name" "$(picture_size "$name")"; done
}

measure_size() {
  local exe="$root/build/release/wizard/TradeloomSetup.exe" stripped="$BENCH_WORK/release-stripped.exe"
  local size bare pictures=0 name shares
  i686-w64-mingw32-strip -o "$stripped" "$exe"
  size=$(stat -c %s "$stripped")
  for name in "${PICTURES[@]}"; do pictures=$((pictures + $(picture_size "$name"))); done
  bare=$(bare_release_size)
  row "5 Release exe (i686), stripped, 11 pictures" "$(kib "$size") KiB" \
    "bare window $(kib "$bare") KiB + pictures $(kib "$pictures") KiB" "$(ratio "$size" $((bare + pictures)))" \
    "<= 512 KiB" "$(holds "$size" "<=" 524288)"
  relink_with_map
  size_report "$exe" "$stripped" > "$BENCH_OUT/size.txt"
  shares=$(python3 "$root/bench/size/map_sizes.py" "$BENCH_WORK/release.map" 6 | grep -v "in all" |
    awk '{ printf "%s%s %s KiB", (NR > 1 ? ", " : ""), $5, $1 }')
  note "5 The biggest shares: $shares; details in out/bench/size.txt."
}
