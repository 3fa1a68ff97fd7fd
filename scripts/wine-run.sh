#!/usr/bin/env bash
# Runs a Windows program in one of the project's Wine prefixes.  Usage: wine-run.sh PREFIX_DIR PROGRAM [ARGS...]
# With TABLORIN_PREFIX_COPIES=1 (make test), the program takes a free copy of the prefix
# (PREFIX_DIR.slotN) and a display of its own, so test programs side by side never see each
# other's windows, focus or Word stand-in. A copy is held by a lock for as long as the program runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$1
shift
. "$here/wine-env.sh"
if [ "${TABLORIN_PREFIX_COPIES:-}" = 1 ] && compgen -G "$prefix.slot*/system.reg" >/dev/null; then
  while :; do
    for copy in "$prefix".slot*/; do
      copy=${copy%/}
      exec {lock}>"$copy.lock"
      if flock -n "$lock"; then break 2; fi
      exec {lock}>&-
    done
    sleep 0.2
  done
  wine_env "$copy"
  # The lock stays with this shell: nothing the program starts may keep the copy taken.
  status=0
  bash "$here/with-display.sh" --new "$copy" "$WINELOADER" "$@" {lock}>&- || status=$?
  exit $status
fi
wine_env "$prefix"
exec "$WINELOADER" "$@"
