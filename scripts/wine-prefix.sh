#!/usr/bin/env bash
# Prepares one of the project's own Wine prefixes once: boot, Japanese font replacements, no crash
# dialogs. A 32-bit prefix for the i686 build, a 64-bit one for the x86_64 build.
# Usage: wine-prefix.sh PREFIX_DIR ARCH
set -euo pipefail
prefix=$(realpath -m "$1")
arch=$2
. "$(dirname "$0")/wine-env.sh"
marker="$prefix/.tablorin-ready"
# Bump when the settings below change, so existing prefixes take them up.
settings_version=3

# Marlett draws the caption buttons; this Wine build does not look for its own copy, so put it in
# the prefix's font folder (cheap, so checked on every run).
add_marlett() {
  local fonts="$prefix/drive_c/windows/Fonts"
  if [ -d "$fonts" ] && [ -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -e "$fonts/marlett.ttf" ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
  fi
}
add_marlett

[ -f "$marker" ] && [ "$(cat "$marker")" = "$settings_version" ] && exit 0

wine_env "$prefix" "$arch"
if [ ! -f "$prefix/system.reg" ] || [ "$(cat "$prefix/.tablorin-arch" 2>/dev/null)" != "$arch" ]; then
  echo "wine: preparing the $WINEARCH prefix $prefix (once)" >&2
  rm -rf "$prefix"
  mkdir -p "$prefix"
  wine_exec wineboot -i >/dev/null 2>&1 || true
  wine_server -w
  if [ ! -f "$prefix/system.reg" ]; then
    echo "wine: $WINELOADER could not prepare $prefix" >&2
    if ! "$WINELOADER" --version >/dev/null 2>&1; then
      echo "wine: this host cannot run $WINELOADER; leave ARCH unset to use the build it can run" >&2
    fi
    exit 1
  fi
  echo "$arch" >"$prefix/.tablorin-arch"
fi

reg=$(mktemp --suffix=.reg)
# The Windows fonts the program asks for, drawn with the installed IPA fonts.
iconv -f UTF-8 -t UTF-16LE >"$reg" <<'REG'
﻿Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS PGothic"="IPAPGothic"
"MS Gothic"="IPAGothic"
"MS UI Gothic"="IPAPGothic"
"HGP創英角ﾎﾟｯﾌﾟ体"="IPAPGothic"
"HGP創英角ポップ体"="IPAPGothic"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Audio"=""

; Unmanaged windows: with no window manager on the virtual display, Wine would otherwise wait
; two seconds for each visible window to be withdrawn when it is destroyed.
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
REG
wine_exec regedit /S "$(wine_exec winepath -w "$reg")" >/dev/null 2>&1
wine_server -w
rm -f "$reg"
echo "$settings_version" >"$marker"
add_marlett
