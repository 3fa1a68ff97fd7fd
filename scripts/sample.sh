#!/usr/bin/env bash
# The README's sample: six phone-size photos, landscape and portrait, three to a page, built through
# the program's own window and the Word stand-in; LibreOffice renders the document and its first
# two pages are put side by side in one picture. Run it with a display, e.g. under
# scripts/with-display.sh.
# Usage: sample.sh PREFIX_DIR BUILD_DIR [OUTPUT]   (default docs/sample-pages.png)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(realpath -m "$1")
build=$(realpath -m "$2")
out=$(realpath -m "${3:-$here/../docs/sample-pages.png}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
win() { echo "Z:${1//\//\\}"; }

"$here/wine-run.sh" "$prefix" "$build/tests/build_through_button.exe" "$(win "$work/sample.docx")" \
  "$(win "$work/photos")" LPPLLP 3 front
soffice "-env:UserInstallation=file://$work/profile" --headless --convert-to pdf --outdir "$work" \
  "$work/sample.docx" >/dev/null
# Debian's Python has PyMuPDF (python3-fitz).
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" - "$work/sample.pdf" "$work" <<'PY'
import sys
import fitz
with fitz.open(sys.argv[1]) as pdf:
    for number in range(2):
        pdf[number].get_pixmap(matrix=fitz.Matrix(0.75, 0.75)).save(
            "%s/page-%d.png" % (sys.argv[2], number + 1))
PY
mkdir -p "$(dirname "$out")"
# Each page with a thin edge, on a grey ground.
convert "$work/page-1.png" "$work/page-2.png" -bordercolor '#9a9a9a' -border 1 \
  -bordercolor '#e4e4e4' -border 12 +append -strip "$out"
echo "sample: $out"
