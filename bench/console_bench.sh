#!/usr/bin/env bash
# The console front end (zarn, which starts the program in console mode) beside
# its peers, in one run on the same fixtures, each pair timed in turn, every
# time the median of three runs:
#   zarn list big.iso / -r         against isoinfo -J -f     (100,000 files; goal <= 1.0)
#   zarn extract files.iso /       against 7z x              (20,000 files, ~1 GB; goal <= 0.8)
#   zarn create of 20,000 distinct 4 KiB files  against genisoimage -J  (goal <= 1.0)
#   zarn list small.iso /          against isoinfo -J -f     (one file: start-up; within 30 ms)
# QV_BUILD names the build folder (bench/run passes the release build);
# QV_BENCH_FILES, QV_BENCH_SMALL_FILES and QV_BENCH_MB shrink the fixtures.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib/table_row.bash"
build=${QV_BUILD:-$here/../build/release}
zarn="$build/programs/zarn"
files=${QV_BENCH_FILES:-100000}
small=${QV_BENCH_SMALL_FILES:-20000}
megabytes=${QV_BENCH_MB:-1000}
work=$(mktemp -d "${TMPDIR:-/tmp}/qvbench-XXXXXX")
trap 'rm -rf "$work"' EXIT
for tool in isoinfo 7z genisoimage; do
  command -v "$tool" >/dev/null || { echo "console_bench: the peer $tool is missing" >&2; exit 1; }
done

now() { date +%s.%N; }
# pair NAME_OURS NAME_PEER: runs the shell functions $1 and $2 in turn three
# times; sets ours and peer to the medians.
pair() {
  local a=() b=() s e
  for _ in 1 2 3; do
    s=$(now); "$1" >/dev/null 2>&1; e=$(now); a+=("$(echo "$e - $s" | bc -l)")
    s=$(now); "$2" >/dev/null 2>&1; e=$(now); b+=("$(echo "$e - $s" | bc -l)")
  done
  ours=$(printf '%s\n' "${a[@]}" | sort -g | sed -n 2p)
  peer=$(printf '%s\n' "${b[@]}" | sort -g | sed -n 2p)
}

# 100,000 small files in 1,000 folders.
mkdir -p "$work/tree"
for ((f = 0; f < files / 100; f++)); do
  mkdir "$work/tree/folder $f"
  (cd "$work/tree/folder $f" && for ((i = 0; i < 100; i++)); do echo "$i" > "file number $i.txt"; done)
done
genisoimage -quiet -input-charset utf-8 -J -joliet-long -o "$work/big.iso" "$work/tree"
rm -rf "$work/tree"
list_ours() { "$zarn" list "$work/big.iso" / -r; }
list_peer() { isoinfo -J -f -i "$work/big.iso"; }
pair list_ours list_peer
table_row "zarn list 100,000 files" "$ours" "isoinfo -J -f" "$peer" 1.0
rm -f "$work/big.iso"

# 20,000 files of about 1 GB in all, in 200 folders.
mkdir -p "$work/tree"
head -c $((4 << 20)) /dev/urandom > "$work/block"
average=$(( megabytes * 1048576 / small ))
for ((f = 0; f < 200; f++)); do mkdir "$work/tree/d$f"; done
for ((i = 0; i < small; i++)); do
  head -c $(( (i * 7919) % (2 * average + 1) )) "$work/block" > "$work/tree/d$((i % 200))/file_$i.dat"
done
genisoimage -quiet -input-charset utf-8 -J -joliet-long -o "$work/files.iso" "$work/tree"
rm -rf "$work/tree"
sync
extract_ours() { rm -rf "$work/out"; "$zarn" extract "$work/files.iso" / -od "$work/out"; sync; }
extract_peer() { rm -rf "$work/out"; 7z x -y -o"$work/out" "$work/files.iso"; sync; }
pair extract_ours extract_peer
table_row "zarn extract 20,000 files" "$ours" "7z x" "$peer" 0.8
rm -rf "$work/out" "$work/files.iso"

# 20,000 distinct files of 4 KiB each.
mkdir -p "$work/src"
for ((f = 0; f < 100; f++)); do mkdir "$work/src/d$f"; done
for ((i = 0; i < small; i++)); do
  { printf '%08d' "$i"; head -c 4088 "$work/block"; } > "$work/src/d$((i % 100))/f$i"
done
sync
create_ours() { rm -f "$work/ours.iso"; "$zarn" create -o "$work/ours.iso" -add "$work/src" /; }
create_peer() { rm -f "$work/peer.iso"; genisoimage -quiet -J -o "$work/peer.iso" "$work/src"; }
pair create_ours create_peer
table_row "zarn create 20,000 x 4 KiB" "$ours" "genisoimage -J" "$peer" 1.0
rm -rf "$work/src" "$work/ours.iso" "$work/peer.iso"

# Start-up: a one-file image. The goal is 30 ms over the peer, put as a ratio.
mkdir -p "$work/one" && echo hello > "$work/one/a.txt"
genisoimage -quiet -J -o "$work/small.iso" "$work/one"
start_ours() { "$zarn" list "$work/small.iso" /; }
start_peer() { isoinfo -J -f -i "$work/small.iso"; }
pair start_ours start_peer
table_row "zarn list one file (start-up)" "$ours" "isoinfo -J -f" "$peer" "$(echo "($peer + 0.030) / $peer" | bc -l | cut -c1-6)"
