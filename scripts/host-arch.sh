#!/usr/bin/env bash
# Which build the tests and `make run` use on this host: i686 where 32-bit Wine runs, x86_64 where it
# cannot. Found once by trying the loaders, then kept in CACHE_FILE.
# Usage: host-arch.sh CACHE_FILE
set -euo pipefail
cache=$1
if [ -f "$cache" ]; then cat "$cache"; exit 0; fi
here=$(cd "$(dirname "$0")" && pwd)

dir=$(dirname "$cache")
mkdir -p "$dir"
# The probes run from the build folder: the system's temporary folder may be mounted noexec, and a
# probe that cannot run there says nothing about 32-bit programs.
probes=()
trap 'rm -f "${probes[@]}"' EXIT
# Writes a probe from printf's FORMAT and runs it; its exit status.
run_probe() {
  local probe
  probe=$(mktemp "$dir/.host-probe.XXXXXX")
  probes+=("$probe")
  printf "$1" >"$probe"
  chmod +x "$probe"
  local status=0
  "$probe" >/dev/null 2>&1 || status=$?
  return $status
}

if ! run_probe '#!/bin/sh\nexit 0\n'; then
  echo "host: cannot execute programs in $dir (mounted noexec?); use another build folder (make BUILD=...)" >&2
  exit 1
fi
arch=x86_64
# A minimal 32-bit Linux program (exit(0) through int 0x80): does this kernel run 32-bit code at all?
if run_probe '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'; then
  # The kernel takes 32-bit programs: install 32-bit Wine and try its loader for real.
  bash "$here/setup-deps.sh" i686 >&2
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then arch=i686; fi
fi
echo "$arch" >"$cache.new"
mv "$cache.new" "$cache"
echo "host: tests run the $arch build ($( [ $arch = i686 ] && echo '32-bit Wine runs here' || echo '32-bit Wine cannot run here'))" >&2
echo "$arch"
