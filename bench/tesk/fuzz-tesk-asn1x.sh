#!/usr/bin/env bash
# Builds the decoder fuzz target with clang and libFuzzer, seeds it with the
# certificates of the system bundle and the test fixtures, and runs it for a
# while (FUZZ_SECONDS, default 60). Not part of the pass/fail suite.
#   bench/tesk/fuzz-tesk-asn1x.sh [work-dir]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:-$(mktemp -d)}
seconds=${FUZZ_SECONDS:-60}
mkdir -p "$work/corpus" "$work/obj"

python3 "$top/tesk/asn1/asn1-compile.py" "$top/tesk/asn1/pkix.asn" pkix_asn1_tab \
  "$work/obj/tesk-pkix-asn1.c" --string-types
python3 "$top/tesk/asn1/asn1-compile.py" "$top/tesk/asn1/pk.asn" pk_asn1_tab \
  "$work/obj/tesk-pk-asn1.c"

flags=(-g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$top/tesk" $(pkg-config --cflags glib-2.0))
for c in "$work"/obj/*.c; do
  clang "${flags[@]}" -c "$c" -o "${c%.c}.o"
done
clang++ -std=c++20 "${flags[@]}" \
  "$top"/tesk/tesk-asn1x-{atlv,tree,decode,access,encode,time}.cpp \
  "$top/bench/tesk/fuzz-tesk-asn1x.cpp" "$work"/obj/*.o \
  $(pkg-config --libs glib-2.0) -o "$work/fuzz-tesk-asn1x"

# Seeds: each certificate of the bundle as DER, and the test fixtures.
if [ -d /etc/ssl/certs ]; then
  for pem in /etc/ssl/certs/*.pem; do
    openssl x509 -in "$pem" -outform DER -out "$work/corpus/$(basename "$pem" .pem).der" \
      2>/dev/null || true
  done
fi
cp "$top"/tests/data/tesk/*.der "$work/corpus/"

"$work/fuzz-tesk-asn1x" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work/corpus"
echo "fuzzing ran for ${seconds}s without a failure; work files in $work"
