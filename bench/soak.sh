#!/usr/bin/env bash
# Soak and tick cost: the 64-bit manager under Wine with the simulated library
# while the state file cycles running -> alarm -> stopped, side by side with
# mintray (the least a 500 ms tray poller can do). Prints resident memory,
# open handles and GDI objects of the manager's Windows process at the start
# and end of the steady part, journal lines per tick, and CPU time per tick
# of both programs with their ratio.
# Usage: bench/soak.sh [DURATION] [--warmup SECONDS] [--switch SECONDS]
#   DURATION of the steady part: 1200 (seconds), 90s, 20m, 1h; default 20m
#   (2,400 ticks). The warm-up before it is 60 s unless told.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

duration=20m
warmup=60
switch=10
while [ $# -gt 0 ]; do
  case $1 in
    --warmup) warmup=$2; shift 2 ;;
    --switch) switch=$2; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) duration=$1; shift ;;
  esac
done
seconds_of() {
  case $1 in
    *h) echo $(( ${1%h} * 3600 )) ;;
    *m) echo $(( ${1%m} * 60 )) ;;
    *s) echo "${1%s}" ;;
    *) echo "$1" ;;
  esac
}
steady=$(seconds_of "$duration")
[ "$steady" -gt 0 ] 2>/dev/null || { echo "bad duration: $duration" >&2; exit 2; }
# Each icon is loaded (and its GDI objects made) the first time its state
# comes round: a warm-up shorter than one cycle counts those as growth.
[ "$warmup" -ge $((3 * switch)) ] ||
  echo "note: the warm-up (${warmup}s) is shorter than one state cycle ($((3 * switch))s)" >&2

build_app
build_tools
probe=$bench_tools/trayprobe
work=$bench_out/soak
rm -rf "$work"
mkdir -p "$work"
export TALVIK_SIM_STATE=$work/talvik-sim.ini TALVIK_SIM_LOG=$work/talvik-sim.log
: >"$TALVIK_SIM_LOG"
set_state 1 0

trap bench_cleanup EXIT
start_x
start_wine
clk_tck=$(getconf CLK_TCK)
loadavg_start=$(cut -d' ' -f1-3 /proc/loadavg)

# The manager first, so its icon is the tray's first cell; mintray second.
"$WINE" "$bench_app/qelmng.exe" >/dev/null 2>&1 &
qel=$!
track "$qel"
for _ in $(seq 300); do
  [ "$("$probe" class 0 | cut -d' ' -f1)" = running ] && break
  sleep 0.1
done
"$WINE" "$bench_app/mintray.exe" >/dev/null 2>&1 &
mint=$!
track "$mint"
for _ in $(seq 300); do
  [ "$("$probe" class 1 | cut -d' ' -f1)" = other ] && break
  sleep 0.1
done
[ "$("$probe" class 1 | cut -d' ' -f1)" = other ] ||
  log "mintray's icon did not show: the tray's second cell shows $("$probe" class 1)"
t_launch=$(date +%s.%N)
log "qelmng pid $qel, mintray pid $mint on $DISPLAY; warm-up ${warmup}s, steady ${steady}s"

# The state cycle, and a watch on the manager's cell that shows the tray kept
# up with it all along (a light poll: 20 looks a second).
(
  nap=""
  trap '[ -n "$nap" ] && kill "$nap" 2>/dev/null; exit 0' TERM
  pause() { sleep "$switch" & nap=$!; wait "$nap"; }
  # The manager starts in running. Switches fall half a period off the
  # whole periods, so none is near either end of the steady part.
  echo "$(date +%s.%N) running" >>"$work/switches.txt"
  sleep "$(echo "$switch / 2" | bc -l)" & nap=$!; wait "$nap"
  while :; do
    for st in "1 2 alarm" "0 0 stopped" "1 0 running"; do
      set -- $st
      set_state "$1" "$2"
      echo "$(date +%s.%N) $3" >>"$work/switches.txt"
      pause
    done
  done
) &
cycler=$!
track "$cycler"
"$probe" watch --seconds $((warmup + steady)) --poll-ms 50 --cell 0 >"$work/watch.txt" &
watcher=$!
track "$watcher"

alive() {
  local p rc
  for p in "$qel" "$mint"; do
    kill -0 "$p" 2>/dev/null && continue
    rc=0
    wait "$p" || rc=$?
    log "$([ "$p" = "$qel" ] && echo qelmng || echo mintray) (pid $p) has ended, exit status $rc"
    return 1
  done
}

