#!/usr/bin/env bash
# Screenshot of the version window: starts the program in the prefix, presses "バージョン" and
# captures the screen. Run it with a display, e.g. under scripts/with-display.sh.
# Usage: screenshot-about.sh PREFIX_DIR BUILD_DIR [OUTPUT]   (default docs/screenshot-about.png)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(realpath -m "$1")
build=$(realpath -m "$2")
out=$(realpath -m "${3:-$here/../docs/screenshot-about.png}")
. "$here/wine-env.sh"
wine_env "$prefix"

wait_window() { # title -> X window id
  for _ in $(seq 1 240); do
    w=$(xdotool search --name "^$1\$" 2>/dev/null | head -1 || true)
    if [ -n "$w" ]; then echo "$w"; return 0; fi
    sleep 0.25
  done
  echo "screenshot: no window \"$1\" appeared" >&2
  return 1
}

# The prefix has unmanaged windows, so Wine draws their frames itself.
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
main=$(wait_window 'タブロリン')
sleep 1
# "バージョン" is 75 × 60 at (512, 8) in the client area, which starts 4 px in and 23 px down.
xdotool mousemove --window "$main" --sync $((4 + 549)) $((23 + 38)) click 1
wait_window 'バージョン情報' >/dev/null
sleep 1.5
mkdir -p "$(dirname "$out")"
# The main window with the version window over it, and a small margin.
read -r x y w h < <(xwininfo -id "$main" | awk '
  /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} /Width:/ {w=$NF} /Height:/ {h=$NF}
  END {print x, y, w, h}')
import -window root -crop "$((w + 16))x$((h + 16))+$((x - 8))+$((y - 8))" +repage "$out"
echo "screenshot: $out"
