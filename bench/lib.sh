# Shared pieces of the benchmark scripts: builds into build/bench (never the
# shared build trees, so a benchmark cannot race another developer's build),
# a private X server and a private Wine prefix, and cleanup of everything
# started here. Sourced, not run.

bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench_src=$bench_root/bench
bench_out=$bench_root/build/bench
bench_app=$bench_out/app
bench_tools=$bench_out/tools
bench_results=$bench_out/results
mkdir -p "$bench_app" "$bench_tools" "$bench_results"

export WINEPREFIX=${BENCH_WINEPREFIX:-$bench_out/prefix}
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE=$WINELOADER

bench_xvfb_pid=""
bench_pids=()
bench_wine_started=0

log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

# Warnings are errors here as in the project's own build.
bench_win_flags=(-Os -Wall -Wextra -Werror -static -static-libgcc -static-libstdc++ -s)

# The program and the simulated library, from the current sources.
build_app() {
  local dir=$bench_out/win64
  cmake -S "$bench_root" -B "$dir" --toolchain "$bench_root/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$dir" -j2 --target qelmng TALVIK >/dev/null
  cp "$dir/qelmng.exe" "$dir/TALVIK.dll" "$bench_app/"
}

# The release build whose size is measured.
build_release() {
  local dir=$bench_out/win32
  cmake -S "$bench_root" -B "$dir" --toolchain "$bench_root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$dir" -j2 --target qelmng >/dev/null
  echo "$dir/qelmng.exe"
}

# The bench's own helpers: the minimal tray program, a desktop holder, the
# handle and GDI reader (all Windows) and the tray pixel probe (Linux, Xlib).
build_tools() {
  local src out
  for src in mintray holddesk; do
    out=$bench_app/$src.exe
    if [ ! -x "$out" ] || [ "$bench_src/$src.cpp" -nt "$out" ]; then
      x86_64-w64-mingw32-g++ -std=c++17 "${bench_win_flags[@]}" -mwindows -o "$out" "$bench_src/$src.cpp"
    fi
  done
  out=$bench_app/procinfo.exe
  if [ ! -x "$out" ] || [ "$bench_src/procinfo.cpp" -nt "$out" ]; then
    x86_64-w64-mingw32-g++ -std=c++17 "${bench_win_flags[@]}" -o "$out" "$bench_src/procinfo.cpp" -lntdll -lgdi32
  fi
  out=$bench_tools/trayprobe
  if [ ! -x "$out" ] || [ "$bench_src/trayprobe.cpp" -nt "$out" ]; then
    g++ -std=c++17 -O2 -Wall -Wextra -Werror -o "$out" "$bench_src/trayprobe.cpp" -lX11
  fi
}

# A display number nobody uses, from 150 up: other developers' tests use
# lower ones and xvfb-run's default.
start_x() {
  local n
  for n in $(seq 150 199); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  bench_xvfb_pid=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    kill -0 "$bench_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  log "Xvfb on $DISPLAY did not start"
  return 1
}

# The prefix is made once; the wineserver is kept alive for the whole run so
# that each program start costs the same.
start_wine() {
  if [ ! -f "$WINEPREFIX/.bench-ready" ]; then
    log "preparing the Wine prefix $WINEPREFIX (once)"
    "$WINE" wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
    touch "$WINEPREFIX/.bench-ready"
  fi
  "$WINESERVER" -p >/dev/null 2>&1
  bench_wine_started=1
}

# Cleanup runs on signals too, not only on a normal exit.
trap 'exit 143' TERM
trap 'exit 130' INT

# Remembers a process to stop at the end.
track() { bench_pids+=("$1"); }

bench_cleanup() {
  local p
  for p in "${bench_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  if [ "$bench_wine_started" = 1 ]; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w >/dev/null 2>&1 || true
  fi
  for p in "${bench_pids[@]}"; do wait "$p" 2>/dev/null || true; done
  if [ -n "$bench_xvfb_pid" ]; then
    kill "$bench_xvfb_pid" 2>/dev/null || true
    wait "$bench_xvfb_pid" 2>/dev/null || true
  fi
}

# Atomic state change for the simulated library: temp file, then rename.
set_state() {   # running offline
  local state=$TALVIK_SIM_STATE
  printf 'initialised=1\nrunning=%s\nclients=1\noffline=%s\n' "$1" "$2" >"$state.tmp"
  mv "$state.tmp" "$state"
}

# Fields of /proc/PID/status, in kB.
proc_kb() {   # pid field
  awk -v f="$2:" '$1 == f {print $2}' "/proc/$1/status" 2>/dev/null
}

# utime + stime of a process, in clock ticks. The name in field 2 may hold
# blanks ("C:\windows\..."), so count from the closing parenthesis.
proc_cpu() {
  local s
  s=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  s=${s##*) }
  awk '{print $12 + $13}' <<<"$s"
}

# Linux pid of a Windows process of this prefix by its image name (the
# wine64 loader's command line is the Windows path of the exe).
unix_pid_of() {   # image-name
  local p
  for p in $(pgrep -f -- "$1" 2>/dev/null); do
    [ "$({ tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -c "^WINEPREFIX=$WINEPREFIX\$")" = 1 ] || continue
    echo "$p"
    return 0
  done
  return 1
}

# Prints median, 95th percentile and maximum of numbers read one a line.
stats() {
  sort -g | awk '{v[NR]=$1} END {
    if (NR == 0) {print "n=0"; exit}
    m = (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2
    i = int(0.95 * NR + 0.999999); if (i < 1) i = 1; if (i > NR) i = NR
    printf "n=%d median=%.1f p95=%.1f max=%.1f min=%.1f\n", NR, m, v[i], v[NR], v[1]}'
}
