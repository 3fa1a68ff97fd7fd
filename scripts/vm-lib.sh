# Sourced by vm-image.sh and vm-test.sh: the Debian guest that runs the i686 build where this host's
# kernel refuses 32-bit programs. Software emulation (no KVM needed).
. "$(dirname "${BASH_SOURCE[0]}")/lock.sh"

# The main suite's address in this machine's own apt sources (deb822 or one-line), for SUITE.
vm_mirror() {
  local suite=$1 found=""
  if compgen -G '/etc/apt/sources.list.d/*.sources' >/dev/null; then
    found=$(awk -v suite="$suite" -v RS= '
      { deb = 0; has = 0; uri = ""
        n = split($0, lines, "\n")
        for (i = 1; i <= n; i++) {
          m = split(lines[i], f, /[ \t]+/)
          if (f[1] == "Types:") for (j = 2; j <= m; j++) if (f[j] == "deb") deb = 1
          if (f[1] == "Suites:") for (j = 2; j <= m; j++) if (f[j] == suite) has = 1
          if (f[1] == "URIs:" && uri == "") uri = f[2]
        }
        if (deb && has && uri != "") { print uri; exit } }' /etc/apt/sources.list.d/*.sources)
  fi
  if [ -z "$found" ]; then
    found=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      sed -E 's/\[[^]]*\]//' | awk -v suite="$suite" '$1 == "deb" && $3 == suite { print $2; exit }')
  fi
  [ -n "$found" ] || { echo "vm: no '$suite' entry in this machine's apt sources" >&2; return 1; }
  echo "$found"
}

# vm_boot VM_DIR DISK PAYLOAD LOG LIMIT: boots the guest from its root DISK (a qcow2 layer) with
# the PAYLOAD disk, whose run.sh it runs; the console goes to LOG, and its lines starting "vm:" are
# shown as they come. Ends the guest after LIMIT seconds. The exit status is the script's, 124 for
# a guest stopped at its limit, 125 for one that ended without saying how its script ended.
# Leaves the processor time the emulator used, in seconds, in vm_cpu.
vm_boot() {
  local vm=$1 disk=$2 payload=$3 log=$4 limit=$5 qemu status line accel=tcg
  # Hardware virtualisation where this host offers it, emulation otherwise.
  if [ -w /dev/kvm ]; then accel=kvm; fi
  : >"$log"
  (close_fds
   exec qemu-system-x86_64 -nodefaults -no-user-config -display none -monitor none -no-reboot \
     -machine pc -accel $accel -cpu max,-smap -smp 2 -m 3072 -nic none \
     -kernel "$vm/vmlinuz" -initrd "$vm/initrd.img" \
     -append "console=ttyS0 root=/dev/vda rw init=/usr/local/sbin/tablorin-vm-init quiet loglevel=3 panic=1 fastboot" \
     -drive "file=$disk,format=qcow2,if=virtio,cache=unsafe" \
     -drive "file=$payload,format=raw,if=virtio,cache=unsafe" \
     -serial "file:$log") &
  qemu=$!
  # An interrupted make ends the guest too.
  trap 'kill $qemu 2>/dev/null; wait $qemu 2>/dev/null; exit 130' INT TERM HUP
  tail -n +1 -s 0.5 -f --pid=$qemu "$log" 2>/dev/null | grep -a --line-buffered '^vm:' | sed -u 's/\r$//' &
  local shown=$! end=$((SECONDS + limit)) ticks
  # The processor time the emulator had: on a busy host, far less than two processors' worth.
  vm_cpu=0
  while kill -0 $qemu 2>/dev/null && [ $SECONDS -lt $end ]; do
    ticks=$(awk '{ print $14 + $15 }' "/proc/$qemu/stat" 2>/dev/null) && vm_cpu=$((ticks / $(getconf CLK_TCK)))
    sleep 1
  done
  status=0
  if kill -0 $qemu 2>/dev/null; then
    kill $qemu 2>/dev/null
    status=124
  fi
  wait $qemu 2>/dev/null || true
  wait $shown 2>/dev/null || true
  trap - INT TERM HUP
  [ $status = 124 ] && return 124
  line=$(tr -d '\r' <"$log" | grep -a '^tablorin-vm: status [0-9]*$' | tail -n 1)
  [ -n "$line" ] || return 125
  return "${line##* }"
}
