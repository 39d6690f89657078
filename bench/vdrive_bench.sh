#!/usr/bin/env bash
# Reading 1 GiB from a mounted ISO image: our drive (qvhelper) beside fuseiso
# and, where the kernel mounts iso9660, a loop mount of the same image (goals:
# at least fuseiso's speed, at least 0.8 of the loop mount). Runs as root in a
# private mount namespace; each time is the median of three cold reads.
# QV_BUILD names the build folder; QV_BENCH_MB shrinks the image.
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/lib/table_row.bash"
if [ "${QV_BENCH_IN_NAMESPACE:-}" != 1 ]; then
  QV_BENCH_IN_NAMESPACE=1 exec unshare --mount --propagation private bash "$0" "$@"
fi
build=${QV_BUILD:-$(cd "$(dirname "$0")/.." && pwd)/build/release}
megabytes=${QV_BENCH_MB:-1024}
work=$(mktemp -d "${TMPDIR:-/tmp}/qvbench-XXXXXX")
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
helper=""
cleanup() {
  [ -n "$helper" ] && kill "$helper" 2>/dev/null && wait "$helper" 2>/dev/null || true
  fusermount3 -u "$work/fuseiso" 2>/dev/null || fusermount -u "$work/fuseiso" 2>/dev/null || true
  umount "$work/loop" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/data"
for ((i = 0; i < 4; i++)); do head -c $(( megabytes * 262144 )) /dev/urandom > "$work/data/part$i.bin"; done
genisoimage -quiet -J -o "$work/one.iso" "$work/data"
rm -rf "$work/data"

read_all() { cat "$1"/*.bin > /dev/null; }
median() {
  local times=()
  for _ in 1 2 3; do
    sync; echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true
    local start end
    start=$(date +%s.%N); "$@"; end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | sed -n 2p
}

"$build/programs/qvhelper" & helper=$!
for _ in $(seq 100); do "$build/programs/zarn" listvd >/dev/null 2>&1 && break; sleep 0.1; done
"$build/programs/zarn" setvdnum 1 >/dev/null
"$build/programs/zarn" mount "$work/one.iso" D: >/dev/null
ours=$(median read_all "$XDG_RUNTIME_DIR/quendravine/drives/D")
echo "ours     ${megabytes} MiB: ${ours}s"

mkdir -p "$work/fuseiso"
if fuseiso "$work/one.iso" "$work/fuseiso" 2>/dev/null; then
  peer=$(median read_all "$work/fuseiso")
  echo "fuseiso  ${megabytes} MiB: ${peer}s  speed ratio $(echo "$peer / $ours" | bc -l | cut -c1-5) (goal >= 1.0)"
  table_row "virtual drive read ${megabytes} MiB" "$ours" "fuseiso" "$peer" 1.0
else
  echo "fuseiso: cannot mount here"
  table_row "virtual drive read ${megabytes} MiB" "$ours" "fuseiso (cannot mount)" 0 1.0
fi
mkdir -p "$work/loop"
if mount -o loop,ro "$work/one.iso" "$work/loop" 2>/dev/null; then
  loop=$(median read_all "$work/loop")
  echo "loop     ${megabytes} MiB: ${loop}s  speed ratio $(echo "$loop / $ours" | bc -l | cut -c1-5) (goal >= 0.8)"
  table_row "virtual drive read ${megabytes} MiB" "$ours" "loop mount" "$loop" 1.25
else
  echo "loop mount: the kernel does not mount iso9660 here"
  table_row "virtual drive read ${megabytes} MiB" "$ours" "loop mount (none here)" 0 1.25
fi
