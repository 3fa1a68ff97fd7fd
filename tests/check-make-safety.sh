#!/usr/bin/env bash
# Checks by hand (make test does not run this) that make test can run beside make run, beside itself
# and after an interruption, in this checkout:
#   1. make run on a display of its own, then make test: the program's window is still there after;
#   2. two make test at once: both pass, and the second says that it waits for the first;
#   3. make test interrupted (SIGINT, as Ctrl-C) while it copies the prefix for the tests, then
#      make test without make clean: passes;
#   4. make test interrupted inside test_probe while the Word stand-in is unregistered in the copy,
#      then make test: passes;
#   5. make test three times in a row with one core kept busy beside it: all three pass;
# and prints how long each whole make test took, with the machine's load. Takes three quarters of an
# hour or so.
# Usage: tests/check-make-safety.sh [STEP...]   (default: all five)
set -uo pipefail
steps=${*:-1 2 3 4 5}
want() { [[ " $steps " == *" $1 "* ]]; }
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
logs=$(mktemp -d)
failed=0
groups=()
xvfb=""

cleanup() {
  local g
  for g in "${groups[@]}"; do kill -TERM -- "-$g" 2>/dev/null; done
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null; fi
}
trap cleanup EXIT
say() { echo "check: $*"; }
verdict() { # CONDITION-STATUS TEXT
  if [ "$1" = 0 ]; then say "PASS $2"; else say "FAIL $2"; failed=1; fi
}
load() { cut -d' ' -f1-3 /proc/loadavg; }
# Runs make in the background in a process group of its own, so that it can be interrupted as a whole
# as Ctrl-C would (a background command of a script ignores SIGINT unless told otherwise).
start_make() { # LOG ARGS... -> pid in $started
  setsid env --default-signal=INT make "${@:2}" >"$1" 2>&1 &
  started=$!
  groups+=("$started")
}
# A whole make test in the foreground; its time and the load before and after go to the summary.
durations=()
timed_make_test() { # LOG LABEL
  local before start status
  before=$(load)
  start=$(date +%s)
  make test >"$1" 2>&1
  status=$?
  durations+=("$2: $(($(date +%s) - start)) s, load before $before, after $(load)")
  return $status
}
# Waits for a make started by start_make; its exit status.
finish() { # PID
  local status=0 g kept=()
  wait "$1" || status=$?
  for g in "${groups[@]}"; do [ "$g" = "$1" ] || kept+=("$g"); done
  groups=("${kept[@]}")
  return $status
}
tail_of() { tail -n 15 "$1" | sed 's/^/    | /'; }

say "preparing (make prefix)"
make prefix >"$logs/prefix.log" 2>&1 || { tail_of "$logs/prefix.log"; exit 1; }
arch=$(cat build/host-arch)
prefix="$root/build/$arch/wineprefix"
stub="$root/build/$arch/wordstub/WordStub.exe"

