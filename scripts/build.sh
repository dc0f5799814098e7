#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh            -> build/       (release with debug info)
#   scripts/build.sh asan       -> build-asan/  (AddressSanitizer + UBSan)
#   scripts/build.sh fuzz       -> build-fuzz/  (clang, libFuzzer targets)
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}
case "$kind" in
  release) dir=build; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)    dir=build-asan; flags=(-DCMAKE_BUILD_TYPE=Debug -DTARVOK_SANITIZE=ON) ;;
  fuzz)    dir=build-fuzz; flags=(-DCMAKE_BUILD_TYPE=Debug -DTARVOK_FUZZ=ON -DTARVOK_TESTS=OFF
                                  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
