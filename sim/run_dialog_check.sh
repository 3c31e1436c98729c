#!/usr/bin/env bash
# Runs the settings-dialog check under a private X server, in a Wine prefix
# of its own: a prefix whose desktop was started without a display (as the
# display-less Wine tests start it) shows no windows to later programs.
# Usage: run_dialog_check.sh RUN_SH PREFIX_DIR PROGRAM.exe [ARGS...]
set -euo pipefail
if [ -z "${QELMNG_SIM_XVFB:-}" ]; then
  QELMNG_SIM_XVFB=1 exec xvfb-run -a -s "-nolisten tcp" bash "$0" "$@"
fi
run=$1 prefix=$2
shift 2
rc=0
bash "$run" "$prefix" "$@" || rc=$?
# Let the prefix's wineserver end while its display still exists, so the
# next run does not meet a desktop tied to a dead display.
WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -w || true
exit "$rc"
