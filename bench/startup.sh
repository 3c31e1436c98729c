#!/usr/bin/env bash
# Start-up: milliseconds from the start of the process (the fork and exec of
# wine64) to its icon on screen in the tray's first cell, for the manager and
# for mintray, several runs each, alternating. Two cases:
#   cold: Wine's desktop process (which draws the tray) starts with the
#         program, as on the first tray program of a session;
#   warm: the desktop is already up, held by bench/holddesk.exe.
# The wineserver is kept running throughout; one start of each program goes
# unrecorded first so that files are in the page cache.
# Usage: bench/startup.sh [RUNS]   (default 7 per program and case)
set -euo pipefail
source "$(dirname "$0")/lib.sh"

runs=${1:-7}
build_app
build_tools
probe=$bench_tools/trayprobe
work=$bench_out/startup
rm -rf "$work"
mkdir -p "$work"
export TALVIK_SIM_STATE=$work/talvik-sim.ini TALVIK_SIM_LOG=$work/talvik-sim.log
set_state 1 0

trap bench_cleanup EXIT
start_x
start_wine

# Waits for a process that is not our child to be gone.
wait_gone_pid() {
  local i
  for i in $(seq 100); do [ -e "/proc/$1" ] || return 0; sleep 0.05; done
  return 1
}

one_start() {   # exe case -> prints milliseconds
  local exe=$1 out pid ms
  out=$("$probe" startup --timeout 30 -- "$WINE" "$bench_app/$exe")
  pid=$(awk '/^pid /{print $2}' <<<"$out")
  ms=$(awk '/^icon_ms /{print $2}' <<<"$out")
  [ -n "$pid" ] && { kill "$pid" 2>/dev/null || true; wait_gone_pid "$pid" || true; }
  # The next run must find the tray empty (and, cold, the desktop gone).
  "$probe" wait-gone 15 || log "the tray stayed after $exe ended"
  if [ "$2" = cold ]; then
    local i
    for i in $(seq 100); do unix_pid_of explorer.exe >/dev/null || break; sleep 0.1; done
  fi
  echo "${ms:-fail}"
}

for case_ in cold warm; do
  holder=""
  if [ $case_ = warm ]; then
    "$WINE" "$bench_app/holddesk.exe" 3600 >/dev/null 2>&1 &
    holder=$!
    track "$holder"
    sleep 2
  fi
  one_start qelmng.exe $case_ >/dev/null
  one_start mintray.exe $case_ >/dev/null
  : >"$work/$case_-qelmng.txt"
  : >"$work/$case_-mintray.txt"
  for i in $(seq "$runs"); do
    for prog in qelmng mintray; do
      ms=$(one_start $prog.exe $case_)
      echo "$ms" >>"$work/$case_-$prog.txt"
      log "$case_ $prog run $i: $ms ms"
    done
  done
  if [ -n "$holder" ]; then kill "$holder" 2>/dev/null || true; wait "$holder" 2>/dev/null || true; fi
done

echo "== start-up: process start to icon on screen, ms ($runs runs each) =="
for case_ in cold warm; do
  for prog in qelmng mintray; do
    printf '%-4s %-8s %s   runs: %s\n' $case_ $prog \
      "$(grep -v fail "$work/$case_-$prog.txt" | stats)" "$(tr '\n' ' ' <"$work/$case_-$prog.txt")"
  done
done
echo "(cold: the desktop process that draws the tray starts with the program; warm: it is already up)"
