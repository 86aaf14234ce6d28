#!/usr/bin/env bash
# Builds the loader if needed and runs a loader session against the built-in
# simulator of the sample installation. Options before the session are tav's
# own (--lang ja|en); the saved files go to build/session/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh loader
build=${TAV_BUILD:-build}
log="$build/loader-build.log"
mkdir -p "$build"
# The session needs no test or benchmark, so a new tree builds neither (and
# needs neither GoogleTest nor Google Benchmark); a tree someone configured
# with them keeps them.
options=(-DTAV_BUILD_TESTS=OFF -DTAV_BUILD_BENCH=OFF)
[ -f "$build/CMakeCache.txt" ] && options=()
if ! cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >"$log" 2>&1; then
  tail -n 30 "$log"
  echo "The configuration failed (full log: $log). See README.md, \"The two commands\", for what it needs." >&2
  exit 1
fi
# Only what the session needs: the library, its component, the language
# modules, the sample installation, tav and servo-sim.
[ -x "$build/bin/tav" ] || echo "Building the loader (the first time takes a few minutes; log: $log) ..." >&2
status=0
if [ -t 2 ]; then
  # ninja's status line, one updating line on the terminal; the full log in $log.
  set +e
  cmake --build "$build" -j"$(nproc)" --target tav servo-sim 2>&1 | tee "$log" |
    awk -v w="$(( $(tput cols 2>/dev/null || echo 80) - 1 ))" \
      '/^\[[0-9]+\/[0-9]+\]/ { printf "\r\033[K%s", substr($0, 1, w) > "/dev/stderr"; fflush("/dev/stderr") }
       END { printf "\r\033[K" > "/dev/stderr" }'
  status=${PIPESTATUS[0]}
  set -e
else
  cmake --build "$build" -j"$(nproc)" --target tav servo-sim >"$log" 2>&1 || status=$?
fi
if [ "$status" != 0 ]; then
  grep -E "error|Error" "$log" | head -n 20 || tail -n 30 "$log"
  echo "The build failed (full log: $log)." >&2
  exit 1
fi
exec "$build/bin/tav" --home "$build/share/tav" "$@" demo --out "$build/session"
