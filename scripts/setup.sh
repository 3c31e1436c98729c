#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian machine, when missing.
set -euo pipefail
pkgs=(cmake make ninja-build g++ file binutils googletest libgtest-dev
      g++-mingw-w64-i686 g++-mingw-w64-x86-64
      wine64 fonts-wine xvfb xauth xdotool x11-utils icoutils libx11-dev libxtst-dev imagemagick)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_=""
  [ "$(id -u)" -eq 0 ] || sudo_=sudo
  $sudo_ apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_ apt-get install -y -qq "${missing[@]}" >/dev/null
fi
