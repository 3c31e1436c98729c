#!/usr/bin/env bash
# Size of the release program: the stripped, -Os, 32-bit qelmng.exe, built
# from the current sources into build/bench/win32 with the win32 preset's
# toolchain and build type (the shared build/win32 is left alone; it is shown
# too when present).
# Usage: bench/size.sh
set -euo pipefail
source "$(dirname "$0")/lib.sh"

exe=$(build_release)
symbols=$(i686-w64-mingw32-objdump -t "$exe" 2>/dev/null | grep -c '^\[' || true)
echo "== size =="
printf 'qelmng.exe (win32, MinSizeRel, stripped): %d bytes (%s symbols left; %s)\n' \
  "$(stat -c %s "$exe")" "$symbols" "$(file -b "$exe" | cut -d, -f1-2)"
echo "  imports: $(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')"
if [ -f "$bench_root/build/win32/qelmng.exe" ]; then
  printf '  shared build/win32/qelmng.exe: %d bytes\n' "$(stat -c %s "$bench_root/build/win32/qelmng.exe")"
fi
