#!/usr/bin/env bash
# Regenerates the small certificates that the section tests read (the keys
# are thrown away). Run from this folder; the results are committed, so the
# tests never run it. All of them are valid from 2025-01-01 on, so the
# dates the widget shows do not change when they are made again.
set -euo pipefail
here=$(pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
mkdir new
: > index.txt

cat > ca.cnf <<'CONF'
[ ca ]
default_ca = fixture
[ fixture ]
dir = .
database = ./index.txt
new_certs_dir = ./new
serial = ./serial
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
[ anything ]

# No extensions at all: a version 1 certificate.
[ none ]

[ root ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = 0A0B0C0D

[ pathlen ]
basicConstraints = critical, CA:TRUE, pathlen:2
subjectKeyIdentifier = none

[ server ]
basicConstraints = CA:FALSE
keyUsage = critical, keyEncipherment, digitalSignature
extendedKeyUsage = serverAuth, clientAuth
subjectKeyIdentifier = 5E4000AB
subjectAltName = DNS:www.example.test, email:admin@example.test, IP:192.0.2.7, IP:2001:db8::1
2.5.29.35 = DER:30:06:80:04:0A:0B:0C:0D

[ usages ]
keyUsage = digitalSignature, nonRepudiation, keyEncipherment, dataEncipherment, keyAgreement, keyCertSign, cRLSign, encipherOnly, decipherOnly
subjectKeyIdentifier = none
1.3.6.1.4.1.55555.1.1 = critical, ASN1:UTF8String:private

[ decipher ]
keyUsage = decipherOnly, keyAgreement
extendedKeyUsage = codeSigning, serverAuth, 1.3.6.1.4.1.55555.2
subjectKeyIdentifier = none

# Names without a text of their own, usages outside the list of bits, and
# empty lists.
[ names ]
subjectAltName = URI:https://example.test/, RID:1.2.3.4, dirName:directory, otherName:1.3.6.1.5.5.7.8.5;UTF8:me@example.test, otherName:1.3.6.1.4.1.55555.3;UTF8:other
keyUsage = DER:03:03:06:00:40
extendedKeyUsage = DER:30:00
subjectKeyIdentifier = none

[ directory ]
CN = Directory Entry
O = Sero Tests

# Recognised extensions whose values do not parse (the subject key
# identifier follows below).
[ unparsable ]
basicConstraints = critical, DER:05:00
extendedKeyUsage = DER:30:03:02:01:01
keyUsage = DER:03:02:08:80
subjectAltName = DER:30:02:05:00
subjectKeyIdentifier = none
CONF

key() {  # file algorithm-options...
  local file=$1; shift
  openssl genpkey "$@" -out "$file" 2>/dev/null
}

# issue name serial subject extensions signer-key [signer-cert] [end-date]
issue() {
  local name=$1 serial=$2 subject=$3 section=$4 signer=$5 signer_cert=${6:-} end=${7:-20350101000000Z}
  echo "$serial" > serial
  openssl req -new -key "$name.key" -subj "$subject" -utf8 -out "$name.csr"
  local how=(-selfsign)
  [ -n "$signer_cert" ] && how=(-cert "$signer_cert")
  openssl ca -config ca.cnf -batch -notext -utf8 -preserveDN "${how[@]}" -keyfile "$signer" \
    -in "$name.csr" -out "$name.pem" -startdate 20250101000000Z -enddate "$end" \
    -extensions "$section" 2>/dev/null
  openssl x509 -in "$name.pem" -outform DER -out "$here/$name.der"
}

key root.key -algorithm ed25519
issue root 01 "/CN=Sero Test CA/O=Sero Tests" root root.key "" 20550101000000Z

key v1-rsa.key -algorithm rsa -pkeyopt rsa_keygen_bits:1024
issue v1-rsa 02 "/CN=Version One/O=Sero Tests/C=DE" none v1-rsa.key

key pathlen.key -algorithm ec -pkeyopt ec_paramgen_curve:P-256
issue pathlen 03 "/CN=Sero Intermediate CA/O=Sero Tests" pathlen root.key root.pem

key server.key -algorithm ec -pkeyopt ec_paramgen_curve:P-384
issue server 8F00AA "/C=DE/O=Sero Tests/OU=Web+L=Berlin/CN=www.example.test/emailAddress=admin@example.test" \
  server root.key root.pem

key usages.key -algorithm ec -pkeyopt ec_paramgen_curve:P-256
issue usages 05 "/CN=All Usages" usages usages.key

key decipher.key -algorithm ec -pkeyopt ec_paramgen_curve:P-256
issue decipher 06 "/CN=Decipher Only" decipher decipher.key

key unparsable.key -algorithm ed25519
issue unparsable 07 "/CN=Unparsable Extensions" unparsable unparsable.key

key names.key -algorithm ed25519
issue names 0C "/CN=Odd Names" names names.key

key no-cn.key -algorithm ed25519
issue no-cn 08 "/O=No Common Name/OU=Unit/2.5.4.15=Private" none no-cn.key

# Certificates that the certificate tools will not make: written element by
# element and signed over the written tbsCertificate.
# spelled name tbs-body-lines...
spelled() {
  local name=$1; shift
  key "$name.key" -algorithm ed25519
  local pub
  pub=$(openssl pkey -in "$name.key" -pubout -outform DER | tail -c 32 | od -An -tx1 | tr -d ' \n')
  {
    echo "asn1 = SEQUENCE:tbs"
    echo "[tbs]"
    printf '%s\n' "$@"
    cat <<SPELLED
[alg]
oid = OID:1.3.101.112
[name]
rdn = SET:rdn
[rdn]
cn = SEQUENCE:cn
[cn]
type = OID:commonName
value = UTF8String:$name
[validity]
from = UTCTIME:250101000000Z
to = UTCTIME:350101000000Z
[spki]
alg = SEQUENCE:alg
key = FORMAT:HEX,BITSTRING:$pub
[odd_spki]
alg = SEQUENCE:odd_alg
key = FORMAT:BITLIST,BITSTRING:0,9,19
[odd_alg]
oid = OID:1.3.6.1.4.1.55555.4
params = SEQUENCE:odd_params
[odd_params]
n = INTEGER:5
[skid1]
id = OID:2.5.29.14
value = FORMAT:HEX,OCTETSTRING:04020102
[skid2]
id = OID:2.5.29.14
value = FORMAT:HEX,OCTETSTRING:04020304
[bad_skid]
id = OID:2.5.29.14
value = FORMAT:HEX,OCTETSTRING:0500
SPELLED
  } > "$name.tbs.cnf"
  openssl asn1parse -genconf "$name.tbs.cnf" -noout -out "$name.tbs.der"
  openssl pkeyutl -sign -rawin -inkey "$name.key" -in "$name.tbs.der" -out "$name.sig"
  local sig
  sig=$(od -An -tx1 "$name.sig" | tr -d ' \n')
  # The outer sequence around the written tbsCertificate.
  cat > "$name.cnf" <<SPELLED
asn1 = SEQUENCE:cert
[cert]
alg = SEQUENCE:alg
sig = FORMAT:HEX,BITSTRING:$sig
[alg]
oid = OID:1.3.101.112
SPELLED
  openssl asn1parse -genconf "$name.cnf" -noout -out "$name.rest.der"
  # SEQUENCE { tbs, alg, sig }: splice the tbsCertificate in front of the
  # contents of the generated sequence.
  python3 - "$name.tbs.der" "$name.rest.der" "$here/$name.der" <<'PY'
import sys
def header(n):
    if n < 0x80:
        return bytes([n])
    body = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(body)]) + body
def contents(der):
    n = der[1]
    if n < 0x80:
        return der[2:]
    k = n & 0x7f
    return der[2 + k:]
tbs = open(sys.argv[1], "rb").read()
rest = contents(open(sys.argv[2], "rb").read())
body = tbs + rest
open(sys.argv[3], "wb").write(bytes([0x30]) + header(len(body)) + body)
PY
}

