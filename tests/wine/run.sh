#!/usr/bin/env bash
# Runs a Windows program of the win64 build under 64-bit Wine, in a prefix of
# the test build's own (made once, under a lock, so parallel tests share it).
# Usage: run.sh PREFIX_DIR PROGRAM.exe [ARGS...]; exit code is the program's.
set -euo pipefail
prefix=$1; shift
export WINEPREFIX=$prefix
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$prefix"
(
  flock 9
  if [ ! -f "$prefix/.qelmng-ready" ]; then
    "$WINELOADER" wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
    touch "$prefix/.qelmng-ready"
  fi
) 9>"$prefix.lock"
exec "$WINELOADER" "$@"
