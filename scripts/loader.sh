#!/usr/bin/env bash
# Builds the loader if needed and runs a loader session against the built-in
# simulator of the sample installation. Options before the session are tav's
# own (--lang ja|en); the saved files go to build/session/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TAV_BUILD:-build}
log="$build/loader-build.log"
mkdir -p "$build"
if [ ! -f "$build/build.ninja" ]; then
  echo "Configuring the build in $build/ ..."
  if ! cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$log" 2>&1; then
    tail -n 30 "$log"
    echo "The configuration failed (full log: $log). See README.md, \"The two commands\", for what it needs." >&2
    exit 1
  fi
fi
# Only what the session needs: the library, its component, the language
# modules, the sample installation, tav and servo-sim (the tests are built by
# scripts/test.sh).
if [ ! -x "$build/bin/tav" ]; then
  echo "Building the loader (the first time takes a few minutes; log: $log) ..."
fi
if ! cmake --build "$build" -j"$(nproc)" --target tav servo-sim >"$log" 2>&1; then
  grep -E "error|Error" "$log" | head -n 20 || tail -n 30 "$log"
  echo "The build failed (full log: $log)." >&2
  exit 1
fi
exec "$build/bin/tav" --home "$build/share/tav" "$@" demo --out "$build/session"
