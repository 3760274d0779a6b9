#!/usr/bin/env bash
# Signs the built setup program with the vendor's code-signing certificate (Authenticode, SHA-256), so that
# Windows' elevation prompt names the publisher instead of warning of an unknown one.
#
#   TL_SIGN_PFX=/secure/corvanta.pfx TL_SIGN_PASSWORD=... bash scripts/sign-release.sh [program.exe]
#
# The program (default build/release/wizard/TradeloomSetup.exe) is signed in place. The certificate comes
# from the environment, never from the repository:
#   TL_SIGN_PFX         the PFX (PKCS#12) file with the certificate, its chain and the private key
#   TL_SIGN_PASSWORD    its password (handed to osslsigncode through a pipe, not on its command line)
#   TL_SIGN_TIMESTAMP   an RFC 3161 time-stamp address, so that the signature outlives the certificate
#                       (default http://timestamp.digicert.com; set it empty to sign without a time stamp)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
exe="${1:-$root/build/release/wizard/TradeloomSetup.exe}"
: "${TL_SIGN_PFX:?set TL_SIGN_PFX to the vendor's PFX file}"
: "${TL_SIGN_PASSWORD?set TL_SIGN_PASSWORD to the PFX file's password}"
timestamp="${TL_SIGN_TIMESTAMP-http://timestamp.digicert.com}"
[ -f "$exe" ] || { echo "sign-release: no program at $exe (build the release first)" >&2; exit 1; }
[ -f "$TL_SIGN_PFX" ] || { echo "sign-release: no PFX file at $TL_SIGN_PFX" >&2; exit 1; }

signed="$exe.signed"
trap 'rm -f "$signed"' EXIT
args=(sign -pkcs12 "$TL_SIGN_PFX" -readpass /dev/stdin -h sha256
      -n "Tradeloom for Mercantix Setup" -i "https://www.corvanta.com" -in "$exe" -out "$signed")
[ -n "$timestamp" ] && args+=(-ts "$timestamp")
printf '%s' "$TL_SIGN_PASSWORD" | osslsigncode "${args[@]}" >/dev/null
mv "$signed" "$exe"
echo "sign-release: signed $exe${timestamp:+ (time stamp from $timestamp)}"
