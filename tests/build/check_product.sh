#!/usr/bin/env bash
# Checks the built win32 product from its files: a PE32 GUI program that
# imports the unit library's three calls by their plain names and otherwise
# only system DLLs, with the five icon groups and the version block.
# Usage: check_product.sh QELMNG_EXE
set -uo pipefail
exe=$1
fail=0
bad() { echo "FAIL: $*"; fail=1; }

[ -f "$exe" ] || { echo "FAIL: $exe is missing: build the win32 preset first"; exit 1; }

kind=$(file -b "$exe")
echo "file: $kind"
case "$kind" in
  "PE32 executable (GUI) Intel 80386"*) ;;
  *) bad "not a PE32 GUI program" ;;
esac

imports=$(i686-w64-mingw32-objdump -p "$exe")
dlls=$(echo "$imports" | sed -n 's/^\s*DLL Name: //p' | sort)
echo "imported DLLs:" $dlls
talvik=$(echo "$imports" | awk '
  /DLL Name:/ { intalvik = ($3 == "TALVIK.dll"); next }
  intalvik && NF >= 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print $3 }
  intalvik && /^$/ { intalvik = 0 }' | sort | tr '\n' ' ')
echo "from TALVIK.dll: $talvik"
[ "$talvik" = "DLLEXIT TV_GetStatus TV_SetStatus " ] || bad "TALVIK.dll imports are not exactly DLLEXIT TV_GetStatus TV_SetStatus"
for dll in $dlls; do
  case "${dll,,}" in
    talvik.dll|kernel32.dll|user32.dll|shell32.dll|msvcrt.dll|advapi32.dll|gdi32.dll) ;;
    *) bad "imports $dll, which is not a system DLL" ;;
  esac
done

groups=$(wrestool -l --type=14 "$exe" | sed -n 's/.*--name=\([0-9]*\).*/\1/p' | sort -n | tr '\n' ' ')
echo "icon groups: $groups"
[ "$groups" = "1 2 3 4 5 " ] || bad "icon groups are not 1 to 5"

version=$(wrestool -x --raw --type=16 "$exe" 2>/dev/null | strings -el | grep -A1 -x FileVersion | tail -1)
echo "FileVersion: $version"
[ "$version" = "1.21" ] || bad "FileVersion text is not 1.21"
# VS_FIXEDFILEINFO: signature, structure version, file 1.0.0.0, product 1.0.0.0.
fixed=$(wrestool -x --raw --type=16 "$exe" 2>/dev/null | od -An -tx1 -v | tr -d ' \n')
case "$fixed" in
  *bd04effe0000010000000100000000000000010000000000*) echo "numeric versions: 1.0.0.0" ;;
  *) bad "FILEVERSION and PRODUCTVERSION are not 1,0,0,0" ;;
esac

[ $fail -eq 0 ] && echo "product checks passed"
exit $fail
