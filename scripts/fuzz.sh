#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each one on its
# corpus (fuzz/corpus/<name>) for a fixed number of executions, so a round
# tests the same amount whatever the machine's load.
#
#   FUZZ_RUNS      executions per target (default 2000)
#   FUZZ_SECONDS   run each target this long instead (a long run; no count)
#   FUZZ_TARGETS   space-separated names to run (default: all)
#   FUZZ_MERGE=1   afterwards, merge the inputs that add coverage into the
#                  repository's corpus fuzz/corpus/<name> (commit them)
#   FUZZ_BUILD     build folder (default: build-fuzz)
#   FUZZ_JOBS      build jobs (default: 2)
#
# New inputs found during a run go to <build>/fuzz/corpus/<name>; a crash
# leaves its input in <build>/fuzz/artifacts/ and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD:-build-fuzz}
all="servo_set servo_con para_def newpara_def para_file newpara_file iti_file itivv_file ini field_readers sim_state wire_sim wire_component"
targets=${FUZZ_TARGETS:-$all}
if [ -n "${FUZZ_SECONDS:-}" ]; then
  budget=(-max_total_time="$FUZZ_SECONDS")
  what="${FUZZ_SECONDS}s"
else
  budget=(-runs="${FUZZ_RUNS:-2000}")
  what="${FUZZ_RUNS:-2000} runs"
fi

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz.sh: clang++ not found; fuzzing skipped" >&2
  exit 0
fi
# A tree already configured for fuzzing (scripts/test.sh's) is only brought up to date.
if ! grep -q '^TAV_FUZZ:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DTAV_FUZZ=ON -DTAV_BUILD_TESTS=OFF \
    -DTAV_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"${FUZZ_JOBS:-2}" --target tav_fuzz

# The sanitizer runtime is shared (the libraries keep --no-undefined), so it is
# not first in the load order of the programs; that is fine here.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}:verify_asan_link_order=0
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TAV_HOST_DIR="$PWD/$build/bin" TAV_SYSTEM_LANGID=0411
artifacts="$build/fuzz/artifacts"
mkdir -p "$artifacts"
failed=()
for name in $targets; do
  work="$build/fuzz/corpus/$name"
  mkdir -p "$work" "fuzz/corpus/$name"
  log="$build/fuzz/$name.log"
  # The work corpus first: new inputs are written there, the seeds stay as they are.
  start=$(date +%s.%N)
  if "$build/fuzz/fuzz_$name" "${budget[@]}" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$artifacts/$name-" \
       "$work" "fuzz/corpus/$name" >"$log" 2>&1; then
    end=$(date +%s.%N)
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    rate=$(awk -v r="$runs" -v s="$start" -v e="$end" 'BEGIN { printf "%.0f", (e > s) ? r / (e - s) : 0 }')
    printf 'fuzz %-15s ok   %8s runs  %6s exec/s  (%s)\n' "$name" "$runs" "$rate" "$what"
    if [ "${FUZZ_MERGE:-0}" = 1 ]; then
      "$build/fuzz/fuzz_$name" -merge=1 -timeout=10 "fuzz/corpus/$name" "$work" >>"$log" 2>&1 ||
        echo "fuzz $name: merge failed, see $log" >&2
    fi
  else
    printf 'fuzz %-15s FAIL  see %s\n' "$name" "$log"
    grep -m5 -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" || true
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: crashes in: ${failed[*]} (inputs in $artifacts)" >&2
  exit 1
fi
