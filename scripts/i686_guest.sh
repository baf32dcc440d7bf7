# Sourced: a full-system guest, under qemu-system-x86_64, where the shipped
# i686 exe runs under 32-bit Wine on a machine whose own kernel refuses 32-bit
# code. The guest runs Debian's amd64 kernel, which does execute 32-bit
# programs; without /dev/kvm every instruction is emulated (TCG), so it is slow
# but it is the real i686 product on a real 32-bit Wine.
#
# The image (kernel, initrd, and an ext4 disk holding a debootstrap root with
# 32-bit Wine and two ready Wine prefixes) is cached below /var/tmp, one
# folder per recipe, and made again only when the recipe changes. Each boot
# shares the work tree in, read-only, and a results folder out; the disk is
# used in snapshot mode, so no boot changes the image.
#
# kova_guest_make            makes the image unless it is there
# kova_guest_run "command"   runs a command line in the guest, in the current
#                            folder's path, and returns its exit status

. "$(dirname "${BASH_SOURCE[0]}")/debian_root.sh"
KOVA_GUEST_PACKAGES="$KOVA_DEBIAN_WINE_PACKAGES"
# The kernel boots from an initrd that holds only what finds the disk.
KOVA_GUEST_BOOT_PACKAGES="linux-image-amd64 initramfs-tools kmod iproute2"
KOVA_GUEST_BOOT_MODULES="virtio_pci virtio_blk ext4"
KOVA_GUEST_MAKE_SECONDS=${KOVA_GUEST_MAKE_SECONDS:-2400}  # image, from nothing
KOVA_GUEST_SECONDS=${KOVA_GUEST_SECONDS:-1800}            # one boot, start to power-off
KOVA_GUEST_MEMORY_MB=3072
KOVA_GUEST_DISK_SIZE=8G  # sparse; the root and its prefixes take about 2.5 GB
KOVA_GUEST_OUT=$KOVA_ROOT_TREE/build/guest-out

kova_guest_dir() {
  local recipe
  recipe=$( (printf '%s\n' "$KOVA_DEBIAN_SUITE" "$KOVA_DEBIAN_MIRROR" "$KOVA_GUEST_PACKAGES" \
    "$KOVA_GUEST_BOOT_PACKAGES" "$KOVA_GUEST_BOOT_MODULES" "$KOVA_GUEST_DISK_SIZE"
    cat "$KOVA_ROOT_TREE/scripts/guest/init.sh" "$KOVA_ROOT_TREE/scripts/guest/prepare.sh") |
    sha256sum | cut -c1-12)
  echo "/var/tmp/kova-i686-guest/$recipe"
}

# The accelerator: emulation (TCG), unless KOVA_GUEST_ACCEL=kvm asks for KVM
# (a /dev/kvm inside a virtual machine may open and still never run a guest).
# Emulated, the guest CPU must lack SMAP: QEMU 7.2 emulates a 32-bit iret
# wrongly with it, and the guest kernel then kills every 32-bit process.
kova_guest_accel() {
  if [ "${KOVA_GUEST_ACCEL:-tcg}" = kvm ]; then
    echo "-accel kvm -cpu host -smp 2"
  else
    echo "-accel tcg,thread=multi -cpu max,-smap -smp 2"
  fi
}

# Boots the image in $1 with out/inner.sh already written, waits at most $2
# seconds and returns the inner command's exit status. $3 is "snapshot" to
# leave the disk unchanged. The guest's console is this process's output.
kova_guest_boot() {
  local dir=$1 seconds=$2 snapshot=${3:+,snapshot=on} qemu status=0 start=$SECONDS
  rm -f "$KOVA_GUEST_OUT/status"
  # shellcheck disable=SC2046  # the accelerator's options are split on purpose
  qemu-system-x86_64 $(kova_guest_accel) -m "$KOVA_GUEST_MEMORY_MB" \
    -nodefaults -display none -no-reboot -serial stdio -nic none \
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 quiet loglevel=3 panic=1 init=/sbin/kova-guest-init" \
    -drive "file=$dir/disk.img,format=raw,if=virtio$snapshot" \
    -virtfs "local,path=$KOVA_ROOT_TREE,mount_tag=tree,security_model=none,readonly=on" \
    -virtfs "local,path=$KOVA_GUEST_OUT,mount_tag=out,security_model=none" </dev/null &
  qemu=$!
  # An interrupted run takes the guest with it.
  trap 'kill -9 '"$qemu"' 2>/dev/null; exit 130' INT TERM
  while kill -0 "$qemu" 2>/dev/null && [ $((SECONDS - start)) -lt "$seconds" ]; do
    sleep 1
  done
  if kill -0 "$qemu" 2>/dev/null; then
    kill -9 "$qemu" 2>/dev/null
    wait "$qemu" 2>/dev/null
    trap - INT TERM
    echo "i686 guest: did not finish within $seconds s; stopped" >&2
    return 124
  fi
  wait "$qemu" || status=$?
  trap - INT TERM
  if [ ! -f "$KOVA_GUEST_OUT/status" ]; then
    echo "i686 guest: ended after $((SECONDS - start)) s without the inner command's status (qemu status $status)" >&2
    return 125
  fi
  return "$(cat "$KOVA_GUEST_OUT/status")"
}

