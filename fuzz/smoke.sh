#!/usr/bin/env bash
# Runs every fuzz target briefly from its seed corpus, several at a time: a
# crash, a leak or a hang fails the run.
set -euo pipefail
build=$1
seconds=$2
jobs=${FUZZ_JOBS:-$(( ($(nproc 2>/dev/null || echo 2) + 1) / 2 ))}
here=$(cd "$(dirname "$0")" && pwd)

# One target; its log is shown only when it fails.
run_one() {
  local target=$1 name work seeds=()
  name=$(basename "$target")
  work=$(mktemp -d)
  [ -d "$here/seeds/$name" ] && seeds+=("$here/seeds/$name")
  [ -d "$build/fuzz/seeds/$name" ] && seeds+=("$build/fuzz/seeds/$name")
  local status=0
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    "$work" "${seeds[@]}" >"$work.log" 2>&1 || status=1
  if [ $status -ne 0 ]; then
    printf '== %s failed\n%s\n' "$name" "$(tail -n 60 "$work.log")"
  else
    echo "== $name (${seconds}s) ok"
  fi
  rm -rf "$work" "$work.log"
  return $status
}

status=0
running=0
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  run_one "$target" &
  running=$((running + 1))
  if [ $running -ge "$jobs" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
done
while [ $running -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status
