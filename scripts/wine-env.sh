# Sourced by the scripts: Wine for one of the project's prefixes, with the loader of the prefix's
# bitness called directly. /usr/bin/wine and its wrappers (wineboot, winepath, regedit) take the
# 32-bit loader whenever it is installed, even on hosts whose kernel cannot run it.
# Usage: wine_env PREFIX_DIR [ARCH]   (ARCH i686 or x86_64; defaults to what the prefix was made for)
. "$(dirname "${BASH_SOURCE[0]}")/lock.sh"

wine_env() {
  export WINEPREFIX
  WINEPREFIX=$(realpath -m "$1")
  local arch=${2:-}
  if [ -z "$arch" ] && [ -f "$WINEPREFIX/.tablorin-arch" ]; then arch=$(cat "$WINEPREFIX/.tablorin-arch"); fi
  case "${arch:-i686}" in
    i686) export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine ;;
    x86_64) export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 ;;
    *) echo "wine-env: unknown architecture $arch" >&2; return 1 ;;
  esac
  # No Mono or Gecko prompts, and no menu entries for the host: winemenubuilder costs every new
  # Wine session a tenth of its start.
  export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}
# Wine's own programs (wineboot, regedit, winepath) through the chosen loader. Neither they nor the
# wineserver they may start get the caller's descriptors: a lock must not outlive its script.
wine_exec() { (close_fds; exec "$WINELOADER" "$@"); }
wine_server() { (close_fds; exec /usr/lib/wine/wineserver "$@"); }

# Whether a wineserver serves the prefix PREFIX_DIR (default WINEPREFIX) now. A wineserver works in
# a folder named after the device and inode of its prefix, so this finds it whoever started it.
wine_server_running() {
  local dir=${1:-$WINEPREFIX} name pid
  [ -d "$dir" ] || return 1
  name=$(printf 'server-%x-%x' "$(stat -c %d "$dir")" "$(stat -c %i "$dir")")
  for pid in $(pgrep -U "$(id -u)" wineserver); do
    [ "$(basename "$(readlink "/proc/$pid/cwd" 2>/dev/null)")" = "$name" ] && return 0
  done
  return 1
}

# The prefix's registry files as one checksum, to see when a wineserver has written them.
wine_registry_sum() { cat "$WINEPREFIX"/*.reg 2>/dev/null | md5sum; }

# After a change to the registry: waits until it is on disk, so that copies of the prefix take it up.
# A session this script started is waited on until it ends (it writes the registry as it goes, and
# has no display that later programs should inherit). One that was running already (make run) is
# left running: it writes the registry on its periodic save.
# Usage: wine_registry_settle WAS_RUNNING SUM_BEFORE   (0 or 1, and wine_registry_sum from before)
wine_registry_settle() {
  if [ "$1" = 0 ]; then
    wine_server -w
    return 0
  fi
  echo "wine: waiting for the Wine session running in $WINEPREFIX to save its registry" >&2
  for _ in $(seq 1 300); do
    if ! wine_server_running || [ "$(wine_registry_sum)" != "$2" ]; then return 0; fi
    sleep 0.2
  done
  echo "wine: the session in $WINEPREFIX has not saved its registry within a minute; going on" >&2
}
