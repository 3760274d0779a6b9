#!/usr/bin/env bash
# The whole test run on a fresh machine: installs what is missing, builds both architectures
# (the i686 release with warnings as errors), then runs every test under Wine in a fresh prefix.
# Extra arguments go to ctest (for instance -L unit, or -R http).
# For quicker rounds while developing: TL_BUILD=<folder> builds there instead of build/x64,
# TL_SKIP_RELEASE=1 skips the i686 build, TL_DISPLAY=<n> picks the Xvfb display (default 91).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh

start=$(date +%s)
export TL_BUILD="${TL_BUILD:-$root/build/x64}"
cmake --preset test -B "$TL_BUILD" >/dev/null
cmake --build "$TL_BUILD"
if [ "${TL_SKIP_RELEASE:-0}" != 1 ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release
  # Signed as the vendor signs it, here with the build's throw-away certificate; the 32-bit program cannot
  # run on this machine, so osslsigncode checks the signature (the x86_64 copy is checked under Wine).
  signed="$root/build/release/signed/TradeloomSetup.exe"
  mkdir -p "$(dirname "$signed")"
  cp "$root/build/release/wizard/TradeloomSetup.exe" "$signed"
  TL_SIGN_PFX="$TL_BUILD/certs/throwaway.pfx" TL_SIGN_PASSWORD=throwaway TL_SIGN_TIMESTAMP= \
    bash scripts/sign-release.sh "$signed"
  osslsigncode verify -CAfile "$TL_BUILD/certs/throwaway.crt" -in "$signed" >/dev/null ||
    { echo "test: the signed release does not verify" >&2; exit 1; }
fi
echo "test: builds took $(( $(date +%s) - start )) s"

# The program imports only KnownDLLs, which Windows never takes from the program's folder, and comctl32
# through its manifest; every other DLL is delay-loaded or loaded from the system folder. Anything else
# here (a mingw runtime DLL: static linking broke; a new system DLL: a planted copy would run elevated)
# fails the run.
allowed_imports='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|msvcrt|comctl32)\.dll$'
for exe in "$TL_BUILD/wizard/TradeloomSetup.exe" "$root/build/release/wizard/TradeloomSetup.exe"; do
  [ -f "$exe" ] || continue
  unexpected=$(objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | grep -v -E "$allowed_imports" || true)
  if [ -n "$unexpected" ]; then
    echo "test: $exe imports DLLs that Windows may take from its folder: $unexpected" >&2
    exit 1
  fi
done

source scripts/wine-env.sh
tl_new_prefix "$TL_BUILD/wineprefix"
tl_start_display "${TL_DISPLAY:-91}"
trap 'tl_stop_wineserver; tl_stop_display' EXIT
tl_start_wineserver
tl_trust_test_ca

start=$(date +%s)
ctest --test-dir "$TL_BUILD" --output-on-failure -j2 "$@"
echo "test: ctest took $(( $(date +%s) - start )) s"
