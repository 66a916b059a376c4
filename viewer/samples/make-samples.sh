#!/usr/bin/env bash
# Regenerates the bundled sample certificates (the keys are thrown away).
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

openssl req -x509 -days 3650 -nodes -newkey rsa:2048 -keyout "$tmp/key.pem" -out sample.pem \
  -subj "/CN=Sample Certificate/O=Varnet Examples/OU=Certificate Viewer/L=Leipzig/C=DE" \
  -addext "subjectAltName=DNS:sample.example.org,email:certs@example.org" \
  -addext "keyUsage=critical,digitalSignature,keyEncipherment" \
  -addext "extendedKeyUsage=serverAuth,clientAuth" 2>/dev/null

openssl req -x509 -days 3650 -nodes -newkey ec -pkeyopt ec_paramgen_curve:P-256 \
  -keyout "$tmp/key.pem" -out ec-sample.pem \
  -subj "/CN=Sample EC Certificate/O=Varnet Examples/C=DE" 2>/dev/null

# A small CA and a certificate it issued, in one file.
openssl req -x509 -days 3650 -nodes -newkey ec -pkeyopt ec_paramgen_curve:P-384 \
  -keyout "$tmp/ca-key.pem" -out "$tmp/ca.pem" -subj "/CN=Sample Root CA/O=Varnet Examples" \
  -addext "basicConstraints=critical,CA:TRUE" 2>/dev/null
openssl req -new -nodes -newkey ec -pkeyopt ec_paramgen_curve:P-256 -keyout "$tmp/leaf-key.pem" \
  -subj "/CN=Sample Leaf/O=Varnet Examples" -out "$tmp/leaf.csr" 2>/dev/null
openssl x509 -req -in "$tmp/leaf.csr" -CA "$tmp/ca.pem" -CAkey "$tmp/ca-key.pem" \
  -CAcreateserial -days 3650 -out "$tmp/leaf.pem" 2>/dev/null
cat "$tmp/ca.pem" "$tmp/leaf.pem" > chain.pem
