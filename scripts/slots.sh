# Sourced by register-stub.sh and wine-run.sh: the copies of a prefix that test programs run in,
# PREFIX_DIR.slotN, each taken under its lock PREFIX_DIR.slotN.lock. Everything here expects the
# caller to hold the copy's lock.
#
# A copy holds the registration stamp of the prefix it was copied from (.wordstub-registered), and a
# dirty mark (.tablorin-dirty) while a test program runs in it: a program that did not end by itself
# may have left the copy changed (the Word stand-in unregistered, a scenario behind), so a copy found
# dirty is copied again.

# Ends the Wine session of a copy: whatever runs there belongs to the holder of its lock.
slot_end_session() {
  [ -d "$1" ] || return 0
  WINEPREFIX=$1 wine_server -k >/dev/null 2>&1 || true
}

# Whether the copy COPY of PREFIX is missing, dirty or from another registration of the prefix.
slot_stale() {
  local prefix=$1 copy=$2
  [ -f "$copy/system.reg" ] && [ ! -e "$copy/.tablorin-dirty" ] &&
    [ "$(cat "$copy/.wordstub-registered" 2>/dev/null)" = "$(cat "$prefix/.wordstub-registered" 2>/dev/null)" ] &&
    return 1
  return 0
}

# Copies PREFIX again into its copy COPY: into a folder of its own first, renamed into place once
# complete, so that an interrupted copy never passes for a current one. The caller also holds PREFIX's
# lock (shared), so that the prefix does not change under the copy.
slot_refresh() {
  local prefix=$1 copy=$2
  local fresh="$prefix.fresh-${copy##*.}" old="$prefix.old-${copy##*.}"
  slot_end_session "$copy"
  slot_end_session "$old"
  rm -rf "$fresh" "$old"
  cp -a --reflink=auto "$prefix" "$fresh"
  rm -f "$fresh/.tablorin-dirty"
  if [ -e "$copy" ]; then mv "$copy" "$old"; fi
  mv "$fresh" "$copy"
  rm -rf "$old"
}

# Removes the copy COPY of PREFIX, and what an interrupted refresh of it left.
slot_remove() {
  local prefix=$1 copy=$2
  slot_end_session "$copy"
  slot_end_session "$prefix.old-${copy##*.}"
  rm -rf "$copy" "$prefix.fresh-${copy##*.}" "$prefix.old-${copy##*.}"
}