# 1. make run, then make test.
if want 1; then
  say "1. make run on its own display, then make test"
  numfile="$logs/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 1 100); do grep -q . "$numfile" && break; sleep 0.1; done
  display=":$(head -n 1 "$numfile" | tr -dc '0-9')"
  DISPLAY=$display start_make "$logs/run.log" run
  run=$started
  window=""
  for _ in $(seq 1 600); do
    window=$(DISPLAY=$display xdotool search --onlyvisible --name '^タブロリン$' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    sleep 0.5
  done
  if [ -z "$window" ]; then
    verdict 1 "make run showed no window titled タブロリン"
    tail_of "$logs/run.log"
  else
    DISPLAY=$display timed_make_test "$logs/test-beside-run.log" "make test beside make run"
    verdict $? "make test beside make run passes"
    state=$(DISPLAY=$display xwininfo -id "$window" 2>/dev/null | awk '/Map State:/ {print $NF}')
    [ "$state" = IsViewable ] && kill -0 "$run" 2>/dev/null
    verdict $? "make run's window is still there afterwards (window $window: ${state:-gone})"
  fi
  kill -TERM -- "-$run" 2>/dev/null
  finish "$run"
  # make run's session (this checkout's own prefix) ends with its program.
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  xvfb=""
fi

# 2. Two make test at once.
if want 2; then
  say "2. two make test at once"
  start=$(date +%s)
  before=$(load)
  start_make "$logs/first.log" test
  first=$started
  sleep 3
  start_make "$logs/second.log" test
  second=$started
  finish "$first"
  first_status=$?
  durations+=("first of two at once: $(($(date +%s) - start)) s, load before $before, after $(load)")
  finish "$second"
  second_status=$?
  durations+=("second of two at once (waiting included): $(($(date +%s) - start)) s")
  verdict $first_status "the first make test passes"
  verdict $second_status "the second make test passes"
  grep -q "make test: waiting for the make test" "$logs/second.log"
  verdict $? "the second says that it waits: $(grep -m1 'waiting for' "$logs/second.log")"
fi

# 3. Interrupted while copying the prefix for the tests (a newer stand-in has all copies made anew).
if want 3; then
  say "3. make test interrupted while it copies the prefix"
  touch "$stub"
  start_make "$logs/interrupted-copy.log" test
  make_pid=$started
  copying=""
  for _ in $(seq 1 1200); do
    for fresh in "$prefix".fresh-slot*; do
      if [ -d "$fresh" ] && [ "$(du -sm "$fresh" 2>/dev/null | cut -f1)" -gt 100 ]; then copying=$fresh; fi
    done
    [ -n "$copying" ] && break
    kill -0 "$make_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -INT -- "-$make_pid" 2>/dev/null
  finish "$make_pid"
  interrupted=$?
  left=$(compgen -G "$prefix.fresh-slot*" | xargs -r -n1 basename | tr '\n' ' ')
  say "   interrupted while copying into $(basename "${copying:-(none)}"), make's status $interrupted; left: ${left:-nothing}"
  [ -n "$copying" ] && [ $interrupted != 0 ] && [ -n "$left" ]
  verdict $? "make test stopped during a copy and left it half made"
  timed_make_test "$logs/after-copy.log" "make test after an interrupted copy"
  verdict $? "the next make test passes"
  leftovers=$(compgen -G "$prefix.fresh-slot*" || true)
  [ -z "$leftovers" ]
  verdict $? "no half-made copy left behind"
fi

# 4. Interrupted inside test_probe while the stand-in is unregistered (the error box is showing).
if want 4; then
  say "4. make test interrupted inside test_probe"
  GTEST_FILTER=ProbeFailure.WordNotInstalled start_make "$logs/interrupted-probe.log" test CTEST_ARGS="-R test_probe"
  make_pid=$started
  shown=""
  display=""
  for _ in $(seq 1 6000); do
    # The test program's display (one of its own) is in its environment; once known, only the box
    # is looked for, as often as possible: it shows for a fraction of a second.
    if [ -z "$display" ]; then
      for x in $(pgrep -s "$make_pid" -f 'test_probe\.exe'); do
        display=$({ tr '\0' '\n' <"/proc/$x/environ"; } 2>/dev/null | sed -n 's/^DISPLAY=//p')
        [ -n "$display" ] && break
      done
    elif [ -n "$(DISPLAY=$display xdotool search --onlyvisible --name '^タブロリン$' 2>/dev/null)" ]; then
      shown=$display
      break
    fi
    kill -0 "$make_pid" 2>/dev/null || break
    [ -n "$display" ] || sleep 0.05
  done
  dirty=$(compgen -G "$prefix.slot*/.tablorin-dirty" | head -n 1)
  kill -INT -- "-$make_pid" 2>/dev/null
  finish "$make_pid"
  interrupted=$?
  [ -n "$shown" ] && [ $interrupted != 0 ] && ! grep -q "tests passed" "$logs/interrupted-probe.log"
  verdict $? "make test stopped while test_probe showed its error box (display ${shown:-none}; make's status $interrupted)"
  if [ -n "$dirty" ]; then
    copy=$(dirname "$dirty")
    # What the copy would give the next test without the mark (its session saved the registry or not).
    registered=no
    grep -q '^\[Software\\\\Classes\\\\Word.Application\\\\CLSID\]' "$copy/system.reg" && registered=yes
    say "   $(basename "$copy"): dirty mark $( [ -e "$copy/.tablorin-dirty" ] && echo kept || echo gone)," \
        "Word.Application registered in its registry on disk: $registered"
    [ -e "$copy/.tablorin-dirty" ]
    verdict $? "the interrupted copy stays marked dirty"
  fi
  timed_make_test "$logs/after-probe.log" "make test after an interrupted test_probe"
  verdict $? "the next make test passes"
fi

# 5. Three make test in a row beside a busy core, as beside another job on the machine.
if want 5; then
  say "5. make test three times in a row, with one core kept busy"
  # A plain busy loop, bounded: it ends by itself after an hour at the latest.
  setsid timeout 3600 sh -c 'while :; do :; done' &
  hog=$!
  groups+=("$hog")
  for run in 1 2 3; do
    timed_make_test "$logs/busy-core-$run.log" "make test $run of 3 beside a busy core"
    status=$?
    verdict $status "make test $run of 3 beside a busy core passes"
    [ $status = 0 ] || tail_of "$logs/busy-core-$run.log"
  done
  kill -TERM -- "-$hog" 2>/dev/null
  finish "$hog"
fi

say "durations of whole make test runs (the build was ready; $(nproc) cores):"
for d in "${durations[@]}"; do echo "    $d"; done
if [ $failed = 0 ]; then say "all passed (logs in $logs)"; else say "some checks failed (logs in $logs)"; fi
exit $failed
