#!/usr/bin/env bash
# Our AES kernels beside `openssl speed` (with AES-NI, and with it masked off
# for the table path). Prints MB/s of each and the ratio ours / OpenSSL.
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/lib/table_row.bash"
bin="${QV_BUILD:-build/release}/bench/aes_bench"
peer() { # $1 = cipher, rest = env
  local c=$1; shift
  env "$@" openssl speed -evp "$c" -bytes 65536 -seconds 2 2>/dev/null | awk -v c="$c" 'toupper($1)==toupper(c) {v=$NF; sub(/k$/,"",v); print v*1000/1e6}'
}
ours() { # $1 = benchmark name/arg
  "$bin" --benchmark_filter="^$1\$" --benchmark_format=csv 2>/dev/null | awk -F, 'NR>1 {print $(NF-4)/1e6}'
}
for bits in 128 256; do
  len=$((bits / 8))
  ni=$(peer "aes-$bits-ecb"); tab=$(peer "aes-$bits-ecb" OPENSSL_ia32cap="~0x200000000000000")
  oni=$(ours "AesNiEncrypt/$len"); otab=$(ours "AesTableEncrypt/$len")
  printf 'aes-%s-ecb  AES-NI: ours %.0f MB/s, openssl %.0f MB/s, ratio %.2f\n' "$bits" "$oni" "$ni" "$(echo "$oni / $ni" | bc -l)"
  printf 'aes-%s-ecb  table:  ours %.0f MB/s, openssl %.0f MB/s, ratio %.2f\n' "$bits" "$otab" "$tab" "$(echo "$otab / $tab" | bc -l)"
  # In the table as time per GB: at most 1.0 of OpenSSL's with AES-NI, 1.25 without.
  table_row "AES-$bits AES-NI" "$(echo "1000 / $oni" | bc -l | cut -c1-8)" "openssl speed" "$(echo "1000 / $ni" | bc -l | cut -c1-8)" 1.0 s/GB
  table_row "AES-$bits table" "$(echo "1000 / $otab" | bc -l | cut -c1-8)" "openssl speed (no AES-NI)" "$(echo "1000 / $tab" | bc -l | cut -c1-8)" 1.25 s/GB
done
