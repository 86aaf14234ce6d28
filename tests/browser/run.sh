#!/bin/sh
# The browser tests of tav serve: skipped (exit 77, with the reason) only
# when node, chromium or the npm modules of scripts/deps.sh test are missing.
# usage: run.sh SOURCE_DIR BUILD_DIR
src=$1 build=$2
command -v node >/dev/null 2>&1 || { echo "SKIPPED: node is not installed (scripts/deps.sh test)"; exit 77; }
[ -x /usr/bin/chromium ] || { echo "SKIPPED: /usr/bin/chromium is not installed (scripts/deps.sh test)"; exit 77; }
[ -d "$src/node_modules/playwright-core" ] || { echo "SKIPPED: playwright-core is not installed (scripts/deps.sh test runs npm ci)"; exit 77; }
exec node "$src/tests/browser/serve_browser.mjs" "$src" "$build"
