#!/usr/bin/env bash
# Screenshot of the main window as it opens: starts the program in the prefix, waits for the
# window and captures it. Run it with a display, e.g. under scripts/with-display.sh.
# Usage: screenshot.sh PREFIX_DIR BUILD_DIR [OUTPUT]   (default docs/screenshot-main.png)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(realpath -m "$1")
build=$(realpath -m "$2")
out=$(realpath -m "${3:-$here/../docs/screenshot-main.png}")
. "$here/wine-env.sh"
wine_env "$prefix"

# X window ids titled exactly "タブロリン" (the main window, and the error box if Word is missing).
titled() { xdotool search --name '^タブロリン$' 2>/dev/null || true; }
width_of() { xwininfo -id "$1" 2>/dev/null | awk '/Width:/ {print $NF}'; }

# The program started here is ended; so is its Wine session, unless it was running already (make run).
pid=""
ours=1
if wine_server_running; then ours=0; fi
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  if [ $ours = 1 ]; then wine_server -k >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT

"$here/wine-run.sh" "$prefix" "$build/src/tablorin.exe" &
pid=$!

main=""
for _ in $(seq 1 160); do
  for w in $(titled); do
    state=$(xwininfo -id "$w" 2>/dev/null | awk '/Map State:/ {print $NF}')
    [ "$state" = IsViewable ] || continue
    if [ "$(width_of "$w")" = 604 ]; then main=$w; fi
  done
  [ -n "$main" ] && break
  sleep 0.25
done
if [ -z "$main" ]; then
  echo "screenshot: the main window did not appear (is the Word stand-in registered?)" >&2
  exit 1
fi
sleep 1.5 # let it paint
mkdir -p "$(dirname "$out")"
read -r x y w h < <(xwininfo -id "$main" | awk '
  /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} /Width:/ {w=$NF} /Height:/ {h=$NF}
  END {print x, y, w, h}')
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "screenshot: $out"
