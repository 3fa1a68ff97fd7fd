#!/usr/bin/env bash
# Runs a command with an X display, starting a private Xvfb when there is none.
# Usage: with-display.sh PREFIX_DIR COMMAND [ARGS...]  (the prefix's wineserver is stopped afterwards)
set -uo pipefail
prefix=$(realpath -m "$1")
shift
xvfb_pid=""
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi
"$@"
status=$?
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
exit $status
