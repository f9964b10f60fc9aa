#!/bin/sh
# /init of the test VM (busybox). Runs the kernel-module scenarios one step at a time and
# writes, for each step, its command's status, its output and the kernel log lines it caused
# to the second serial port, between unique markers so that kernel noise on the console
# cannot be mistaken for results. The host compares them; the guest's own verdict (every
# command ended as expected) goes out through the isa-debug-exit port.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
exec 3>/dev/ttyS1

# The guest's report, on the second serial port (the host's results.log). Every record is one
# line that starts with the marker; anything else on that port is not part of it:
#   @@VM-RESULT@@ step NAME rc N: COMMAND   opens step NAME, whose COMMAND ended with status N
#   @@VM-RESULT@@ out TEXT                  a line of the open step's output (stdout and stderr)
#   @@VM-RESULT@@ log TEXT                  a kernel-log line the step caused ("<L>text", dmesg -r)
#   @@VM-RESULT@@ end NAME                  closes step NAME
#   @@VM-RESULT@@ unexpected TEXT           the guest's own complaint (a step ended otherwise)
#   @@VM-RESULT@@ done bad B                the last record; B is 1 after any complaint, else 0
#   @@VM-RESULT@@ WORD VALUE                a value (window-seconds 41, clock-before ...)
# NAME and WORD hold no blank. The first step is "boot" (the boot log), the last "final".
# Readers, one per language, which everything else calls: vm/guest-report.sh (bash) and
# vm/guest-report.cpp (C++).
M=@@VM-RESULT@@
KO=/modules
bad=0

# step NAME WANT COMMAND...: WANT is 0 or "fail" (any non-zero status).
step() {
    name=$1 want=$2
    shift 2
    cmd=$*
    "$@" >/tmp/out 2>&1
    report "$name" "$want" $?
}

report() {
    name=$1 want=$2 rc=$3
    echo "$M step $name rc $rc: $cmd" >&3
    sed "s/^/$M out /" /tmp/out >&3
    dmesg -r -c | sed "s/^/$M log /" >&3
    echo "$M end $name" >&3
    case "$want:$rc" in
    0:0 | fail:[1-9]*) ;;
    *) echo "$M unexpected $name: wanted $want, got $rc" >&3; bad=1 ;;
    esac
}

# Waits (up to 60 s) until the kernel log shows TEXT, without consuming the log.
log_shows() {
    tries=0
    until dmesg | grep -qF "$1"; do
        tries=$((tries + 1))
        [ "$tries" -ge 600 ] && return 1
        sleep 0.1
    done
}

cmd=boot
: >/tmp/out
report boot 0 0

modules() {
    # Without pilecore nothing can resolve `head`.
    step nocore-pilepeek1 fail insmod $KO/pilepeek1.ko
    step nocore-pilepeek2 fail insmod $KO/pilepeek2.ko
    step nocore-pilefeed fail insmod $KO/pilefeed.ko

    step pilecore-load 0 insmod $KO/pilecore.ko
    step pilepeek1-load 0 insmod $KO/pilepeek1.ko
    step pilepeek2-load 0 insmod $KO/pilepeek2.ko
    step modules-both 0 cat /proc/modules
    step pilecore-busy fail rmmod pilecore
    step pilepeek1-unload 0 rmmod pilepeek1
    step pilepeek2-unload 0 rmmod pilepeek2

    # The window: pilefeed's init busy-waits on one CPU with the node (30, 300) half-updated,
    # and pilepeek1 is loaded on the other meanwhile.
    start=$(date +%s)
    insmod $KO/pilefeed.ko >/tmp/feed.out 2>&1 &
    feed=$!
    if log_shows "in write"; then
        insmod $KO/pilepeek1.ko >/tmp/out 2>&1
        peek=$?
    else
        echo "pilefeed never wrote its first node" >/tmp/out
        peek=1
    fi
    cmd="insmod $KO/pilefeed.ko & (once it has written a node) insmod $KO/pilepeek1.ko"
    report window 0 "$peek"
    wait $feed
    feed_rc=$?
    echo "$M window-seconds $(($(date +%s) - start))" >&3
    cat /tmp/feed.out >/tmp/out
    cmd="(the insmod of pilefeed returns)"
    report window-end 0 "$feed_rc"

    step pilepeek1-unload-window 0 rmmod pilepeek1
    step pilefeed-busy fail rmmod pilecore
    step pilepeek2-after 0 insmod $KO/pilepeek2.ko
    step pilefeed-unload 0 rmmod pilefeed
    start=$(date +%s)
    step pilefeed-again 0 insmod $KO/pilefeed.ko
    echo "$M again-seconds $(($(date +%s) - start))" >&3
    step pilepeek2-unload-after 0 rmmod pilepeek2
    step pilefeed-unload-again 0 rmmod pilefeed
    step pilecore-unload 0 rmmod pilecore
    step modules-none 0 cat /proc/modules
    step pilecore-reload 0 insmod $KO/pilecore.ko
    step pilepeek1-fresh 0 insmod $KO/pilepeek1.ko
    step pilepeek1-unload-fresh 0 rmmod pilepeek1
    step pilecore-unload-again 0 rmmod pilecore
}

