#!/usr/bin/env bash
# The organiser end to end at full size (a ten-year diary, 1,000 events,
# 10,000 contacts), in one run: start-up to the window shown and the memory
# then held, beside a bare Qt window (startup_bench); a keystroke, a day
# click, a search and a week-view refresh, each beside its baseline
# (organiser_bench). Prints both tables.
#
#   bench/run_organiser_bench.sh            (RUNS=N for the repetitions)
#   BUILD_DIR=/path bench/run_organiser_bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVOK_TESTS=OFF >/dev/null
log=$(mktemp)
if ! cmake --build "$build" --target startup_bench organiser_bench >"$log" 2>&1; then
  cat "$log"
  exit 1
fi
rm -f "$log"
runs=${RUNS:-15}
"$build/bin/startup_bench" --runs="$runs"
echo
"$build/bin/organiser_bench" --runs="$runs"
