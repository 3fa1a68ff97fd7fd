#!/usr/bin/env bash
# Makes the guest that runs the i686 build where this host's kernel refuses 32-bit programs: a Debian 12
# amd64 root image with the i386 architecture, 32-bit Wine, Xvfb and the IPA fonts (base.img), its
# kernel and initrd, and over it a qcow2 layer holding the 32-bit Wine prefix, made in the guest by
# wine-prefix.sh (image.qcow2). Packages come from the main suite of this machine's own apt mirror
# only: it keeps the amd64 and i386 versions equal, as multiarch needs.
# Made once; made anew when its recipe (this script, vm-init.sh, the prefix scripts) changes. Each
# stage leaves its mark, so an interrupted build goes on from the stage it was in.
# Usage: vm-image.sh VM_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
vm=$(realpath -m "$1")
. "$here/vm-lib.sh"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
suite=bookworm
packages=(linux-image-amd64 xvfb xdotool fonts-ipafont-gothic fonts-wine procps iproute2 wine wine32:i386)

base_recipe=$(cat "$here/vm-image.sh" "$here/vm-init.sh" | sha256sum | cut -c1-16)
prefix_recipe=$(cat "$here/vm-image.sh" "$here/vm-init.sh" "$here/wine-prefix.sh" "$here/wine-env.sh" \
  "$here/lock.sh" | sha256sum | cut -c1-16)
ready() { [ -f "$vm/image.qcow2" ] && [ "$(cat "$vm/image.ready" 2>/dev/null)" = "$prefix_recipe" ]; }
ready && exit 0
mkdir -p "$vm"
root="$vm/root"
started=$SECONDS

# The tree is only ever removed with nothing mounted in it.
unmount_tree() {
  local m
  for m in $(findmnt -rn -o TARGET | grep -F "$root/" | sort -r); do $SUDO umount -l "$m"; done
}
remove_tree() {
  unmount_tree
  $SUDO rm -rf --one-file-system "$root"
}
in_root() { $SUDO chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive http_proxy="${http_proxy:-}" https_proxy="${https_proxy:-}" "$@"; }

make_tree() {
  local mirror
  mirror=$(vm_mirror $suite)
  remove_tree
  rm -f "$vm/.tree-done"
  echo "vm: installing Debian 12 with 32-bit Wine into $root (once; about 10 minutes)" >&2
  mkdir -p "$vm/debs"
  $SUDO debootstrap --arch=amd64 --variant=minbase --cache-dir="$vm/debs" $suite "$root" "$mirror" \
    >"$vm/debootstrap.log" 2>&1 || { tail -n 20 "$vm/debootstrap.log" >&2; return 1; }
  trap unmount_tree EXIT
  trap 'unmount_tree; exit 130' INT TERM HUP
  $SUDO mount -t proc proc "$root/proc"
  # The initrd needs only what finds the root disk: made in seconds, read in less at boot.
  $SUDO mkdir -p "$root/etc/initramfs-tools/conf.d"
  echo MODULES=list | $SUDO tee "$root/etc/initramfs-tools/conf.d/tablorin" >/dev/null
  printf '%s\n' virtio_pci virtio_blk ext4 | $SUDO tee "$root/etc/initramfs-tools/modules" >/dev/null
  # Nothing installed here may start a service.
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$root/usr/sbin/policy-rc.d" >/dev/null
  $SUDO chmod 755 "$root/usr/sbin/policy-rc.d"
  # The same trust in the mirror as this machine's apt has (an archive snapshot's dates).
  apt-config dump | grep -E '^Acquire::Check-(Valid-Until|Date) ' |
    $SUDO tee "$root/etc/apt/apt.conf.d/10host" >/dev/null || true
  in_root dpkg --add-architecture i386
  in_root apt-get update -qq
  in_root apt-get install -y -qq --no-install-recommends -o Dpkg::Options::=--force-confdef \
    -o Dpkg::Options::=--force-confold "${packages[@]}" >"$vm/packages.log" 2>&1 ||
    { tail -n 20 "$vm/packages.log" >&2; return 1; }
  in_root apt-get clean
  $SUDO rm -rf "$root"/var/lib/apt/lists/* "$root"/usr/share/doc/* "$root"/usr/share/man/*
  $SUDO install -m 755 "$here/vm-init.sh" "$root/usr/local/sbin/tablorin-vm-init"
  unmount_tree
  trap - EXIT INT TERM HUP
  echo "$base_recipe" >"$vm/.tree-done"
}

if [ ! -f "$vm/base.img" ] || [ "$(cat "$vm/base.ready" 2>/dev/null)" != "$base_recipe" ]; then
  rm -f "$vm/base.ready" "$vm/image.ready" "$vm/image.qcow2"
  if [ ! -d "$root" ] || [ "$(cat "$vm/.tree-done" 2>/dev/null)" != "$base_recipe" ]; then make_tree; fi
  echo "vm: writing the root image" >&2
  for f in vmlinuz initrd.img; do
    $SUDO sh -c "cat $root/boot/$f-*" >"$vm/$f.new"
    mv "$vm/$f.new" "$vm/$f"
  done
  # Room for the prefix and the copies the tests run in.
  $SUDO mkfs.ext4 -q -F -L tablorin-root -d "$root" "$vm/base.img.new" 5G >/dev/null
  $SUDO chown "$(id -u):$(id -g)" "$vm/base.img.new"
  mv "$vm/base.img.new" "$vm/base.img"
  echo "$base_recipe" >"$vm/base.ready"
  remove_tree
  rm -f "$vm/.tree-done"
fi

echo "vm: making the 32-bit Wine prefix in the guest" >&2
payload="$vm/prefix-payload"
rm -rf "$payload" "$vm/image.qcow2.new"
mkdir -p "$payload/scripts"
cp "$here/wine-prefix.sh" "$here/wine-env.sh" "$here/lock.sh" "$payload/scripts/"
cat >"$payload/run.sh" <<'EOF'
set -e
echo "vm: guest up after $(cut -d' ' -f1 /proc/uptime) s; making the prefix"
bash /payload/scripts/wine-prefix.sh /root/prefix i686
echo "vm: prefix made"
EOF
(cd "$vm" && qemu-img create -q -f qcow2 -F raw -b base.img image.qcow2.new)
mkfs.ext4 -q -F -d "$payload" "$vm/prefix-payload.img" 64M >/dev/null
status=0
vm_boot "$vm" "$vm/image.qcow2.new" "$vm/prefix-payload.img" "$vm/prefix.log" 1800 || status=$?
rm -rf "$payload" "$vm/prefix-payload.img"
if [ $status != 0 ]; then
  echo "vm: the guest could not make the prefix (status $status); its console: $vm/prefix.log" >&2
  tail -n 30 "$vm/prefix.log" >&2
  exit 1
fi
mv "$vm/image.qcow2.new" "$vm/image.qcow2"
echo "$prefix_recipe" >"$vm/image.ready"
echo "vm: the guest image is ready ($((SECONDS - started)) s)" >&2
