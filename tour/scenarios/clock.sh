# clock-reader: six bytes from /dev/clock, here a FIFO fed with the time of day.
scenario clock "clock-reader: six bytes read from /dev/clock (a FIFO here, fed with the time of day)"
traces clock openat,read

# Give this mount namespace a /dev of its own: a tmpfs with the devices the tour uses, bound
# from the real /dev, terminals of its own and room for /dev/clock.
_clock_private_dev() {
    local stage=$TOUR_DIR/dev name
    mkdir "$stage"
    mount -t tmpfs -o mode=755 tmpfs "$stage"
    for name in null zero full random urandom tty; do
        : >"$stage/$name"
        mount --bind "/dev/$name" "$stage/$name"
    done
    for name in shm mqueue; do
        mkdir "$stage/$name"
        mount --rbind "/dev/$name" "$stage/$name"
    done
    # Terminals of its own: the machine's may be root's alone to open.
    mkdir "$stage/pts"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$stage/pts"
    ln -s pts/ptmx "$stage/ptmx"
    ln -s /proc/self/fd "$stage/fd"
    # -n: an ordinary user's tour may not write the mount table in /run, and needs not.
    mount -n --move "$stage" /dev
}

scenario_clock() {
    local written value shown=''
    _clock_private_dev
    mkfifo -m 0644 /dev/clock
    # The "device": seconds, minutes, hours, day, month and year (since 2000), one byte each.
    cat >"$TOUR_DIR/clock-device" <<'SCRIPT'
set -- $(date -u "+%-S %-M %-H %-d %-m %-y")
echo "clock-device: writing ss mm hh dd mo yy = $* into /dev/clock"
printf "$(printf '\\%03o' "$@")" >/dev/clock
echo "clock-device: all six bytes taken"
SCRIPT
    start device /bin/sh "$TOUR_DIR/clock-device"
    wait_for device "clock-device: writing"
    run reader clock-reader
    finish device
    note "Each read(fd, &buf, 1) took one byte; the lines show them in hex (23 seconds, say, shows as 17)."
    # The six numbers the device wrote, each shown in hex on a line of its own.
    written=$(lines_of device | sed -n 's/^clock-device: writing ss mm hh dd mo yy = \(.*\) into .*$/\1/p')
    for value in $written; do
        shown+=$(printf ' .... %x....' "$value")$'\n'
    done
    expect_output reader "${shown%$'\n'}"
    expect_status reader 0
    rm /dev/clock
    note "Without /dev/clock:"
    run reader clock-reader
    note "open failed: perror(\"clock:\") on standard error and status 1, nothing on standard output."
    expect_output reader.err "clock:: No such file or directory"
    expect_output reader ''
    expect_status reader 1
}