clock() {
    # The reader without the device, then with it: its six bytes between two readings of
    # the system's time (seconds, minutes, hours, day, month, year modulo 100).
    step clock-absent fail clock-reader
    step clock-device-load 0 insmod $KO/clock-device.ko
    date -u '+%S %M %H %d %m %y' >/tmp/clock-before
    clock-reader >/tmp/out 2>&1
    rc=$?
    date -u '+%S %M %H %d %m %y' >/tmp/clock-after
    echo "$M clock-before $(cat /tmp/clock-before)" >&3
    echo "$M clock-after $(cat /tmp/clock-after)" >&3
    cmd=clock-reader
    report clock-reader 0 $rc
    step clock-device-unload 0 rmmod clock-device
}

# Waits (up to 60 s) until the queue QUEUE (its name without the slash) stands empty with a
# notification registered by the process PID.
registered() {
    tries=0
    until grep -q "^QSIZE:0 .*NOTIFY_PID:$2 *\$" "/dev/mqueue/$1" 2>/dev/null; do
        tries=$((tries + 1))
        if [ "$tries" -ge 600 ]; then
            echo "$M unexpected $1: no registration by $2" >&3
            bad=1
            return 1
        fi
        sleep 0.1
    done
}

# Waits until the thread watcher PID is registered again on "/my_mq" and down to its WAITING
# threads: every notification thread has printed its lines and ended.
settled() {
    registered my_mq "$1" || return 1
    tries=0
    until [ "$(ls /proc/$1/task | wc -l)" -eq "$2" ]; do
        tries=$((tries + 1))
        if [ "$tries" -ge 600 ]; then
            echo "$M unexpected my_mq: threads of $1 stay" >&3
            bad=1
            return 1
        fi
        sleep 0.1
    done
}

mq() {
    # The 32-bit watchers' notifications from a real kernel. The signal watcher writes to a
    # file, so its lines come out when it ends: a SIGUSR1 by hand while it is registered does
    # that (the next registration fails with EBUSY). The thread watcher never ends by itself,
    # so it writes to a terminal, the third serial port, where each line goes out at once.
    mkdir -p /dev/mqueue
    mount -t mqueue mqueue /dev/mqueue
    mq-signal-watch >/tmp/watch.out 2>/tmp/watch.err &
    watcher=$!
    registered mymq $watcher
    step mymq-registered 0 cat /dev/mqueue/mymq
    for run in 1 2; do
        step sender-$run 0 mq-sender
        registered mymq $watcher
    done
    kill -USR1 $watcher
    wait $watcher
    rc=$?
    cp /tmp/watch.out /tmp/out
    echo "$M signal-watch-err $(cat /tmp/watch.err)" >&3
    cmd="mq-signal-watch (then mq-sender twice and kill -USR1)"
    report signal-watch fail $rc

    stty -F /dev/ttyS2 -opost
    mq-thread-watch >/dev/ttyS2 2>/tmp/thread.err &
    watcher=$!
    registered my_mq $watcher
    # The main thread and the C library's helper; each notification adds a thread that prints
    # its lines before it ends.
    waiting=$(ls /proc/$watcher/task | wc -l)
    step my_mq-registered 0 cat /dev/mqueue/my_mq
    step writer-one 0 my-mq-writer 1 17
    settled $watcher "$waiting"
    step writer-three 0 my-mq-writer 3 0-2
    settled $watcher "$waiting"
    echo "$M thread-watch-threads $(ls /proc/$watcher/task | wc -l) $waiting" >&3
    kill $watcher
    wait $watcher
    echo "$M thread-watch-err $(cat /tmp/thread.err)" >&3
}

# The kernel passes mech_scenario=... from its command line to us as a variable.
case "${mech_scenario:-}" in
modules) modules ;;
clock) clock ;;
mq) mq ;;
*) echo "$M unexpected scenario '${mech_scenario:-}'" >&3; bad=1 ;;
esac

cmd=end
: >/tmp/out
report final 0 0
echo "$M done bad $bad" >&3
# Closing the last descriptor of the port waits until the UART has sent everything; without
# it the last lines could be lost when the verdict ends qemu.
exec 3>&-
# isa-debug-exit: qemu ends with status (value << 1) | 1, so 0x10 gives 33 and 0x11 35.
if [ "$bad" -eq 0 ]; then verdict='\020'; else verdict='\021'; fi
printf "$verdict" | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null
poweroff -f
