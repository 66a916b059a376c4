#!/usr/bin/env bash
# Makes the small certificates that the tests decode. The odd ones are
# assembled field by field with openssl's ASN.1 generator, so each carries
# exactly the encoding under test; their signatures are placeholders, as
# nothing here verifies them. The UTF-8 one is an ordinary self-signed
# certificate. Run from this directory; the outputs are committed.
set -euo pipefail

# A genconf certificate: $1 output, $2 extra tbs lines (version first),
# $3 subject section name, $4 trailing tbs lines (extensions), $5 more
# sections.
make_cert() {
  local out=$1 version=$2 subject=$3 exts=$4 sections=$5
  cat > /tmp/tesk-fixture.$$.cnf <<CNF
asn1 = SEQUENCE:cert

[cert]
tbs = SEQUENCE:tbs
alg = SEQUENCE:sigalg
sig = FORMAT:HEX,BITSTRING:3006020101020101

[tbs]
${version}
serial = INTEGER:0x2A
sigalg = SEQUENCE:sigalg
issuer = SEQUENCE:issuer
validity = SEQUENCE:validity
subject = SEQUENCE:${subject}
spki = SEQUENCE:spki
${exts}

[sigalg]
oid = OID:ecdsa-with-SHA256

[issuer]
rdn1 = SET:issuer_c
rdn2 = SET:issuer_o
[issuer_c]
ava = SEQUENCE:issuer_c_ava
[issuer_c_ava]
type = OID:countryName
value = PRINTABLESTRING:DE
[issuer_o]
ava = SEQUENCE:issuer_o_ava
[issuer_o_ava]
type = OID:organizationName
value = PRINTABLESTRING:Example Test CA

[validity]
notBefore = UTCTIME:230101120000Z
notAfter = GENERALIZEDTIME:20530101120000Z

[spki]
alg = SEQUENCE:ecalg
key = FORMAT:HEX,BITSTRING:04C6FB7BAD0E1B3F1E6E56A9B6C1B5A4AA3C5A6F55CE5E4E7D63C6C5F0E3AF0E1C4C6B2A3F2B9DC7E0F3A2F4BB5C2D1E4F6A7B8C9D0E1F2A3B4C5D6E7F8091A2B3C4
[ecalg]
alg = OID:id-ecPublicKey
curve = OID:prime256v1

${sections}
CNF
  openssl asn1parse -genconf /tmp/tesk-fixture.$$.cnf -noout -out "$out"
  rm -f /tmp/tesk-fixture.$$.cnf
}

v3='version = EXPLICIT:0,INTEGER:2'

# A subject of one RDN per line of "name=TYPE:value".
subject_sections() {
  local section=$1; shift
  local i=0 s="[$section]"$'\n' rest=""
  for ava in "$@"; do
    i=$((i + 1))
    s+="rdn$i = SET:${section}_$i"$'\n'
    rest+="[${section}_$i]"$'\n'"ava = SEQUENCE:${section}_${i}_ava"$'\n'
    rest+="[${section}_${i}_ava]"$'\n'"type = OID:${ava%%=*}"$'\n'"value = ${ava#*=}"$'\n'
  done
  printf '%s\n%s' "$s" "$rest"
}

plain_subject=$(subject_sections subject 'countryName=PRINTABLESTRING:DE' \
  'commonName=PRINTABLESTRING:Plain Server')

# No version field (a version 1 certificate) and no extensions.
make_cert v1-no-version.der '' subject '' "$plain_subject"

# Version 3 without extensions.
make_cert v3-no-extensions.der "$v3" subject '' "$plain_subject"

# The version field holding 3, which Version does not list.
make_cert version-4.der 'version = EXPLICIT:0,INTEGER:3' subject '' "$plain_subject"

# The same extension twice.
make_cert duplicate-extensions.der "$v3" subject 'extensions = EXPLICIT:3,SEQUENCE:exts' \
"$plain_subject
[exts]
bc1 = SEQUENCE:bc_ca
bc2 = SEQUENCE:bc_leaf
[bc_ca]
id = OID:basicConstraints
critical = BOOLEAN:TRUE
value = OCTWRAP,SEQUENCE:bc_ca_value
[bc_ca_value]
ca = BOOLEAN:TRUE
[bc_leaf]
id = OID:basicConstraints
value = OCTWRAP,SEQUENCE:bc_leaf_value
[bc_leaf_value]
"

# A common name and organization in BMPString.
make_cert bmp-names.der "$v3" subject '' "$(subject_sections subject \
  'countryName=PRINTABLESTRING:RU' \
  'organizationName=FORMAT:UTF8,BMPSTRING:Пример' \
  'commonName=FORMAT:UTF8,BMPSTRING:Сервер AB')"

# A country of three letters.
make_cert country-three-letters.der "$v3" subject '' "$(subject_sections subject \
  'countryName=PRINTABLESTRING:USA' 'commonName=UTF8String:Three Letter Country')"

# Russian registration numbers: OGRN, SNILS, OGRNIP and INN.
make_cert russian-numbers.der "$v3" subject '' "$(subject_sections subject \
  'countryName=PRINTABLESTRING:RU' \
  '1.2.643.100.1=NUMERICSTRING:1027700132195' \
  '1.2.643.100.3=NUMERICSTRING:12345678901' \
  '1.2.643.100.5=NUMERICSTRING:304500116000157' \
  '1.2.643.3.131.1.1=NUMERICSTRING:007707083893' \
  'commonName=UTF8String:Registration Numbers')"

# Two attributes in one RDN: O=Example, OU=Web+CN=Server.
make_cert multi-valued-rdn.der "$v3" subject '' "
[subject]
rdn1 = SET:subject_o
rdn2 = SET:subject_oucn
[subject_o]
ava = SEQUENCE:subject_o_ava
[subject_o_ava]
type = OID:organizationName
value = PRINTABLESTRING:Example
[subject_oucn]
ava1 = SEQUENCE:subject_ou_ava
ava2 = SEQUENCE:subject_cn_ava
[subject_ou_ava]
type = OID:organizationalUnitName
value = PRINTABLESTRING:Web
[subject_cn_ava]
type = OID:commonName
value = PRINTABLESTRING:Server
"

# An ordinary self-signed certificate whose names are UTF8String.
key=$(mktemp)
openssl ecparam -name prime256v1 -genkey -noout -out "$key"
openssl req -x509 -new -key "$key" -utf8 -subj "/C=DE/O=Exämple GmbH/CN=Grüße Server" \
  -days 3650 -outform DER -out utf8-names.der
rm -f "$key"
