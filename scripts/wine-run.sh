#!/usr/bin/env bash
# Runs a Windows program in one of the project's Wine prefixes.  Usage: wine-run.sh PREFIX_DIR PROGRAM [ARGS...]
# With TABLORIN_PREFIX_COPIES=1 (every test ctest runs), the program takes a free copy of the prefix
# (PREFIX_DIR.slotN, made by register-stub.sh) and a display of its own, so test programs side by
# side never see each other's windows, focus or Word stand-in. A copy is held by a lock for as long
# as the program runs; its Wine session ends with the program, and a copy the last program left
# dirty is copied again first (see slots.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(realpath -m "$1")
shift
. "$here/wine-env.sh"
if [ "${TABLORIN_PREFIX_COPIES:-}" != 1 ]; then
  wine_env "$prefix"
  close_fds
  exec "$WINELOADER" "$@"
fi

. "$here/slots.sh"
none() {
  echo "wine-run: the tests run in copies of $prefix, and there are none; run them through make test" >&2
  exit 1
}
[ -f "$prefix/.wordstub-registered" ] || none
while :; do
  compgen -G "$prefix.slot*/system.reg" >/dev/null || none
  for copy in "$prefix".slot*/; do
    copy=${copy%/}
    if lock_try lock "$copy.lock"; then
      # A copy removed or being replaced while this waited is no copy.
      [ -f "$copy/system.reg" ] && break 2
      lock_drop "$lock"
    fi
  done
  sleep 0.2
done

# Interrupted: end the session while the copy is still ours, and leave it marked dirty.
trap 'slot_end_session "$copy"; exit 130' INT
trap 'slot_end_session "$copy"; exit 143' TERM HUP
if slot_stale "$prefix" "$copy"; then
  echo "wine-run: $(basename "$copy") was left dirty or is out of date; copying the prefix again" >&2
  lock_take main "$prefix.lock" "" -s
  slot_refresh "$prefix" "$copy"
  lock_drop "$main"
else
  # What a killed program may have left running there.
  slot_end_session "$copy"
fi
echo $$ >"$copy/.tablorin-dirty"
# Shown with a failing test's output: where it ran, and that it got that far.
echo "wine-run: $(basename "$copy"), pid $$" >&2
wine_env "$copy"
status=0
(close_fds; exec bash "$here/with-display.sh" --new "$copy" "$WINELOADER" "$@") || status=$?
slot_end_session "$copy"
# A program that ended by itself (passed or failed) has undone what it changed in the prefix.
if [ $status -le 1 ]; then rm -f "$copy/.tablorin-dirty"; fi
exit $status
