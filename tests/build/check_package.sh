#!/usr/bin/env bash
# Unpacks a release zip and checks what a Windows user finds in it: the
# program of the right kind at the top, the README, and the simulated
# library apart in simulator/.
# Usage: check_package.sh ZIP "EXPECTED file(1) KIND PREFIX"
set -uo pipefail
zip=$(realpath -m "$1") kind=$2
[ -f "$zip" ] || { echo "FAIL: $zip is missing: build the preset's package target first"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
(cd "$dir" && cmake -E tar xf "$zip") || { echo "FAIL: cannot unpack $zip"; exit 1; }
fail=0
bad() { echo "FAIL: $*"; fail=1; }

listing=$(cd "$dir" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
echo "contents: $listing"
[ "$listing" = "README.txt qelmng.exe simulator/TALVIK.dll " ] || bad "contents are not README.txt, qelmng.exe, simulator/TALVIK.dll"

exe_kind=$(file -b "$dir/qelmng.exe")
echo "qelmng.exe: $exe_kind"
case "$exe_kind" in "$kind"*) ;; *) bad "qelmng.exe is not '$kind'" ;; esac
case "$(file -b "$dir/simulator/TALVIK.dll")" in *"(DLL)"*) ;; *) bad "simulator/TALVIK.dll is not a DLL" ;; esac

# Read on Windows: CRLF line ends, and it tells where the program goes and
# how to start it at logon quietly.
grep -q $'\r$' "$dir/README.txt" || bad "README.txt lacks Windows line ends"
for phrase in "TALVIK.dll" "Startup" " N"; do
  grep -q -- "$phrase" "$dir/README.txt" || bad "README.txt does not mention '$phrase'"
done

[ $fail -eq 0 ] && echo "package checks passed"
exit $fail
