#!/usr/bin/env bash
# The one list of what this project needs from Debian, by job. Installs what is
# missing (apt-get update once, then apt-get install -y; sudo when not root)
# and says so in one line; where it cannot, prints the command and fails.
#
#   scripts/deps.sh loader   what scripts/loader.sh needs (build + run the session)
#   scripts/deps.sh test     what scripts/test.sh needs (adds tests, benchmarks, fuzzing)
#   scripts/deps.sh --list JOB   print the package names only
set -euo pipefail

# libcpp-httplib-dev and libjs-chart.js: `tav serve` and the chart of its run page.
loader_pkgs=(cmake ninja-build g++ pkg-config binutils nlohmann-json3-dev libcli11-dev libcpp-httplib-dev libjs-chart.js)
# chromium and node (with npm): the browser tests, driven by playwright-core from npm;
# fonts-ipafont-gothic: the Japanese names in their screenshots.
test_pkgs=("${loader_pkgs[@]}" libgtest-dev libgmock-dev libbenchmark-dev clang dpkg-dev cloc chromium fonts-ipafont-gothic)

list_only=0
if [ "${1:-}" = --list ]; then list_only=1; shift; fi
job=${1:-test}
case "$job" in
  loader) pkgs=("${loader_pkgs[@]}") ;;
  test) pkgs=("${test_pkgs[@]}") ;;
  *) echo "usage: scripts/deps.sh [--list] loader|test" >&2; exit 2 ;;
esac
if [ "$list_only" = 1 ]; then printf '%s\n' "${pkgs[@]}"; exit 0; fi

missing=()
for pkg in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ "$job" = test ]; then
  command -v node >/dev/null 2>&1 || missing+=(nodejs)
  command -v npm >/dev/null 2>&1 || missing+=(npm)
fi

# playwright-core for the browser tests, pinned by package-lock.json, into the
# repository's node_modules (it downloads no browser: the tests use chromium).
npm_modules() {
  [ "$job" = test ] || return 0
  local root
  root=$(cd "$(dirname "$0")/.." && pwd)
  [ -d "$root/node_modules/playwright-core" ] && return 0
  echo "deps: installing the browser-test modules (npm ci) ..." >&2
  (cd "$root" && npm ci --no-audit --no-fund --loglevel=error)
}

if [ ${#missing[@]} -eq 0 ]; then npm_modules; exit 0; fi

if ! command -v apt-get >/dev/null 2>&1; then
  echo "deps: missing ${missing[*]}; this is not a Debian system: install the equivalents by hand." >&2
  exit 1
fi
sudo=()
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo=(sudo)
  else
    echo "deps: missing ${missing[*]}; run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
fi
echo "deps: installing ${missing[*]} (apt-get) ..." >&2
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
if ! { "${sudo[@]}" apt-get update -qq &&
       "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "deps: the install failed; run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
rm -f "$log"
npm_modules
