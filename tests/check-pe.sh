#!/usr/bin/env bash
# Checks that each program is a 32-bit PE whose imports are system DLLs only.
# Usage: check-pe.sh OBJDUMP EXE...
set -euo pipefail
objdump=$1
shift
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|ole32|oleaut32|advapi32|msvcrt|shlwapi|uuid|windowscodecs|rpcrt4|version|uxtheme|api-ms-win-.*)\.dll$'
failed=0
for exe in "$@"; do
  info=$("$objdump" -p "$exe")
  if ! grep -q 'file format pei-i386' <<<"$info"; then
    echo "FAIL: $exe is not a 32-bit PE"
    failed=1
  fi
  if ! grep -Eq 'Magic[[:space:]]+010b' <<<"$info"; then
    echo "FAIL: $exe has no PE32 optional header"
    failed=1
  fi
  dlls=$(grep -E '^[[:space:]]*DLL Name:' <<<"$info" | awk '{print tolower($3)}' | sort -u)
  for dll in $dlls; do
    if ! grep -Eq "$allowed" <<<"$dll"; then
      echo "FAIL: $exe imports $dll, which is not a system DLL"
      failed=1
    fi
  done
  echo "$exe imports: $(echo $dlls | tr '\n' ' ')"
done
exit $failed
