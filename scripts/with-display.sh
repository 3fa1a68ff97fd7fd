#!/usr/bin/env bash
# Runs a command with an X display, starting a private Xvfb when there is none.
# Usage: with-display.sh [--new] PREFIX_DIR COMMAND [ARGS...]
# --new always starts a display of its own. Afterwards the wineservers of the prefix and of its
# copies (PREFIX_DIR.slotN) are stopped.
set -uo pipefail
new=0
if [ "${1:-}" = --new ]; then new=1; shift; fi
prefix=$(realpath -m "$1")
shift
xvfb_pid=""
numfile=""
if [ $new = 1 ] || [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  # Xvfb picks a free display number itself and reports it, so parallel runs never share one.
  numfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 200); do grep -q . "$numfile" && break; sleep 0.05; done
  n=$(head -n 1 "$numfile" | tr -dc '0-9')
  if [ -z "$n" ]; then
    echo "with-display: Xvfb did not start" >&2
    kill "$xvfb_pid" 2>/dev/null
    exit 1
  fi
  export DISPLAY=":$n"
fi
"$@"
status=$?
for p in "$prefix" "$prefix".slot*; do
  [ -d "$p" ] && WINEPREFIX="$p" /usr/lib/wine/wineserver -k >/dev/null 2>&1
done
if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
[ -n "$numfile" ] && rm -f "$numfile"
exit $status
