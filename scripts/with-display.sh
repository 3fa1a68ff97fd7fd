#!/usr/bin/env bash
# Runs a command with an X display, starting a private Xvfb when there is none.
# Usage: with-display.sh [--new] PREFIX_DIR COMMAND [ARGS...]
# --new always starts a display of its own. Afterwards the Wine session of the prefix is ended when
# this run started it (its programs would otherwise keep a display that is gone); one that was
# running already, such as make run's, is left alone.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
new=0
if [ "${1:-}" = --new ]; then new=1; shift; fi
prefix=$(realpath -m "$1")
shift
ours=1
if wine_server_running "$prefix"; then ours=0; fi
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
if [ $ours = 1 ] && wine_server_running "$prefix"; then
  WINEPREFIX="$prefix" wine_server -k >/dev/null 2>&1
fi
if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
[ -n "$numfile" ] && rm -f "$numfile"
exit $status
