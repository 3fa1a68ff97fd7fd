#!/usr/bin/env bash
# Runs a Windows program in one of the project's Wine prefixes.  Usage: wine-run.sh PREFIX_DIR PROGRAM [ARGS...]
# Under ctest with resource groups, each test takes a copy of the prefix of its own (PREFIX_DIR.slotN)
# and a display of its own, so tests side by side never see each other's windows or focus.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$1
shift
. "$here/wine-env.sh"
slot=${CTEST_RESOURCE_GROUP_0_PREFIX:-}
if [ -n "$slot" ] && [ -z "${TABLORIN_SLOT_DISPLAY:-}" ]; then
  slot=${slot#id:}
  prefix="$prefix.${slot%%,*}"
  wine_env "$prefix"
  export TABLORIN_SLOT_DISPLAY=1
  exec bash "$here/with-display.sh" --new "$prefix" "$WINELOADER" "$@"
fi
if [ -n "$slot" ]; then slot=${slot#id:}; prefix="$prefix.${slot%%,*}"; fi
wine_env "$prefix"
exec "$WINELOADER" "$@"
