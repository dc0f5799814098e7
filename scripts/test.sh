#!/usr/bin/env bash
# Sets up, builds and runs every test: the plain build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzz target for a
# bounded time. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

bash scripts/build.sh release
ctest --test-dir build --output-on-failure -j "$(nproc)"

bash scripts/build.sh asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan_suppressions.txt:print_suppressions=0 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"

bash scripts/build.sh fuzz
bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
