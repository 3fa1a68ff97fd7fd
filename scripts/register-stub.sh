#!/usr/bin/env bash
# Registers the Word stand-in as "Word.Application" in the project's Wine prefix (never on Windows).
# Usage: register-stub.sh PREFIX_DIR BUILD_DIR
set -euo pipefail
prefix=$(realpath -m "$1")
build=$(realpath -m "$2")
stub="$build/wordstub/WordStub.exe"
[ -f "$stub" ] || exit 0
marker="$prefix/.wordstub-registered"
stamp="$stub $(stat -c %Y "$stub")"
if [ -f "$marker" ] && [ "$(cat "$marker")" = "$stamp" ]; then exit 0; fi
here=$(cd "$(dirname "$0")" && pwd)
"$here/wine-run.sh" "$prefix" "$stub" /RegServer
echo "$stamp" >"$marker"
# Let this wineserver end: one started here has no display, and the tests' windows would inherit that.
WINEPREFIX="$prefix" wineserver -w
