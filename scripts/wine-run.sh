#!/usr/bin/env bash
# Runs a Windows program in the project's Wine prefix.  Usage: wine-run.sh PREFIX_DIR PROGRAM [ARGS...]
set -euo pipefail
export WINEPREFIX=$(realpath -m "$1")
shift
export WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