# Writes the results folder's inner.sh: the command line, in the guest.
kova_guest_inner() {
  rm -rf "$KOVA_GUEST_OUT"
  mkdir -p "$KOVA_GUEST_OUT"
  printf '%s\n' "$1" >"$KOVA_GUEST_OUT/inner.sh"
}

# Makes the image unless it is there; fails with a message when it cannot, or
# not within KOVA_GUEST_MAKE_SECONDS.
kova_guest_make() {
  local dir start=$SECONDS
  dir=$(kova_guest_dir)
  [ -f "$dir/.ready" ] && return 0
  echo "i686 guest: making the image $dir (debootstrap, kernel, 32-bit Wine, first boot)"
  kova_remove_root "$dir.new"
  mkdir -p "$dir.new"
  command -v qemu-system-x86_64 >/dev/null && command -v mkfs.ext4 >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      qemu-system-x86 e2fsprogs >/dev/null
  # shellcheck disable=SC2016  # expanded by the inner shell
  if ! timeout "$KOVA_GUEST_MAKE_SECONDS" bash -c '
      set -e
      . "$0"
      root=$1/root log=$1/make.log
      kova_debootstrap "$root" "$log"
      kova_root_install "$root" "$log" initramfs-tools
      echo MODULES=list >"$root/etc/initramfs-tools/conf.d/kova-guest"
      printf "%s\n" $2 >"$root/etc/initramfs-tools/modules"
      kova_root_install "$root" "$log" $3
      # i386 maintainer scripts cannot run where this host refuses 32-bit
      # code; the first boot configures them.
      kova_root_install "$root" "$log" $4 ||
        echo "i686 guest: some packages are left for the first boot to configure" >>"$log"
      chroot "$root" apt-get clean
      rm -rf "$root"/var/lib/apt/lists/*
      install -m 755 "$KOVA_ROOT_TREE/scripts/guest/init.sh" "$root/sbin/kova-guest-init"
      cp "$root"/boot/vmlinuz-* "$1/vmlinuz"
      cp "$root"/boot/initrd.img-* "$1/initrd.img"
      mkfs.ext4 -q -F -L kova-guest -d "$root" "$1/disk.img" "$5" >>"$log" 2>&1
      rm -rf --one-file-system "$root"' \
      "$KOVA_ROOT_TREE/scripts/debian_root.sh" "$dir.new" "$KOVA_GUEST_BOOT_MODULES" \
      "$KOVA_GUEST_BOOT_PACKAGES" "$KOVA_GUEST_PACKAGES" "$KOVA_GUEST_DISK_SIZE"; then
    echo "i686 guest: the image could not be made (in at most $KOVA_GUEST_MAKE_SECONDS s); see $dir.new/make.log" >&2
    kova_unmount_below "$dir.new"
    return 1
  fi
  kova_guest_inner "$(cat "$KOVA_ROOT_TREE/scripts/guest/prepare.sh")"
  if ! kova_guest_boot "$dir.new" $((KOVA_GUEST_MAKE_SECONDS - (SECONDS - start))); then
    echo "i686 guest: the image's first boot failed; see the lines above" >&2
    return 1
  fi
  touch "$dir.new/.ready"
  # Images of other recipes go: each takes some 2.5 GB.
  find "${dir%/*}" -mindepth 1 -maxdepth 1 -not -name "${dir##*/}*" -exec rm -rf {} +
  kova_remove_root "$dir"
  mv "$dir.new" "$dir"
  echo "i686 guest: image made in $((SECONDS - start)) s"
}

# Runs a command line in the guest, in the current folder's path, on a copy of
# the work tree (sources and the win32 build, without objects) made there, so
# that nothing the guest does reaches the host's tree. KOVA_ARCH is i686, and
# the Win32 tests and the end-to-end scenarios use the image's prefixes.
# Whatever the scenarios left below /var/kova/e2e-tmp (their --basetemp there)
# is copied out to build/guest-out.
kova_guest_run() {
  local dir
  dir=$(kova_guest_dir)
  kova_guest_inner "set -e
tree='$KOVA_ROOT_TREE'
mkdir -p \"\$tree/build\"
tar -C /mnt/tree --exclude=./.git --exclude=./build -cf - . | tar -C \"\$tree\" -xf -
tar -C /mnt/tree/build --exclude='*.obj' -cf - win32 | tar -C \"\$tree/build\" -xf -
export KOVA_ARCH=i686 KOVA_ARCH_REASON='in the i686 guest'
# The console is a terminal, the host's log is not: no colours.
export TERM=dumb PY_COLORS=0
export KOVA_WINEPREFIX=/var/kova/prefix KOVA_TEMPLATE_PREFIX=/var/kova/e2e-template
status=0
(cd '$(pwd -P)' && $1) || status=\$?
# What the scenarios left (logs, records) comes out with the results.
[ ! -d /var/kova/e2e-tmp ] || cp -a /var/kova/e2e-tmp /mnt/out/
exit \$status"
  kova_guest_boot "$dir" "$KOVA_GUEST_SECONDS" snapshot
}
