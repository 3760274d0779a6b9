#!/usr/bin/env bash
# Test certificates for the loopback stand-ins: a test CA, a "localhost" server certificate signed by
# it, and a second, untrusted CA with its own "localhost" certificate (for the certificate-failure tests).
set -euo pipefail
out="$1"
[ -f "$out/server.pem" ] && [ -f "$out/untrusted-server.pem" ] && exit 0
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
make_ca trusted
make_server trusted server
openssl x509 -in trusted-ca.pem -outform DER -out ca.der
make_ca untrusted
make_server untrusted untrusted-server
