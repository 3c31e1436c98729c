#!/usr/bin/env bash
# All the benchmarks in a row, with a header describing the machine, into
# build/bench/results/run-DATE.txt (and the terminal).
# Usage: bench/run-all.sh [--short] [--soak DURATION] [--changes N] [--runs N]
#   --short: a 2-minute soak after a 30 s warm-up, for trying the scripts;
#   default: the full 20-minute soak after a 60 s warm-up.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

soak=(20m --warmup 60)
changes=60
runs=7
while [ $# -gt 0 ]; do
  case $1 in
    --short) soak=(2m --warmup 30); shift ;;
    --soak) soak=("$2" --warmup 60); shift 2 ;;
    --changes) changes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h|--help) sed -n '2,6p' "$0"; exit 0 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

out=$bench_results/run-$(date +%Y%m%d-%H%M%S).txt
others() {   # X servers and wineservers not started by this run
  echo "$(pgrep -c -x Xvfb || true) Xvfb servers and $(pgrep -c -f '^/usr/lib/wine/wineserver' || true) wineservers of other developers' tests running"
}
{
  echo "== machine =="
  echo "date: $(date -Is)"
  echo "cores (nproc): $(nproc); CPU: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | sort -u | tr '\n' ' ')"
  echo "memory: $(awk '/^MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo); kernel $(uname -r)"
  echo "Wine: $("$WINE" --version 2>/dev/null); Xvfb $(dpkg-query -W -f='${Version}' xvfb 2>/dev/null || echo '?')"
  echo "compilers: $(x86_64-w64-mingw32-g++ --version | head -1); $(g++ --version | head -1)"
  echo "at start: load average $(cut -d' ' -f1-3 /proc/loadavg); $(others)"
  echo "sources: $(git -C "$bench_root" rev-parse --short HEAD) ($(git -C "$bench_root" status --porcelain -- src include resources sim | wc -l) files changed or new under src include resources sim)"
  echo
  rc=0
  bash "$here/size.sh" || rc=1
  echo
  bash "$here/startup.sh" "$runs" || rc=1
  echo
  bash "$here/delay.sh" "$changes" || rc=1
  echo
  bash "$here/soak.sh" "${soak[@]}" || rc=1
  echo
  echo "at end: load average $(cut -d' ' -f1-3 /proc/loadavg); $(others)"
  exit $rc
} 2>&1 | tee "$out"
rc=${PIPESTATUS[0]}
echo "figures saved in $out"
exit "$rc"