# The same extension twice.
spelled duplicate \
  "version = EXPLICIT:0C,INTEGER:2" "serial = INTEGER:0x09" "sigalg = SEQUENCE:alg" \
  "issuer = SEQUENCE:name" "validity = SEQUENCE:validity" "subject = SEQUENCE:name" \
  "spki = SEQUENCE:spki" "extensions = EXPLICIT:3C,SEQUENCE:extensions" \
  "[extensions]" "first = SEQUENCE:skid1" "second = SEQUENCE:skid2"

# A subject key identifier that is not an octet string.
spelled bad-key-id \
  "version = EXPLICIT:0C,INTEGER:2" "serial = INTEGER:0x0B" "sigalg = SEQUENCE:alg" \
  "issuer = SEQUENCE:name" "validity = SEQUENCE:validity" "subject = SEQUENCE:name" \
  "spki = SEQUENCE:spki" "extensions = EXPLICIT:3C,SEQUENCE:extensions" \
  "[extensions]" "only = SEQUENCE:bad_skid"

# A key of an algorithm the certificate library cannot size, whose bit
# string ends in a partial byte.
spelled odd-key \
  "version = EXPLICIT:0C,INTEGER:2" "serial = INTEGER:0x0D" "sigalg = SEQUENCE:alg" \
  "issuer = SEQUENCE:name" "validity = SEQUENCE:validity" "subject = SEQUENCE:name" \
  "spki = SEQUENCE:odd_spki"

# A version number outside the list of versions.
spelled huge-version \
  "version = EXPLICIT:0C,INTEGER:0x0100000000000000000002" "serial = INTEGER:0x0A" \
  "sigalg = SEQUENCE:alg" "issuer = SEQUENCE:name" "validity = SEQUENCE:validity" \
  "subject = SEQUENCE:name" "spki = SEQUENCE:spki"
