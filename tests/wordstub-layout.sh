#!/usr/bin/env bash
# Builds the worked example (5 pictures, 3 per page) through the Word stand-in under Wine, once in
# front of the text and once with square wrapping, and checks both documents in LibreOffice.
# Usage: wordstub-layout.sh DRIVER.exe WORK_DIR EMULATOR...
set -euo pipefail
driver=$1
work=$(realpath -m "$2")
shift 2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
win() { echo "Z:${1//\//\\}"; }

status=0
for wrap in front square; do
  "$@" "$driver" "$(win "$work/$wrap.docx")" "$(win "$work/pictures-$wrap")" 5 3 "$wrap"
  echo "== $wrap"
  python3 "$here/check-docx-layout.py" "$work/$wrap.docx" --expect "1:1,13,25 2:1,13" \
    --wrap "$wrap" --work "$work/check-$wrap" || status=1
done
exit $status
