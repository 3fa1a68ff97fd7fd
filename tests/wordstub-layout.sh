#!/usr/bin/env bash
# Builds documents through the Word stand-in under Wine and checks them in LibreOffice: the worked
# example (5 pictures, 3 per page), once in front of the text and once with square wrapping; with
# --photos also phone photos (see build_through_button), whose boxes are measured against their
# places on the page and the size calls of the stand-in's journal.
# --only NAME,NAME keeps those rows, so that the rows can run side by side as tests of their own.
# The driver builds the documents of all rows in one run (one Wine session), and LibreOffice converts
# them all in one run too: both cost seconds to start.
# --build-only builds the documents and stops; --check-only checks those a build left in WORK_DIR
# (the i686 build makes them in a virtual machine, and they are checked here).
# Usage: wordstub-layout.sh [--build-only|--check-only] [--photos] [--only NAMES] DRIVER.exe WORK_DIR EMULATOR...
set -euo pipefail
photos=0
only=
step=
case $1 in --build-only | --check-only) step=$1; shift ;; esac
if [ "$1" = --photos ]; then photos=1; shift; fi
if [ "$1" = --only ]; then only=",$2,"; shift 2; fi
driver=$1
work=$(realpath -m "$2")
shift 2
here=$(cd "$(dirname "$0")" && pwd)
[ "$step" = --check-only ] || rm -rf "$work"
mkdir -p "$work"
win() { echo "Z:${1//\//\\}"; }
# Debian's Python has PyMuPDF (python3-fitz); another python3 first on the PATH may not.
python=/usr/bin/python3
[ -x "$python" ] || python=python3

# name | pictures | per page | wrap | anchors (page:lines) | sizes (fit, or WxH in points)
rows=(
  "front|5|3|front|1:1,13,25 2:1,13|"
  "square|5|3|square|1:1,13,25 2:1,13|"
)
if [ $photos = 1 ]; then
  rows+=(
    # Landscape and portrait photos taller than a third of the page, a panorama and a small
    # picture that fit: the photos end where the next place begins, the others keep their size.
    "phones|LPLWSPL|3|front|1:1,13,25 2:1,13,25 3:1|fit fit fit 425.2x70.87 120x90 fit fit"
    # The square pass keeps the sizes. (A picture as wide as the text would push the lines below it
    # down, as in Word, and the places with them: the panorama stays out.)
    "phones-square|LPLPSPL|3|square|1:1,13,25 2:1,13,25 3:1|fit fit fit fit 120x90 fit fit"
    # A whole page is place enough for a portrait photo.
    "one-per-page|PL|1|front|1:1 2:1|425.2x566.93 425.2x318.9"
    # Three lines a place, nine for the tenth.
    "ten-per-page|LPLWSPLLPLW|10|front|1:1,4,7,10,13,16,19,22,25,28 2:1|fit fit fit fit fit fit fit fit fit fit fit"
  )
fi

kept=()
builds=()
for row in "${rows[@]}"; do
  IFS='|' read -r name pictures perpage wrap expect sizes <<<"$row"
  if [ -n "$only" ] && [[ $only != *",$name,"* ]]; then continue; fi
  kept+=("$row")
  folder=$work/pictures-$name
  # The photos are shared: each is written once, by the first row that uses it.
  case $pictures in [A-Z]*) folder=$work/photos ;; esac
  builds+=("$(win "$work/$name.docx")" "$(win "$folder")" "$pictures" "$perpage" "$wrap")
done

status=0
[ "$step" = --check-only ] || "$@" "$driver" "${builds[@]}" || status=1
[ "$step" = --build-only ] && exit $status
docs=()
for row in "${kept[@]}"; do
  name=${row%%|*}
  [ -f "$work/$name.docx" ] && docs+=("$work/$name.docx")
done
if [ ${#docs[@]} -gt 0 ]; then
  "$python" "$here/check-docx-layout.py" --convert "$work/pdf" "${docs[@]}" || status=1
fi
for row in "${kept[@]}"; do
  IFS='|' read -r name pictures perpage wrap expect sizes <<<"$row"
  echo "== $name: $pictures, $perpage per page, $wrap"
  extra=()
  if [ -n "$sizes" ]; then
    extra=(--per-page "$perpage" --sizes "$sizes" --journal "$work/$name.docx.journal")
  fi
  "$python" "$here/check-docx-layout.py" "$work/$name.docx" --expect "$expect" --wrap "$wrap" \
    --pdf "$work/pdf/$name.pdf" "${extra[@]}" || status=1
done
exit $status
