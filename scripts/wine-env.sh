# Sourced by the scripts: Wine for one of the project's prefixes, with the loader of the prefix's
# bitness called directly. /usr/bin/wine and its wrappers (wineboot, winepath, regedit) take the
# 32-bit loader whenever it is installed, even on hosts whose kernel cannot run it.
# Usage: wine_env PREFIX_DIR [ARCH]   (ARCH i686 or x86_64; defaults to what the prefix was made for)
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
  export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
}
# Wine's own programs (wineboot, regedit, winepath) through the chosen loader.
wine_exec() { "$WINELOADER" "$@"; }
wine_server() { /usr/lib/wine/wineserver "$@"; }
