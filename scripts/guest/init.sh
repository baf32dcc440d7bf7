#!/bin/sh
# The i686 guest's first process. It mounts what a Linux system needs, brings
# up the loopback interface (the vendor services simulator listens there),
# mounts the host's two shares (the work tree, read-only, as "tree"; the run's
# results folder as "out"), runs out/inner.sh, writes its exit status to
# out/status and powers the guest off. No other service runs.
PATH=/usr/sbin:/usr/bin:/sbin:/bin
HOME=/root
LANG=C.UTF-8
export PATH HOME LANG
# The initrd hands over /proc, /sys and /dev already mounted.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
# The console is the host's log: no carriage return before each line feed.
stty -onlcr 2>/dev/null
ip link set lo up
modprobe 9pnet_virtio
modprobe 9p
mkdir -p /mnt/tree /mnt/out
shares=trans=virtio,version=9p2000.L,msize=262144
status=125
if mount -t 9p -o "$shares,ro" tree /mnt/tree && mount -t 9p -o "$shares" out /mnt/out; then
  status=0
  sh /mnt/out/inner.sh </dev/null || status=$?
  echo "$status" >/mnt/out/status
  sync
  umount /mnt/out
else
  echo "guest: the host's shares could not be mounted"
fi
echo o >/proc/sysrq-trigger
sleep 60