# One sample: elapsed seconds, memory and CPU of both programs.
sample() {
  local t
  t=$(date +%s.%N)
  printf '%.1f %s %s %s %s %s %s %s\n' "$(echo "$t - $t_launch" | bc)" \
    "$(proc_kb "$qel" VmRSS)" "$(proc_kb "$qel" RssAnon)" "$(proc_cpu "$qel")" \
    "$(proc_kb "$mint" VmRSS)" "$(proc_kb "$mint" RssAnon)" "$(proc_cpu "$mint")" \
    "$(cut -d' ' -f1 /proc/loadavg)"
}
echo "# t_s qel_vmrss_kb qel_rssanon_kb qel_cpu_ticks min_vmrss_kb min_rssanon_kb min_cpu_ticks load1" \
  >"$work/samples.txt"

# Everything read at one end of the steady part.
snapshot() {   # name
  local name=$1
  date +%s.%N >"$work/$name.time"
  sample >"$work/$name.sample"
  cat "$work/$name.sample" >>"$work/samples.txt"
  { "$WINE" "$bench_app/procinfo.exe" qelmng.exe mintray.exe 2>/dev/null || true; } | tr -d '\r' >"$work/$name.procinfo"
  wc -l <"$TALVIK_SIM_LOG" >"$work/$name.lines"
  wc -l <"$work/switches.txt" >"$work/$name.switches"
  grep -c ' get 6 ' "$TALVIK_SIM_LOG" >"$work/$name.ticks" || true
  local ws ex
  ws=$(unix_pid_of wineserver64 || true)
  ex=$(unix_pid_of 'explorer.exe' || true)
  echo "${ws:+$(proc_cpu "$ws")} ${ex:+$(proc_cpu "$ex")}" >"$work/$name.others"
}

wait_until() {   # epoch seconds; samples memory every minute meanwhile
  local end=$1 next
  next=$(echo "$(date +%s.%N) + 60" | bc)
  while [ "$(echo "$(date +%s.%N) < $end" | bc)" = 1 ]; do
    alive || return 1
    if [ "$(echo "$(date +%s.%N) >= $next" | bc)" = 1 ]; then
      sample >>"$work/samples.txt"
      next=$(echo "$next + 60" | bc)
    fi
    sleep 1
  done
}

wait_until "$(echo "$t_launch + $warmup" | bc)"
snapshot start
log "steady part begins"
wait_until "$(echo "$t_launch + $warmup + $steady" | bc)"
snapshot end
alive || { echo "a program under test ended during the soak" >&2; exit 1; }
loadavg_end=$(cut -d' ' -f1-3 /proc/loadavg)
kill "$cycler" 2>/dev/null || true
wait "$watcher" 2>/dev/null || true

# ---- figures ----
read -r _ qs_rss qs_anon qs_cpu ms_rss ms_anon ms_cpu _ <"$work/start.sample"
read -r _ qe_rss qe_anon qe_cpu me_rss me_anon me_cpu _ <"$work/end.sample"
t0=$(cat "$work/start.time"); t1=$(cat "$work/end.time")
elapsed=$(echo "$t1 - $t0" | bc)
ticks=$(echo "$elapsed / 0.5" | bc -l)
field() { grep "^$1 " "$work/$2.procinfo" | tr ' ' '\n' | sed -n "s/^$3=//p"; }

echo "== soak =="
printf 'steady part: %.0f s = %.0f ticks of 500 ms, after a %s s warm-up; state switched every %s s (running, alarm, stopped)\n' \
  "$elapsed" "$ticks" "$warmup" "$switch"
for prog in qelmng mintray; do
  if [ $prog = qelmng ]; then set -- "$qs_rss" "$qe_rss" "$qs_anon" "$qe_anon"
  else set -- "$ms_rss" "$me_rss" "$ms_anon" "$me_anon"; fi
  printf '%-8s VmRSS   start %6s kB  end %6s kB  growth %+d kB\n' $prog "$1" "$2" $(($2 - $1))
  printf '%-8s RssAnon start %6s kB  end %6s kB  growth %+d kB\n' $prog "$3" "$4" $(($4 - $3))
