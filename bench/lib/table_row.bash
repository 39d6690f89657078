# Sourced by the side-by-side scripts: table_row NAME OURS PEER PEER_FIGURE GOAL [UNIT]
# appends one row to the table bench/run prints at the end (ours / peer, lower
# is better; a missing peer figure fails the row) and prints it.
table_row() {
  local name=$1 ours=$2 peer=$3 theirs=${4:-0} goal=$5 unit=${6:-s}
  [ -n "$theirs" ] || theirs=0
  printf 'table: %s ours %s %s, %s %s %s, goal <= %s\n' "$name" "$ours" "$unit" "$peer" "$theirs" "$unit" "$goal"
  if [ -n "${QV_BENCH_TABLE:-}" ]; then
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$ours" "$peer" "$theirs" "$goal" "$unit" >> "$QV_BENCH_TABLE"
  fi
}
