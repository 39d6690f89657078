#!/usr/bin/env bash
# Our music encoders beside their command-line tools on the same minute of CD
# audio with the same settings: flac -5 (verify on, as ours), lame -b 128,
# oggenc -q 5, ffmpeg -c:a wmav2 -b:a 128k. Prints seconds and ratio ours / tool.
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/lib/table_row.bash"
bin="${QV_BUILD:-build/release}/bench/music_encoder_bench"
work=$(mktemp -d "${TMPDIR:-/tmp}/qvbench-XXXXXX")
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw "$work/in.raw" synth 60 sine 440 sine 554 sine 659 vol 0.3
sox -r 44100 -c 2 -b 16 -e signed -L -t raw "$work/in.raw" "$work/in.wav"
ours=$(QV_BENCH_PCM="$work/in.raw" TMPDIR="$work" "$bin" --benchmark_format=csv 2>/dev/null | awk -F, 'NR>1 {gsub(/"/,"",$1); print $1, $3/1000}')
time_of() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
declare -A peer tool
tool[Flac]="flac -5"; tool[Mp3]="lame -b 128"; tool[Ogg]="oggenc -q 5"; tool[Wma]="ffmpeg wmav2"
peer[Flac]=$(time_of flac -f -s -V -5 -o "$work/p.flac" "$work/in.wav")
peer[Mp3]=$(time_of lame --quiet -b 128 "$work/in.wav" "$work/p.mp3")
peer[Ogg]=$(time_of oggenc -Q -q 5 -o "$work/p.ogg" "$work/in.wav")
peer[Wma]=$(time_of ffmpeg -v error -y -i "$work/in.wav" -c:a wmav2 -b:a 128k "$work/p.wma")
while read -r name seconds; do
  printf '%-5s ours %.3f s, tool %.3f s, ratio %.2f\n' "$name" "$seconds" "${peer[$name]}" "$(echo "$seconds / ${peer[$name]}" | bc -l)"
  table_row "encode 1 min to $name" "$seconds" "${tool[$name]}" "${peer[$name]}" 1.1
done <<< "$ours"
