#!/usr/bin/env bash
# Registers the Word stand-in as "Word.Application" in the project's Wine prefix (never on Windows),
# then refreshes the copies of the prefix that tests running side by side use (PREFIX_DIR.slotN).
# Usage: register-stub.sh PREFIX_DIR BUILD_DIR [SLOTS]
set -euo pipefail
prefix=$(realpath -m "$1")
build=$(realpath -m "$2")
slots=${3:-0}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
wine_env "$prefix"
stub="$build/wordstub/WordStub.exe"
[ -f "$stub" ] || exit 0
marker="$prefix/.wordstub-registered"
stamp="$stub $(stat -c %Y "$stub") $(cat "$prefix/.tablorin-ready" 2>/dev/null)"
if [ ! -f "$marker" ] || [ "$(cat "$marker")" != "$stamp" ]; then
  wine_exec "$stub" /RegServer
  # Let this wineserver end: one started here has no display, and the tests' windows would inherit that.
  wine_server -w
  echo "$stamp" >"$marker"
fi

# One copy per test slot, remade whenever the prefix or the registration changed.
for ((i = 0; i < slots; i++)); do
  copy="$prefix.slot$i"
  if [ ! -f "$copy/.wordstub-registered" ] || [ "$(cat "$copy/.wordstub-registered")" != "$stamp" ]; then
    WINEPREFIX="$copy" wine_server -k >/dev/null 2>&1 || true
    rm -rf "$copy"
    cp -a "$prefix" "$copy"
  fi
done
