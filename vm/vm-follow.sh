#!/usr/bin/env bash
# Follows a guest's results.log (see guest-init.sh) as it grows and shows it readably: each
# step's command and status, its output, the kernel-log lines it caused, and the kernel's
# traced events among them ("◷ SECONDS TEXT", SECONDS since the guest booted); the boot
# log and the guest's settings (its timeout scale) are left out. Ends when the guest reports
# that it is done. It is never silent for long: the guest says every 5 s of a wait what it
# waits for, and while nothing comes at all (the kernel boots, or a command runs long), a line
# says so every idle_seconds.
#   vm-follow.sh [--brief] RESULTS_LOG
# --brief shortens the kernel's reports (a BUG, WARNING or INFO and what the kernel printed
# with it) to their first lines and the call-trace lines in the modules the step loaded
# (named in its command, each *.ko), each under the heading of its trace, and says how many
# lines it left out.
set -euo pipefail
brief=
if [ "${1:-}" = --brief ]; then
    brief=1
    shift
fi
[ $# -eq 1 ] || { echo "usage: vm-follow.sh [--brief] RESULTS_LOG" >&2; exit 2; }
# shellcheck source=vm/guest-report.sh
source "$(dirname "${BASH_SOURCE[0]}")/guest-report.sh"

# How a report begins, and its lines that say where rather than what: left out of its first
# lines. The first lines end where a trace of the stack begins.
readonly report_head='^(BUG|WARNING|INFO): |^watchdog: BUG: '
readonly report_aside='^$|^[=-]+$|cut here|end trace|Tainted:|^[0-9]+\.[0-9]+\.[0-9]+-[^ ]* #|^CPU: |^Hardware name:|^Modules linked in:|^(RIP|RSP|R[A-Z0-9]{2}|Code|FS|CS|CR2|DS|ES): |^irq event stamp|^(hard|soft)irqs last|^other info that|^"echo 0 > '
readonly first_lines=4
# A line of a report's stack trace: a frame, the trace's brackets, the task it shows.
readonly report_stack='^ *</?TASK>$|^ +(\? )?[^ ]+( \[[^]]+\])?$|^(task:|Call Trace:|(RIP|RSP|R[A-Z0-9]{2}|Code|FS|CS|CR2): )'

modules=() in_report='' shown=0 left=0 heading='' tracing=''
readonly idle_seconds=7

# The report the lines before were part of has ended.
end_report() {
    [ -n "$in_report" ] && [ "$left" -gt 0 ] &&
        printf '    … %s more lines of this report (console.log has them all)\n' "$left"
    in_report='' left=0 heading=''
}

# A kernel-log line LINE ("<L>text") of a step, in brief.
brief_log() {
    local line=$1 level body module named=''
    level=${line%%>*}
    level=${level#<}
    body=${line#*>}
    if [[ $body =~ $report_head ]]; then
        end_report
        in_report=1 shown=1 tracing=''
        printf '    %s\n' "$line"
        return
    fi
    if [ -n "$in_report" ] && { [ "$level" -le 4 ] || [[ $body =~ $report_stack ]]; }; then
        for module in "${modules[@]}"; do
            [[ $body == *"[$module]"* && $body != *" ? "* ]] && named=1
        done
        [[ $body == "Call Trace:" || $body == *"stack backtrace:" ]] && tracing=1
        if [ -n "$named" ]; then
            [ -z "$heading" ] || printf '    %s\n' "$heading"
            heading=''
            printf '    %s\n' "$line"
        elif [ -z "$tracing" ] && [ "$shown" -lt "$first_lines" ] && ! [[ $body =~ $report_aside ]]; then
            shown=$((shown + 1))
            printf '    %s\n' "$line"
        else
            # a heading (a line ending in a colon) is shown before the first frame under it
            [[ $body =~ ^[^\ ].*:$ ]] && { heading=$line tracing=1; }
            left=$((left + 1))
        fi
        return
    fi
    end_report
    # the rules and blank lines the kernel frames a report with
    [ "$level" -le 4 ] && [[ $body =~ ^$|^[=-]+$|cut\ here ]] && return
    printf '    %s\n' "$line"
}

# The report_* variables are set by guest_report_each, which calls this.
# shellcheck disable=SC2154
show() {
    case "$report_kind" in
    step)
        end_report
        modules=()
        local word
        for word in $report_text; do
            [[ $word == *.ko ]] || continue
            word=${word##*/}
            word=${word%.ko}
            modules+=("${word//-/_}")
        done
        case "$report_step" in
        boot) echo "(the kernel has booted; the boot log is not shown)" ;;
        final) ;;
        *) printf '$ %s   [status %s]\n' "$report_text" "$report_rc" ;;
        esac
        ;;
    out) printf '    %s\n' "$report_text" ;;
    log)
        if [ "$report_step" = boot ]; then
            :
        elif [ -n "$brief" ]; then
            brief_log "$report_text"
        else
            printf '    %s\n' "$report_text"
        fi
        ;;
    trace) printf '    ◷ %s\n' "$report_text" ;;
    end) end_report ;;
    done) echo "(the guest is done)" ;;
    waiting) printf '(the guest has waited %s s for %s)\n' "${report_text%% *}" "${report_text#* }" ;;
    timeout-scale) ;;
    *) printf '(%s %s)\n' "$report_kind" "$report_text" ;;
    esac
}

# A shell loop rather than awk: mawk reads a pipe in large blocks and would show the lines late.
exec {log}< <(tail -n +1 -F "$1" 2>/dev/null)
follower=$!
trap 'kill "$follower" 2>/dev/null || true' EXIT
# Nothing from the guest for a while; report_idle and report_seen are set by guest_report_each.
# shellcheck disable=SC2154
idle() {
    if [ -n "$report_seen" ]; then
        printf '(nothing from the guest for %s s)\n' "$report_idle"
    else
        printf '(nothing from the guest yet after %s s: its kernel has not finished booting)\n' "$report_idle"
    fi
}

guest_report_each --idle "$idle_seconds" idle show <&"$log"
