#!/usr/bin/env bash
# Runs a command while holding the lock of a build folder: one make at a time builds it, prepares its
# prefixes and runs its tests; another one waits here, and says so.
# Usage: build-lock.sh BUILD_DIR WHAT COMMAND [ARGS...]   (WHAT names the holder, e.g. "make test")
set -euo pipefail
build=$(realpath -m "$1")
what=$2
shift 2
. "$(dirname "$0")/lock.sh"
lockfile="$build/.lock"
# Already held by the make this one runs under.
if [ "${TABLORIN_BUILD_LOCK:-}" = "$lockfile" ]; then exec "$@"; fi
mkdir -p "$build"
holder=$(cat "$lockfile" 2>/dev/null || true)
lock_take lock "$lockfile" "$what: waiting for the ${holder:-other make} using $build to end"
echo "$what (pid $$)" >"$lockfile"
export TABLORIN_BUILD_LOCK=$lockfile
status=0
# Only this shell holds the lock: nothing the command starts may keep it taken.
"$@" {lock}>&- || status=$?
exit $status
