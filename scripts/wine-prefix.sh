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
# The copies of the prefix follow its id (see register-stub.sh), written when the prefix is made.
ready() { [ -f "$marker" ] && [ "$(cat "$marker")" = "$settings_version" ] && [ -s "$prefix/.tablorin-id" ]; }
new_id() { cat /proc/sys/kernel/random/uuid >"$prefix/.tablorin-id"; }

if ready; then add_marlett; exit 0; fi
# One script at a time makes or changes the prefix; a second one waits, then finds it ready.
mkdir -p "$(dirname "$prefix")"
lock_take main "$prefix.lock" "wine: waiting for another script preparing $prefix"
if ready; then add_marlett; exit 0; fi

wine_env "$prefix" "$arch"
if [ ! -f "$prefix/system.reg" ] || [ "$(cat "$prefix/.tablorin-arch" 2>/dev/null)" != "$arch" ]; then
  echo "wine: preparing the $WINEARCH prefix $prefix (once)" >&2
  if wine_server_running; then
    echo "wine: $prefix must be made anew, but a program is running in it (make run?); close it first" >&2
    exit 1
  fi
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
  new_id
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
running=0
if wine_server_running; then running=1; fi
sum=$(wine_registry_sum)
wine_exec regedit /S "$(wine_exec winepath -w "$reg")" >/dev/null 2>&1
wine_registry_settle $running "$sum"
rm -f "$reg"
[ -s "$prefix/.tablorin-id" ] || new_id
echo "$settings_version" >"$marker"
add_marlett
