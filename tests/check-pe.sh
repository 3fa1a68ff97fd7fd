#!/usr/bin/env bash
# Checks that each program is a PE of the given architecture whose imports are system DLLs only.
# Usage: check-pe.sh OBJDUMP ARCH EXE...   (ARCH i686: PE32; x86_64: PE32+)
set -euo pipefail
objdump=$1
arch=$2
shift 2
case "$arch" in
  i686) format='pei-i386' magic='010b' kind='32-bit PE (PE32)' ;;
  x86_64) format='pei-x86-64' magic='020b' kind='64-bit PE (PE32+)' ;;
  *) echo "check-pe: unknown architecture $arch"; exit 2 ;;
esac
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|ole32|oleaut32|advapi32|msvcrt|shlwapi|uuid|windowscodecs|rpcrt4|version|uxtheme|api-ms-win-.*)\.dll$'
failed=0
for exe in "$@"; do
  info=$("$objdump" -p "$exe")
  if ! grep -q "file format $format\$" <<<"$info"; then
    echo "FAIL: $exe is not a $kind"
    failed=1
  fi
  if ! grep -Eq "Magic[[:space:]]+$magic" <<<"$info"; then
    echo "FAIL: $exe has no $kind optional header"
    failed=1
  fi
  dlls=$(grep -E '^[[:space:]]*DLL Name:' <<<"$info" | awk '{print tolower($3)}' | sort -u)
  for dll in $dlls; do
    if ! grep -Eq "$allowed" <<<"$dll"; then
      echo "FAIL: $exe imports $dll, which is not a system DLL"
      failed=1
    fi
  done
  echo "$exe ($kind) imports: $(echo $dlls | tr '\n' ' ')"
done
exit $failed
