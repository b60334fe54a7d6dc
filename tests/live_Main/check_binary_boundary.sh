#!/bin/sh
# usage: check_binary_boundary.sh OBJDUMP VxLive.dll VxTools.dll VxImage.dll vxhost.exe
# Checks that every shipped binary imports only system DLLs (no C++ runtime,
# libgcc or winpthread DLLs) and that each library exports its entry points
# under their plain names.
objdump=$1
shift
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# System DLLs a shipped binary may import.
allowed='^(kernel32|user32|advapi32|ole32|oleaut32|gdi32|comctl32|comdlg32|msvcrt|shell32|shlwapi|avrt|winmm|version|uxtheme|dwmapi|imm32|ws2_32|setupapi|api-ms-win-[a-z0-9-]+)\.dll$'

exports_of() {
  # The names in the export name table, one a line.
  # binutils 2.40: "[   0] Name"; later ones: "[   0] +base[   1]  0000 Name".
  "$objdump" -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\].*[[:space:]]\([^[:space:]]*\)$/\1/p'
}

check_imports() {
  dlls=$("$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  [ -n "$dlls" ] || fail "$1: no import table read"
  for dll in $dlls; do
    echo "$dll" | grep -Eq "$allowed" || fail "$(basename "$1") imports $dll"
  done
  echo "$(basename "$1") imports: $(echo $dlls)"
}

check_exports() {
  file=$1
  shift
  names=$(exports_of "$file" | sort | tr '\n' ' ')
  want=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
  echo "$(basename "$file") exports: $names"
  for name in "$@"; do
    exports_of "$file" | grep -qx "$name" || fail "$(basename "$file") does not export $name"
  done
  [ "$names" = "$want" ] || [ "$exact" != 1 ] || fail "$(basename "$file") exports $names, expected $want"
}

for f in "$@"; do
  [ -f "$f" ] || fail "missing $f"
done
[ $failures -eq 0 ] || exit 1

exact=1 check_exports "$1" GetLivePlugin DllRegisterServer
exact=0 check_exports "$2" GetVxToolsDLL
exact=0 check_exports "$3" GetVxImageAppDLL
for f in "$@"; do
  check_imports "$f"
done
echo "$failures failure(s)"
[ $failures -eq 0 ]
