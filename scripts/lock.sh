# Sourced by the scripts: advisory locks (flock) held by the calling shell for as long as it runs or
# until lock_drop. Programs started under a lock must not inherit its descriptor (see close_fds):
# a wineserver that outlives the script would keep the lock taken.

# lock_take VAR FILE MESSAGE [-s]: opens FILE, keeps its descriptor in VAR and locks it (shared with
# -s), saying MESSAGE on stderr first when someone else holds it.
lock_take() {
  local var=$1 file=$2 message=$3 mode=${4:--x} fd
  exec {fd}>>"$file"
  if ! flock -n "$mode" "$fd"; then
    [ -z "$message" ] || echo "$message" >&2
    flock "$mode" "$fd"
  fi
  printf -v "$var" %s "$fd"
}

# lock_try VAR FILE: like lock_take without waiting; fails when someone else holds FILE.
lock_try() {
  local var=$1 file=$2 fd
  exec {fd}>>"$file"
  if flock -n "$fd"; then
    printf -v "$var" %s "$fd"
    return 0
  fi
  exec {fd}>&-
  return 1
}

# lock_drop FD: lets the lock go.
lock_drop() { eval "exec $1>&-"; }

# Closes every descriptor above 2 of this shell. Call it in a subshell just before starting a program.
close_fds() {
  local fd
  for fd in /proc/"$BASHPID"/fd/*; do
    fd=${fd##*/}
    [ "$fd" -gt 2 ] && eval "exec $fd>&-" 2>/dev/null
  done
  return 0
}
