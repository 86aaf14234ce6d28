#!/usr/bin/env bash
# Builds the loader if needed and runs a loader session against the built-in
# simulator of the sample installation.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TAV_BUILD:-build}
if [ ! -x "$build/bin/tav" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" >/dev/null
exec "$build/bin/tav" --home "$build/share/tav" "$@" demo --out "$build/session"
