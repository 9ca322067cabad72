#!/usr/bin/env bash
# Runs every fuzz target briefly from its seed corpus: a crash, a leak or a hang fails the run.
set -euo pipefail
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds=()
  [ -d "$here/seeds/$name" ] && seeds+=("$here/seeds/$name")
  [ -d "$build/fuzz/seeds/$name" ] && seeds+=("$build/fuzz/seeds/$name")
  echo "== $name (${seconds}s)"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
      "$work" "${seeds[@]}" >"$work.log" 2>&1; then
    tail -n 60 "$work.log"
    status=1
  fi
  rm -rf "$work" "$work.log"
done
exit $status
