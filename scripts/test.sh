#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test, then the fuzz targets for a fixed number of executions
# (TAV_FUZZ_IN_TESTS=0 leaves the fuzzing out).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
build=${TAV_TEST_BUILD:-build-asan}
# With clang, one tree serves the tests and the fuzz round: everything is
# built once with both sanitizers and libFuzzer's coverage, instead of a
# second full build for fuzzing. Without clang, g++ builds the tests alone.
compiler=(-DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++)
command -v clang++ >/dev/null 2>&1 && compiler=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAV_FUZZ=ON)
fresh=()
if [ -f "$build/CMakeCache.txt" ] &&
   ! grep -q "^CMAKE_CXX_COMPILER:[A-Z]*=.*/${compiler[1]#-DCMAKE_CXX_COMPILER=}\$" "$build/CMakeCache.txt"; then
  fresh=(--fresh)  # a tree configured with the other compiler
fi
cmake "${fresh[@]}" -S . -B "$build" -G Ninja -DTAV_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo "${compiler[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
# clang's sanitizer runtime is a shared library here, loaded after libc.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1:verify_asan_link_order=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
(cd "$build" && ctest --output-on-failure -j"$(nproc)" --timeout 300)
# Then a short fuzzing round of every reader (FUZZ_RUNS executions each; see README).
if [ "${TAV_FUZZ_IN_TESTS:-1}" != 0 ]; then
  FUZZ_BUILD="$build" bash scripts/fuzz.sh
fi
