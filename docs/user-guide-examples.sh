#!/usr/bin/env bash
# Runs the examples of docs/user-guide.md against a fresh copy of the sample
# installation and prints each command with what it printed (stdout and
# stderr in order), for pasting into the guide:
#   docs/user-guide-examples.sh [BUILD_DIR] > /tmp/examples.txt
set -u
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$build/share/tav" "$work/home"
rm -f "$work/home/sim-state.json"
cd "$work"
export WYN_HOME=$work/home
ex() {
  echo "\$ tav $*"
  "$build/bin/tav" --lang en "$@" 2>&1 | sed -e "s|$work/home|build/share/tav|g" -e "s|$work/|/home/me/tav/|g"
  local rc=${PIPESTATUS[0]}
  [ "$rc" = 0 ] || echo "[exit $rc]"
}
section() { echo; echo "==== $1"; }

section getting-started
ex message 0 -31 2 -18
ex --version
section stations
ex stations
ex select 2
ex stations
ex select 1
section refusals
ex ext --entry 7 read
ex vv read v.m7v --entry abc
ex ext --file a.k7p read change 8 1000000000
section demo
ex demo --out build/session
section small
ex version
ex help pos write
section amplifier
ex identify --record
ex identify --entry 2
ex offline
ex run on 500
ex start 3
ex status
ex cancel
ex run off
ex online
section para
ex para read op.k7p
ex para show op.k7p 3
ex para set op.k7p 3=10000
ex para write op.k7p --all 3=250
ex para print op.k7p
ex para csv op.k7p op.csv
section ext
ex ext --file amp1ext.k7p --entry 1 read show 8 change 8 99 write save
ex ext --file amp1ext.k7p change 8 -5
ex ext --file amp1ext.k7p compare
ex ext --file amp1ext.k7p csv amp1ext.csv
section pos
ex pos read amp1.k7l --entry 1
ex pos show amp1.k7l
ex pos set amp1.k7l 4 0 0 4500 120 0.5 3 1 0
ex pos set amp1.k7l 4 0 9 4500 120 0.5 3 1 0
ex pos write amp1.k7l --all --entry 1
ex pos point 4 --entry 1
ex pos export amp1.k7l amp1.csv
section vv
ex vv read amp2.m7v --entry 2
ex vv change amp2.m7v 3 0 0 3300 90 20 20 0 0 0 0
ex vv change amp2.m7v 3 0 0 3300 90 200000 20 0 0 0 0
ex vv write amp2.m7v --entry 2
ex vv csv amp2.m7v amp2.csv
section json
ex --json identify --entry 2
ex --json status
ex --json pos point 4
ex --json para show op.k7p 3
ex --json ext --entry 9 read
section backup
ex backup line-backup
ex ext --entry 1 read change 3 4500 write
ex vv read amp2b.m7v --entry 2
ex vv change amp2b.m7v 2 0 0 4200 80 25 30 0.25 5 1 1
ex vv write amp2b.m7v --entry 2
ex diff line-backup/entry01-station001.k7p --entry 1
ex restore line-backup --dry-run
ex restore line-backup
ex diff line-backup/entry02-station002.m7v amp2b.m7v
ex --json diff line-backup/entry02-station002.m7v amp2b.m7v
ex export line-backup/entry01-station001.k7l --format csv
ex export line-backup/operator.k7p --out op-table.json
cp line-backup/operator.k7p op-copy.k7p
ex para set op-copy.k7p 5=77
ex import op-table.json --into op-copy.k7p
ex diff line-backup/operator.k7p op-copy.k7p
section lang
ex_ja() { echo "\$ tav --lang ja $*"; "$build/bin/tav" --lang ja "$@" 2>&1 | sed -e "s|$work/home|build/share/tav|g"; }
ex_ja identify
ex_ja ext --file amp1ext.k7p change 8 -5
section trace
"$build/bin/tav" --lang en trace 5 > "$work/trace.log" 2>&1 &
sleep 0.5
ex ext read
wait
