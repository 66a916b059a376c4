#!/usr/bin/env bash
# Regenerates the certificates in this folder (the keys are thrown away).
# Run from this folder; the results are committed, so tests never run it.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cert() {  # name subject key-options...
  local name=$1 subject=$2; shift 2
  openssl req -x509 -days 3650 -nodes -subj "$subject" -keyout "$tmp/key.pem" \
    -out "$name.pem" "$@" 2>/dev/null
}

cert rsa-2048 "/CN=RSA Test/O=Sero Tests" -newkey rsa:2048
cert rsa-3072 "/CN=RSA 3072/O=Sero Tests" -newkey rsa:3072
cert ec-p256 "/CN=EC P-256/O=Sero Tests" -newkey ec -pkeyopt ec_paramgen_curve:P-256
cert ec-p384 "/CN=EC P-384/O=Sero Tests" -newkey ec -pkeyopt ec_paramgen_curve:P-384
cert ec-p521 "/CN=EC P-521/O=Sero Tests" -newkey ec -pkeyopt ec_paramgen_curve:P-521
cert ed25519 "/CN=Ed25519/O=Sero Tests" -newkey ed25519
openssl dsaparam -out "$tmp/dsa.param" 2048 2>/dev/null
cert dsa-2048 "/CN=DSA 2048/O=Sero Tests" -newkey "dsa:$tmp/dsa.param"
cert no-cn "/O=No Common Name/C=DE" -newkey ec -pkeyopt ec_paramgen_curve:P-256
cert utf8-cn "/CN=Zoë Ünïcode/O=Sero Tests" -utf8 -newkey ec -pkeyopt ec_paramgen_curve:P-256
cert second-cn "/O=Sero Tests/CN=First Name/CN=Second Name" -newkey ec -pkeyopt ec_paramgen_curve:P-256

openssl x509 -in rsa-2048.pem -outform DER -out rsa-2048.der

# Three certificates in one file, and a file with a key before the certificate.
for n in First Second Third; do
  cert "$tmp/$n" "/CN=$n/O=Sero Tests" -newkey ec -pkeyopt ec_paramgen_curve:P-256
done
cat "$tmp/First.pem" "$tmp/Second.pem" "$tmp/Third.pem" > three.pem
cert "$tmp/keyed" "/CN=Keyed/O=Sero Tests" -newkey ec -pkeyopt ec_paramgen_curve:P-256
cat "$tmp/key.pem" "$tmp/keyed.pem" > key-and-cert.pem
openssl pkey -in "$tmp/key.pem" -pubout -out public-key.pem

# A trusted certificate: the certificate followed by its trust settings.
openssl x509 -in ec-p256.pem -addtrust serverAuth -out trusted.pem

# The subject public key info of one certificate and its SHA-1 digest, as
# computed by openssl, for checking key fingerprints.
openssl x509 -in rsa-2048.pem -noout -pubkey | openssl pkey -pubin -outform DER -out rsa-2048.spki.der
openssl dgst -sha1 -r rsa-2048.spki.der | cut -d' ' -f1 > rsa-2048.spki.sha1
