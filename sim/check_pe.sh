#!/usr/bin/env bash
# Checks a built TALVIK.dll as the Windows loader will see it: the plain,
# undecorated names the manager imports and nothing else, and only system
# DLLs imported (no libgcc, libstdc++ or winpthread DLL to ship).
# Usage: check_pe.sh OBJDUMP DLL FORMAT   (FORMAT: pei-i386 or pei-x86-64)
set -euo pipefail
objdump=$1 dll=$2 format=$3
fail() { echo "check_pe: $dll: $*" >&2; exit 1; }

[ -f "$dll" ] || fail "not built"
dump=$("$objdump" -p "$dll")

grep -q "file format $format\$" <<<"$dump" || fail "not $format: $(grep -m1 'file format' <<<"$dump")"
grep -q '^Name .*TALVIK\.dll$' <<<"$dump" || fail "export directory does not name TALVIK.dll"

exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p' | sort | tr '\n' ' ')
[ "$exports" = "DLLEXIT TV_GetStatus TV_SetStatus " ] || fail "exports are '$exports'"

imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr '[:upper:]' '[:lower:]' | sort -u)
[ -n "$imports" ] || fail "no import table"
for name in $imports; do
  case $name in
    kernel32.dll | user32.dll | msvcrt.dll | advapi32.dll | gdi32.dll | ntdll.dll) ;;
    *) fail "imports $name, which Windows does not provide" ;;
  esac
done
echo "check_pe: $dll: exports $exports; imports $(tr '\n' ' ' <<<"$imports")"
