#!/usr/bin/env bash
# Runs every fuzz target of a build folder for a few seconds each, starting from the seeds.
# usage: fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
seconds=${2:-20}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for bin in "$build"/fuzz/*_fuzz; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin" _fuzz)
  work=$(mktemp -d)
  seeds="$here/corpus/$name"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
  echo "fuzzing $name for ${seconds}s"
  if ! (cd "$work" && "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$work" \
        > "$work/log.txt" 2>&1); then
    cat "$work/log.txt" >&2
    status=1
  else
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$work/log.txt" || true
  fi
  rm -rf "$work"
done
exit $status
