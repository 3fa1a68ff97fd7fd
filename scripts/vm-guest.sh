#!/bin/bash
# Runs in the guest, from the payload disk (/payload, see vm-test.sh): the i686 program's start-up,
# then the lines of tests.list (test programs with their GoogleTest filter, or the layout documents
# built through the program's window) under 32-bit Wine, by two workers side by side. Each worker
# has a copy of the prefix with the stand-in registered, a display of its own and a Wine session that
# lives across its programs: starting one costs a minute under emulation. A program that does not
# end by itself gets a new copy and session, as wine-run.sh does on the host.
# Writes each one's GoogleTest XML and output, and a line per result, under /payload/results.
set -uo pipefail
cd /payload
scripts=/payload/scripts
prefix=/root/prefix
out=/payload/results
workers=2
. "$scripts/wine-env.sh"
wine_env "$prefix"
mkdir -p "$out"
# The test kit's waits, for a machine this much slower (see tests/support/TestTime.h).
export TABLORIN_TEST_TIME_SCALE=10
up() { cut -d' ' -f1 /proc/uptime; }
echo "vm: guest up after $(up) s, $(nproc) processors"
win() { echo "Z:${1//\//\\}"; }
# result NAME STATUS SECONDS: one line in results/status and on the console.
result() {
  echo "$1 $2 $3" >>"$out/status"
  echo "vm: $1: $([ "$2" = 0 ] && echo passed || echo "FAILED (status $2)") in $3 s"
}

# Worker N's copy, display and session (WINEPREFIX and DISPLAY are the worker's own), with the
# stand-in registered as "Word.Application" there.
session() {
  local n=$1
  export WINEPREFIX=/root/slot$n DISPLAY=:$((n + 1))
  wine_server -k >/dev/null 2>&1
  wine_server -w
  rm -rf "$WINEPREFIX"
  cp -a "$prefix" "$WINEPREFIX"
  if [ ! -S /tmp/.X11-unix/X$((n + 1)) ]; then
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    for _ in $(seq 1 300); do [ -S /tmp/.X11-unix/X$((n + 1)) ] && break; sleep 0.2; done
  fi
  "$WINELOADER" /payload/i686/wordstub/WordStub.exe /RegServer || return 1
  wine_server -w
  # A program that waits for input that never comes keeps the session (wineserver, services,
  # desktop) up between test programs.
  (close_fds; sleep infinity | exec "$WINELOADER" cmd.exe >/dev/null 2>&1) &
}

# The program users get, started as a user starts it: it asks the stand-in for Word's version and
# shows its main window (the error box has the same title but another size). Wine's taskkill then
# closes it as the close box does, and it must end with 0.
startup() {
  local pid w="" width titled status=0
  "$WINELOADER" /payload/i686/src/tablorin.exe &
  pid=$!
  for _ in $(seq 1 600); do
    w=$(xdotool search --onlyvisible --name '^タブロリン$' 2>/dev/null | head -n 1)
    [ -n "$w" ] && break
    sleep 0.5
  done
  [ -n "$w" ] || { echo "no window titled タブロリン appeared"; kill $pid; return 1; }
  sleep 5
  width=$(xdotool getwindowgeometry "$w" | awk '/Geometry:/ { split($2, s, "x"); print s[1] }')
  titled=$(xdotool search --onlyvisible --name '^タブロリン$' | wc -l)
  echo "tablorin.exe (i686) started: its window is $width pixels wide, $titled window(s) titled タブロリン"
  [ "$width" = 604 ] && [ "$titled" = 1 ] || status=1
  "$WINELOADER" taskkill /IM tablorin.exe
  for _ in $(seq 1 120); do kill -0 $pid 2>/dev/null || break; sleep 0.5; done
  wait $pid || { echo "tablorin.exe ended with $?"; status=1; }
  return $status
}

# One line of the list, its output in results/NAME.log; its status (0 passed, 1 failed, another: it
# did not end by itself).
run_one() {
  local name=$1 limit=$2 filter=$3
  if [ "$name" = layout ]; then
    timeout -k 10 "$limit" bash /payload/tests/wordstub-layout.sh --build-only --photos --only "$filter" \
      /payload/i686/tests/build_through_button.exe "$out/layout" "$WINELOADER"
  else
    timeout -k 10 "$limit" "$WINELOADER" "/payload/i686/tests/${name%%#*}.exe" "--gtest_filter=$filter" \
      "--gtest_output=xml:$(win "$out/${name/\#/-}.xml")"
  fi
}

# Worker N: takes the next line of the list until none is left.
worker() {
  local n=$1 line name limit filter start=$SECONDS status
  if ! session "$n" >"$out/session$n.log" 2>&1; then
    sed 's/^/vm: /' "$out/session$n.log"
    result "session$n" 1 $((SECONDS - start))
    return
  fi
  echo "vm: worker $n: prefix copied, Wine session up, stand-in registered ($((SECONDS - start)) s)"
  if [ "$n" = 0 ]; then
    start=$SECONDS
    startup >"$out/startup.log" 2>&1
    status=$?
    sed 's/^/vm: /' "$out/startup.log"
    result startup $status $((SECONDS - start))
  fi
  while line=$(next_line); do
    read -r name limit filter <<<"$line"
    start=$SECONDS
    run_one "$name" "$limit" "$filter" >"$out/${name/\#/-}.log" 2>&1 </dev/null
    status=$?
    [ "$name" = layout ] && rm -rf "$out/layout/photos"
    result "${name/\#/-}" $status $((SECONDS - start))
    if [ $status -gt 1 ]; then session "$n" >>"$out/session$n.log" 2>&1; fi
  done
  wine_server -k >/dev/null 2>&1
}
grep -v '^#' /payload/tests.list | grep . >/tmp/queue
echo 0 >/tmp/queue.next
next_line() {
  local i
  {
    flock 9
    i=$(($(cat /tmp/queue.next) + 1))
    echo $i >/tmp/queue.next
  } 9>/tmp/queue.lock
  sed -n "${i}p" /tmp/queue | grep .
}

for n in $(seq 0 $((workers - 1))); do (worker "$n") & done
wait
echo "vm: tests ended after $(up) s"
! grep -qv ' 0 [0-9]*$' "$out/status"
