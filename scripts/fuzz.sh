#!/usr/bin/env bash
# Runs every fuzz target of build-fuzz/ for the given seconds each, seeded
# from its corpus folder under fuzz/corpus/. A crash fails the run and leaves
# its input in build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
mkdir -p build-fuzz/crashes
status=0
for target in build-fuzz/bin/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=fuzz/corpus/${name#fuzz_}
  work=build-fuzz/corpus/${name#fuzz_}
  mkdir -p "$work"
  echo "fuzz: $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix=build-fuzz/crashes/"$name"- -print_final_stats=0 \
        "$work" $( [ -d "$corpus" ] && echo "$corpus" ) 2>build-fuzz/"$name".log; then
    tail -n 60 build-fuzz/"$name".log
    status=1
  fi
done
exit $status
