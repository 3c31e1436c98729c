#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the three presets and runs every
# test: host unit tests, checks of the Windows builds, and the end-to-end
# tests of the win64 build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for preset in win32 win64 host; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
for preset in win32 win64; do
  cmake --build --preset "$preset" --target package >/dev/null
done
ctest --preset host -j"$(nproc)"
