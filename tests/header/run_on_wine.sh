#!/usr/bin/env bash
# Runs a Windows test program through the project's Wine runner, failing with
# a plain message when the program has not been built.
# Usage: run_on_wine.sh RUNNER PREFIX PROGRAM.exe
set -euo pipefail
runner=$1 prefix=$2 program=$3
if [ ! -f "$program" ]; then
  echo "FAIL: $program does not exist; build it first (cmake --build --preset win64)" >&2
  exit 1
fi
exec "$runner" "$prefix" "$program"
