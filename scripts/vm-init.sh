#!/bin/bash
# The guest's first process (init=): mounts what Wine and Xvfb need, runs the script of the payload
# disk (/dev/vdb), tells the host its exit status in a console line, and powers the guest off.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/root USER=root
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm /payload
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
hostname tablorin-vm
ip link set lo up 2>/dev/null
cd /
status=1
if mount /dev/vdb /payload; then
  bash /payload/run.sh </dev/null
  status=$?
  # What the script left running (a Wine session, Xvfb) would keep the disk busy.
  kill -KILL -1 2>/dev/null
  sleep 1
  # Unmounted, or at least read-only: the host reads the disk without replaying its journal.
  umount /payload || mount -o remount,ro /payload || status=1
fi
sync
echo "tablorin-vm: status $status"
# Power off at once: nothing else runs here that needs stopping.
echo o >/proc/sysrq-trigger
sleep 60
