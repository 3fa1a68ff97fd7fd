#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Does nothing when they are all there.
# Usage: setup-deps.sh ARCH   (i686 or x86_64: the build whose tests run here; the i686 program is
# always built, so its compiler is always installed, but 32-bit Wine only for the i686 path; the
# x86_64 path runs the i686 tests in a virtual machine instead, see vm-image.sh)
set -euo pipefail
arch=${1:-i686}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PKGS=(
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  libz-mingw-w64-dev cmake make clang
  wine wine64
  xvfb xauth x11-utils imagemagick xdotool
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-wine
  googletest
  libreoffice-writer-nogui python3-fitz
  dpkg-dev python3
)
case "$arch" in
  i686) PKGS+=(wine32:i386) ;;
  x86_64)
    PKGS+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
           mingw-w64-x86-64-dev qemu-system-x86 qemu-utils debootstrap e2fsprogs) ;;
  *) echo "setup: unknown architecture $arch" >&2; exit 1 ;;
esac

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

need_src=0
if ! ls /etc/apt/sources.list.d/tablorin-src.* >/dev/null 2>&1 \
   && ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ \
   && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  need_src=1
fi

if [ ${#missing[@]} -eq 0 ] && [ $need_src -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]:-source entries}" >&2

if [ "$arch" = i686 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

# Source entries for 'apt-get source', derived from the machine's own binary entries.
if [ $need_src -eq 1 ]; then
  tmp=$(mktemp)
  if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
    for f in /etc/apt/sources.list.d/*.sources; do
      grep -q 'debian' "$f" || continue
      sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "$f" >>"$tmp"
      echo >>"$tmp"
    done
    $SUDO install -m 644 "$tmp" /etc/apt/sources.list.d/tablorin-src.sources
  else
    grep -hE '^deb ' /etc/apt/sources.list 2>/dev/null | sed 's/^deb /deb-src /' >"$tmp" || true
    $SUDO install -m 644 "$tmp" /etc/apt/sources.list.d/tablorin-src.list
  fi
  rm -f "$tmp"
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
