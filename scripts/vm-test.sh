#!/usr/bin/env bash
# The program users get, tested where this host's kernel refuses 32-bit programs: takes the i686
# program as shipped (build/i686-alone), builds the stand-in and the test programs of tests/vm-tests.txt, makes the guest (vm-image.sh) once,
# puts them on a payload disk and boots the guest, which runs them under 32-bit Wine (vm-guest.sh)
# and writes its results onto that disk; they are read back here without mounting it (debugfs).
# Skipped when the payload and the image are the same, by content, as in the last green run.
# Usage: vm-test.sh BUILD_DIR [JOBS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
build=$(realpath -m "$1")
jobs=${2:-$(nproc)}
out32=$build/i686
vm=$build/vm
run=$vm/run
list=$top/tests/vm-tests.txt
. "$here/vm-lib.sh"

programs=$(awk '!/^#/ && NF && $1 != "layout" { sub(/#.*/, "", $1); print $1 }' "$list" | sort -u)
echo "vm: building the i686 stand-in and the test programs the guest runs"
# shellcheck disable=SC2086
cmake --build "$out32" -j"$jobs" --target WordStub build_through_button $programs -- --no-print-directory |
  { grep -v '^\[ *[0-9]*%\] Built target' || true; }
bash "$here/vm-image.sh" "$vm"

# Made beside the last run, whose results stay until the guest runs again.
payload=$vm/payload
rm -rf "$payload"
mkdir -p "$payload/i686/src" "$payload/i686/wordstub" "$payload/i686/tests" "$payload/scripts" "$payload/tests"
cp "$build/i686-alone/src/tablorin.exe" "$payload/i686/src/"
cp "$out32/wordstub/WordStub.exe" "$payload/i686/wordstub/"
for p in $programs build_through_button; do cp "$out32/tests/$p.exe" "$payload/i686/tests/"; done
cp "$here/wine-env.sh" "$here/lock.sh" "$payload/scripts/"
cp "$top/tests/wordstub-layout.sh" "$payload/tests/"
cp "$here/vm-guest.sh" "$payload/run.sh"
cp "$list" "$payload/tests.list"
# What decides the outcome: the payload, the image, and the host-side checks of what comes back.
key=$({ (cd "$payload" && find . -type f | LC_ALL=C sort | xargs sha256sum)
        cat "$vm/image.ready" "$here/vm-test.sh" "$top/tests/check-docx-layout.py"; } | sha256sum | cut -c1-32)
if [ -f "$vm/last-green" ] && [ "$(head -n 1 "$vm/last-green")" = "$key" ]; then
  echo "vm: the guest part is skipped: the i686 programs, the guest's scripts and the image are the same," \
    "by content, as in its last green run ($(sed -n 2p "$vm/last-green"))"
  sed -n 3p "$vm/last-green"
  rm -rf "$payload"
  exit 0
fi

rm -rf "$run"
mkdir -p "$run"
mkfs.ext4 -q -F -L payload -d "$payload" "$run/payload.img" 2G >/dev/null
qemu-img create -q -f qcow2 -F qcow2 -b "$vm/image.qcow2" "$run/root.qcow2"
echo "vm: booting the guest (2 processors, $([ -w /dev/kvm ] && echo KVM || echo 'software emulation')) to run the i686 tests"
started=$SECONDS
status=0
vm_boot "$vm" "$run/root.qcow2" "$run/payload.img" "$run/console.log" 2700 || status=$?
took=$((SECONDS - started))
rm -f "$run/root.qcow2"
echo "vm: the guest ran for $took s ($((took / 60)) min $((took % 60)) s), using $vm_cpu s of processor time"
case $status in
  124) echo "vm: the guest did not end within its limit; stopped" ;;
  125) echo "vm: the guest ended without a word on how its tests went; its console:"
       tail -n 40 "$run/console.log" ;;
esac
# A guest stopped at its limit left the disk unclean: bring its journal in before reading it.
e2fsck -fp "$run/payload.img" >/dev/null 2>&1 || true
debugfs -R "rdump /results $run" "$run/payload.img" >/dev/null 2>&1 || true
results=$run/results
mkdir -p "$results"
rm -rf "$payload" "$run/payload.img"

# The layout documents the i686 build made through its window, checked here as on x86_64.
layout=$(awk '$1 == "layout" { print $3 }' "$list")
if [ -n "$layout" ] && grep -q '^layout 0 ' "$results/status" 2>/dev/null; then
  echo "vm: checking the documents the guest built through the program's window (LibreOffice)"
  if ! bash "$top/tests/wordstub-layout.sh" --check-only --photos --only "$layout" none "$results/layout" \
       >"$results/layout-check.log" 2>&1; then
    sed -i 's/^layout 0 /layout check /' "$results/status"
    cat "$results/layout-check.log" >>"$results/layout.log"
  fi
fi

# Counts: GoogleTest cases from the XML; the start-up and the layout one each; a program that did
# not end well, or never reported, is one failure more than its XML tells.
summary=$(/usr/bin/python3 - "$results" "$status" "$list" <<'PY'
import os, sys, xml.etree.ElementTree as ET
results, guest, listing = sys.argv[1], sys.argv[2], sys.argv[3]
expected = ["startup"] + [l.split()[0].replace("#", "-") for l in open(listing) if l.split() and not l.startswith("#")]
path = os.path.join(results, "status")
ended = dict(l.split()[:2] for l in open(path) if l.strip()) if os.path.exists(path) else {}
passed = failed = 0
bad = []
for name in expected:
    status = ended.get(name, "missing")
    xml = os.path.join(results, name + ".xml")
    cases = [c for c in ET.parse(xml).iter("testcase") if c.get("status", "run") == "run"] if os.path.exists(xml) else []
    f = sum(c.find("failure") is not None for c in cases)
    p = len(cases) - f + (status == "0" and not cases)
    f += status != "0" and f == 0
    passed, failed = passed + p, failed + f
    if f:
        bad.append(name)
if guest != "0" and not bad:
    failed += 1
    bad.append("guest")
print(passed, failed, " ".join(bad))
PY
)
read -r passed failed bad <<<"$summary"
for name in $bad; do
  [ -f "$results/$name.log" ] || continue
  echo "---- $name, in the guest: $(grep "^$name " "$results/status" | cut -d' ' -f2-3 | sed 's/^\([^ ]*\) \(.*\)/status \1 after \2 s/')"
  tail -n 300 "$results/$name.log"
done
closing="i686 in the virtual machine: $passed passed, $failed failed"
echo "$closing"
if [ "$failed" = 0 ] && [ $status = 0 ]; then
  printf '%s\n%s\n%s\n' "$key" "$(date '+%Y-%m-%d %H:%M'), the guest ran for $took s" "$closing" >"$vm/last-green"
  exit 0
fi
rm -f "$vm/last-green"
exit 1
