#!/bin/sh
# The test guest's first process: mounts what Wine and the tests need, runs
# the command file from the shared folder within the time limit given on the
# kernel command line (pw.limit=SECONDS), and powers off. The root file
# system is made read-only before power-off, so ext4 is always left clean.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
# The initramfs hands over /proc, /sys and /dev already mounted.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
hostname pathwarden-vm
echo "pw-init: up after $(cut -d' ' -f1 /proc/uptime) s"
limit=600
for word in $(cat /proc/cmdline); do
  case "$word" in pw.limit=*) limit=${word#pw.limit=} ;; esac
done
modprobe 9pnet_virtio && modprobe 9p
mkdir -p /mnt/share
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 share /mnt/share; then
  mkdir -p /mnt/share/out
  cd /mnt/share
  timeout -k 5 "$limit" sh /mnt/share/command.sh >/mnt/share/out/command.log 2>&1
  rc=$?
  echo "$rc" >/mnt/share/out/status
  echo "pw-init: command ended with $rc after $(cut -d' ' -f1 /proc/uptime) s"
  cd /
  # Whatever the command left running (Wine's server, Xvfb) ends here, so
  # that the file systems can be unmounted.
  kill -9 -1 2>/dev/null
  sleep 1
  sync
  umount /mnt/share
else
  echo "pw-init: the shared folder could not be mounted"
fi
sync
mount -o remount,ro /
echo "pw-init: powering off"
echo o >/proc/sysrq-trigger
# Nothing more from the disk: it goes away under us.
while :; do :; done
