#!/usr/bin/env bash
# Builds diary_bench in its own build folder and runs it with repetitions.
# The summary at the end of the output gives medians, the spread of the
# repetitions and the ratios ours/SQLite; every run also goes to a JSON file.
#
#   bench/run_diary_bench.sh [benchmark flags...]
#   REPS=5 BUILD_DIR=/path OUT=/path/result.json bench/run_diary_bench.sh
#
# The data live in a fresh folder under $TMPDIR (default /tmp); pass
# --diary_dir=DIR to put them elsewhere, --diary_sizes=3650,36500 to choose
# the sizes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVOK_TESTS=OFF >/dev/null
cmake --build "$build" --target diary_bench
exec "$build/bin/diary_bench" --benchmark_repetitions="${REPS:-3}" \
  --benchmark_out="${OUT:-$build/diary_bench.json}" --benchmark_out_format=json "$@"
