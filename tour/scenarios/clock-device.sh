# clock-reader against a real /dev/clock: the clock-device peer module in the kernel VM.
scenario clock-device "clock-reader reads six bytes of the time from /dev/clock in a Debian kernel under qemu"
traces clock-device -

scenario_clock_device() {
    if [ ! -x "$(vm_guest x86_64)/clock-reader" ]; then
        note "clock-reader is not part of this build, so there is nothing to read /dev/clock with."
        return 0
    fi
    boot_vm clock || return 1
    wait_for guest "clock-device.ko" 120
    note "Before the device exists, clock-reader's open fails and it reports it with the prefix \"clock:\"."
    wait_for guest "(the guest is done)" 120
    note "The device hands out the time at open, one byte per read: seconds, minutes, hours, day, month, year modulo 100, in binary; clock-reader prints them in hex between the guest's two readings of the time (decimal)."
    finish guest 10
    finish vm 60
    expect_status vm 0
    expect_that "without the device clock-reader said \"clock:\" and ended with 1" test \
        "$(vm_lines clock-absent out)/$(vm_rc clock-absent)" = "clock:: No such file or directory/1"
    # The six bytes are the guest's time as read just before or just after the reader ran.
    local shown when due value matched=''
    shown=$(vm_lines clock-reader out)
    for when in clock-before clock-after; do
        due=''
        for value in $(vm_value "$when"); do
            due+=$(printf ' .... %x....' $((10#$value)))$'\n'
        done
        if [ "$shown" = "${due%$'\n'}" ]; then matched=$when; fi
    done
    expect_that "clock-reader showed the guest's time in hex, not: $(xargs <<<"$shown")" test -n "$matched"
}
