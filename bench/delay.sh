#!/usr/bin/env bash
# Display delay: the time from a change of the simulated library's state
# file to the changed icon on screen, over many changes alternating stopped
# and running, with pauses chosen so the changes fall at every phase of the
# manager's 500 ms poll. bench/trayprobe does the changes and reads the
# tray cell's pixels from the X server every 2 ms. The bound is one period
# (500 ms) plus the time the tray takes to draw.
# Usage: bench/delay.sh [CHANGES]   (default 60)
set -euo pipefail
source "$(dirname "$0")/lib.sh"

changes=${1:-60}
build_app
build_tools
probe=$bench_tools/trayprobe
work=$bench_out/delay
rm -rf "$work"
mkdir -p "$work"
export TALVIK_SIM_STATE=$work/talvik-sim.ini TALVIK_SIM_LOG=$work/talvik-sim.log
: >"$TALVIK_SIM_LOG"
set_state 0 0

trap bench_cleanup EXIT
start_x
start_wine
"$WINE" "$bench_app/qelmng.exe" >/dev/null 2>&1 &
track $!
for _ in $(seq 300); do
  [ "$("$probe" class 0 | cut -d' ' -f1)" = stopped ] && break
  sleep 0.1
done
sleep 2

rc=0
"$probe" delay --state "$TALVIK_SIM_STATE" --changes "$changes" --poll-ms 2 --seed "${BENCH_SEED:-1}" \
  >"$work/delay.txt" || rc=$?
echo "== display delay: state file change to changed tray pixels, ms =="
grep -E '^delay_' "$work/delay.txt"
grep -q 'not shown' "$work/delay.txt" && grep 'not shown' "$work/delay.txt"
over=$(awk '/^change .*: [0-9.]+ ms$/ {v=$(NF-1); if (v > 500) n++} END {print n+0}' "$work/delay.txt")
echo "changes over one 500 ms period: $over of $changes (each change: $work/delay.txt)"
exit $rc
