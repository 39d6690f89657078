#!/usr/bin/env bash
# The console front end beside its peers, in one run on the same fixtures:
#   zarn list big.iso / -r   against  isoinfo -J -l  (100,000 files; goal ratio <= 1.0)
#   zarn extract one.iso /   against  7z x           (1 GiB tree;    goal ratio <= 0.8)
# Each time is the median of three runs. QV_BUILD names the build folder
# (bench/run passes the release build); QV_BENCH_FILES and QV_BENCH_MB shrink
# the fixtures for a quick look.
set -euo pipefail
build=${QV_BUILD:-$(cd "$(dirname "$0")/.." && pwd)/build/release}
zarn="$build/programs/zarn"
files=${QV_BENCH_FILES:-100000}
megabytes=${QV_BENCH_MB:-1024}
work=$(mktemp -d "${TMPDIR:-/tmp}/qvbench-XXXXXX")
trap 'rm -rf "$work"' EXIT

median() {  # command... ; prints the median wall time of three runs in seconds
  local times=()
  for _ in 1 2 3; do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | sed -n 2p
}

folders=$(( files / 100 ))
mkdir -p "$work/tree"
for ((f = 0; f < folders; f++)); do
  mkdir "$work/tree/folder $f"
  (cd "$work/tree/folder $f" && for ((i = 0; i < 100; i++)); do echo "$i" > "file number $i.txt"; done)
done
genisoimage -quiet -input-charset utf-8 -J -joliet-long -o "$work/big.iso" "$work/tree"
rm -rf "$work/tree"

ours=$(median "$zarn" list "$work/big.iso" / -r)
peer=$(median isoinfo -J -l -i "$work/big.iso")
echo "list   $files files: zarn ${ours}s  isoinfo ${peer}s  ratio $(echo "$ours / $peer" | bc -l | cut -c1-5)"

mkdir -p "$work/data"
for ((i = 0; i < 8; i++)); do head -c $(( megabytes * 131072 )) /dev/urandom > "$work/data/part$i.bin"; done
genisoimage -quiet -J -o "$work/one.iso" "$work/data"
rm -rf "$work/data"
sync
extract_ours() { rm -rf "$work/out"; "$zarn" extract "$work/one.iso" / -od "$work/out"; }
extract_peer() { rm -rf "$work/out"; 7z x -y -o"$work/out" "$work/one.iso"; }
ours=$(median extract_ours)
peer=$(median extract_peer)
echo "extract ${megabytes} MiB: zarn ${ours}s  7z ${peer}s  ratio $(echo "$ours / $peer" | bc -l | cut -c1-5)"
