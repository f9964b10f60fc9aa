#!/bin/sh
# /init of the i686 suite's VM (busybox, see suite-run.sh): mounts this machine's filesystem,
# shared read-only, as the root behind a RAM overlay, mounts the writable results folder at
# its own path, and hands over to suite-guest.sh there.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
. /suite.env

stop() {
    echo "suite-init: $*" >/dev/console
    echo o >/proc/sysrq-trigger
    sleep 10
}

for module in $(cat /modules/order); do
    insmod "/modules/$module.ko" || stop "insmod $module failed"
done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=512000 hostroot /host ||
    stop "cannot mount the host's filesystem"
mount -t tmpfs -o size=75% tmpfs /rw
mkdir -p /rw/upper /rw/work
mount -t overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work overlay /newroot ||
    stop "cannot mount the overlay"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 results "/newroot$MECH_RESULTS" ||
    stop "cannot mount the results folder"
exec switch_root /newroot /bin/bash "$MECH_GUEST_SCRIPT"
