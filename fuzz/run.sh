#!/usr/bin/env bash
# Runs every fuzz target for a short while, seeded from its corpus directories.
# usage: fuzz/run.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
shopt -s nullglob
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
corpus="$here/../tests/data/third_party"

# Seeds of each target: directories named in fuzz/<target>.seeds, one per line,
# relative to tests/data/third_party/ in this repository.
status=0
for target in "$build"/fuzz/*_fuzz; do
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds=()
  if [ -f "$here/$name.seeds" ]; then
    while read -r dir; do
      [ -n "$dir" ] && [ -d "$corpus/$dir" ] && seeds+=("$corpus/$dir")
    done < "$here/$name.seeds"
  fi
  echo "== fuzzing $name for ${seconds}s (${#seeds[@]} seed directories)"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$work/" "$work" "${seeds[@]}" 2>"$work/log"; then
    tail -n 60 "$work/log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "$work/log" | tail -n 2 || true
  fi
  rm -rf "$work"
done
exit $status
