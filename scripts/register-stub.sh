#!/usr/bin/env bash
# Registers the Word stand-in as "Word.Application" in the project's Wine prefix (never on Windows),
# then refreshes the copies of the prefix that tests running side by side use (PREFIX_DIR.slotN):
# copies 0 to SLOTS-1 are remade when stale or dirty (see slots.sh), any other copy is removed.
# Usage: register-stub.sh PREFIX_DIR BUILD_DIR [SLOTS]
set -euo pipefail
prefix=$(realpath -m "$1")
build=$(realpath -m "$2")
slots=${3:-0}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
. "$here/slots.sh"
wine_env "$prefix"
stub="$build/wordstub/WordStub.exe"
[ -f "$stub" ] || exit 0

lock_take main "$prefix.lock" "wine: waiting for another script preparing $prefix"
marker="$prefix/.wordstub-registered"
# The prefix's id changes whenever the prefix is made anew, so its copies follow it.
stamp="$stub $(stat -c %Y "$stub") $(cat "$prefix/.tablorin-id" 2>/dev/null || true)"
if [ ! -f "$marker" ] || [ "$(cat "$marker")" != "$stamp" ]; then
  running=0
  if wine_server_running; then running=1; fi
  sum=$(wine_registry_sum)
  wine_exec "$stub" /RegServer
  wine_registry_settle $running "$sum"
  echo "$stamp" >"$marker.new"
  mv "$marker.new" "$marker"
fi
# Copying only reads the prefix: a test program making its copy anew may do so at the same time.
flock -s "$main"

slot_index() { local name=${1##*.}; name=${name#fresh-}; name=${name#old-}; echo "${name#slot}"; }
indices=$(
  seq 0 $((slots - 1))
  for dir in "$prefix".slot* "$prefix".fresh-slot* "$prefix".old-slot*; do
    if [ -d "$dir" ] && [[ $(slot_index "$dir") =~ ^[0-9]+$ ]]; then slot_index "$dir"; fi
  done
)
for i in $(echo "$indices" | sort -nu); do
  copy="$prefix.slot$i"
  lock_take slot "$copy.lock" "wine: waiting for the program running in $(basename "$copy") to end"
  if [ "$i" -ge "$slots" ]; then
    slot_remove "$prefix" "$copy"
  elif slot_stale "$prefix" "$copy"; then
    echo "wine: copying the prefix for the tests ($(basename "$copy"))" >&2
    slot_refresh "$prefix" "$copy"
  fi
  lock_drop "$slot"
done
