# clock-reader: six bytes from /dev/clock, here a FIFO fed with the time of day.
scenario clock "clock-reader: six bytes read from /dev/clock (a FIFO here, fed with the time of day)"
traces clock openat,read

scenario_clock() {
    local written value shown=''
    # The sandbox's /dev is its own: the "device" is a FIFO made there.
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
