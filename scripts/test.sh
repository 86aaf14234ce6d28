#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test, then the fuzz targets for a fixed number of executions
# (TAV_FUZZ_IN_TESTS=0 leaves the fuzzing out).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
build=${TAV_TEST_BUILD:-build-asan}
cmake -S . -B "$build" -G Ninja -DTAV_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
(cd "$build" && ctest --output-on-failure -j"$(nproc)" --timeout 300)
# Then a short fuzzing round of every reader (FUZZ_RUNS executions each; see README).
if [ "${TAV_FUZZ_IN_TESTS:-1}" != 0 ]; then
  bash scripts/fuzz.sh
fi
