#!/usr/bin/env bash
# Which build the tests and `make run` use on this host: i686 where 32-bit Wine runs, x86_64 where it
# cannot. Found once by trying the loaders, then kept in CACHE_FILE.
# Usage: host-arch.sh CACHE_FILE
set -euo pipefail
cache=$1
if [ -f "$cache" ]; then cat "$cache"; exit 0; fi
here=$(cd "$(dirname "$0")" && pwd)

# A minimal 32-bit Linux program (exit(0) through int 0x80): does this kernel run 32-bit code at all?
runs_32bit_elf() {
  local probe
  probe=$(mktemp)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  local status=0
  "$probe" >/dev/null 2>&1 || status=$?
  rm -f "$probe"
  return $status
}

arch=x86_64
if runs_32bit_elf; then
  # The kernel takes 32-bit programs: install 32-bit Wine and try its loader for real.
  bash "$here/setup-deps.sh" i686 >&2
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then arch=i686; fi
fi
mkdir -p "$(dirname "$cache")"
echo "$arch" >"$cache"
echo "host: tests run the $arch build ($( [ $arch = i686 ] && echo '32-bit Wine runs here' || echo '32-bit Wine cannot run here'))" >&2
echo "$arch"