done
for prog in qelmng mintray; do
  hs=$(field $prog.exe start handles); he=$(field $prog.exe end handles)
  gs=$(field $prog.exe start gdi); ge=$(field $prog.exe end gdi)
  ts=$(field $prog.exe start table); te=$(field $prog.exe end table)
  printf '%-8s handles start %s end %s growth %+d (handle table size %s -> %s)\n' \
    $prog "${hs:-?}" "${he:-?}" $(( ${he:-0} - ${hs:-0} )) "${ts:-?}" "${te:-?}"
  printf '%-8s GDI objects start %s end %s growth %+d\n' \
    $prog "${gs:-?}" "${ge:-?}" $(( ${ge:-0} - ${gs:-0} ))
done
echo "(VmRSS and RssAnon from /proc/PID/status of the Windows process; handles: the"
echo " wineserver's system handle list counted per owner; GDI: live entries of the"
echo " process's GDI handle table read through its PEB by bench/procinfo.exe)"
echo "memory samples every minute: $work/samples.txt"

lines0=$(cat "$work/start.lines"); lines1=$(cat "$work/end.lines")
gets0=$(cat "$work/start.ticks"); gets1=$(cat "$work/end.ticks")
total_lines=$(wc -l <"$TALVIK_SIM_LOG")
last_ms=$(tail -n 1 "$TALVIK_SIM_LOG" | cut -d' ' -f1)
printf 'journal lines per tick, steady part: %.3f (%d lines / %.0f ticks; 8/3 = 2.667 expected: 3 while running, 2 while stopped)\n' \
  "$(echo "($lines1 - $lines0) / $ticks" | bc -l)" $((lines1 - lines0)) "$ticks"
printf 'journal lines per tick, whole run: %.3f (%d lines / %.0f ticks since the library loaded)\n' \
  "$(echo "$total_lines / ($last_ms / 500)" | bc -l)" "$total_lines" "$(echo "$last_ms / 500" | bc -l)"
printf 'ticks seen in the journal (get 6) per 500 ms elapsed: %.4f\n' \
  "$(echo "($gets1 - $gets0) / $ticks" | bc -l)"

qcpu=$(echo "($qe_cpu - $qs_cpu) / $clk_tck * 1000 / $ticks" | bc -l)
mcpu=$(echo "($me_cpu - $ms_cpu) / $clk_tck * 1000 / $ticks" | bc -l)
printf 'CPU per tick (utime+stime): qelmng %.3f ms, mintray %.3f ms, ratio %.2f\n' \
  "$qcpu" "$mcpu" "$(echo "$qcpu / $mcpu" | bc -l 2>/dev/null || echo 0)"
printf '  (qelmng %d, mintray %d clock ticks of 1/%s s over the steady part; qelmng includes the simulated library'"'"'s file work)\n' \
  $((qe_cpu - qs_cpu)) $((me_cpu - ms_cpu)) "$clk_tck"
read -r ws0 ex0 <"$work/start.others" || true
read -r ws1 ex1 <"$work/end.others" || true
if [ -n "${ws0:-}" ] && [ -n "${ex1:-}" ]; then
  printf '  shared by both: wineserver %.3f ms, explorer (tray) %.3f ms per tick\n' \
    "$(echo "($ws1 - $ws0) / $clk_tck * 1000 / $ticks" | bc -l)" \
    "$(echo "($ex1 - $ex0) / $clk_tck * 1000 / $ticks" | bc -l)"
fi
# Switches before the end; the first line is the state the manager
# started in.
switches=$(( $(cat "$work/end.switches") - 1 ))
printf 'tray cell: %s state changes seen for %s made, %s blink changes\n' \
  "$(sed -n 's/^watch_state_changes //p' "$work/watch.txt")" "$switches" \
  "$(sed -n 's/^watch_blinks //p' "$work/watch.txt")"
echo "load average (1, 5, 15 min): $loadavg_start at launch, $loadavg_end at the end; $(nproc) cores"
awk '!/^#/ {n++; s+=$8; if ($8 > m) m=$8} END {if (n) printf "1-min load average over the minute samples: mean %.2f, max %.2f\n", s/n, m}' \
  "$work/samples.txt"
# Memory over the steady part, minute by minute: the largest and smallest
# seen, so a slow climb shows even if the two ends happen to match.
awk -v t0="$(cut -d' ' -f1 "$work/start.sample")" '!/^#/ && $1 >= t0 {
    if (!n++) {a=b=$2; c=d=$3}
    if ($2 > a) a=$2; if ($2 < b) b=$2; if ($3 > c) c=$3; if ($3 < d) d=$3}
  END {if (n) printf "qelmng over %d samples of the steady part: VmRSS %d..%d kB, RssAnon %d..%d kB\n", n, b, a, d, c}' \
  "$work/samples.txt"
