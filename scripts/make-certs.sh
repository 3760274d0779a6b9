#!/usr/bin/env bash
# Test certificates for the loopback stand-ins: a test CA, a "localhost" server certificate signed by
# it, and a second, untrusted CA with its own "localhost" certificate (for the certificate-failure tests);
# code-signing certificates of the test CA for the installer stand-in ("Tradeloom Test Publisher", the test
# build's publisher) and for a foreign publisher; and a throw-away self-signed code-signing certificate in
# a PFX file for checking the release signing (password "throwaway").
set -euo pipefail
out="$1"
[ -f "$out/server.pem" ] && [ -f "$out/untrusted-server.pem" ] && [ -f "$out/foreign-publisher.key" ] &&
  [ -f "$out/throwaway.pfx" ] && exit 0
mkdir -p "$out"
cd "$out"
make_ca() {  # name
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Tradeloom Test CA $1" \
    -keyout "$1-ca.key" -out "$1-ca.pem" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
make_server() {  # ca out
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$2.key" -out "$2.csr" 2>/dev/null
  printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' > "$2.ext"
  openssl x509 -req -in "$2.csr" -CA "$1-ca.pem" -CAkey "$1-ca.key" -CAcreateserial -days 3650 \
    -extfile "$2.ext" -out "$2.crt" 2>/dev/null
  cat "$2.crt" "$2.key" > "$2.pem"
}
make_signer() {  # ca out subject: <out>.key and <out>-chain.pem (the signer's certificate, then the CA's)
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$3" -keyout "$2.key" -out "$2.csr" 2>/dev/null
  printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\nbasicConstraints=CA:FALSE\n' > "$2.ext"
  openssl x509 -req -in "$2.csr" -CA "$1-ca.pem" -CAkey "$1-ca.key" -CAcreateserial -days 3650 \
    -extfile "$2.ext" -out "$2.crt" 2>/dev/null
  cat "$2.crt" "$1-ca.pem" > "$2-chain.pem"
}
make_ca trusted
make_server trusted server
openssl x509 -in trusted-ca.pem -outform DER -out ca.der
make_ca untrusted
make_server untrusted untrusted-server
make_signer trusted publisher "Tradeloom Test Publisher"
make_signer trusted foreign-publisher "Someone Else Software"
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Throwaway Release Signer" \
  -keyout throwaway.key -out throwaway.crt -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl pkcs12 -export -in throwaway.crt -inkey throwaway.key -passout pass:throwaway -out throwaway.pfx
