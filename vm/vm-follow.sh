#!/usr/bin/env bash
# Follows a guest's results.log (see guest-init.sh) as it grows and shows it readably: each
# step's command and status, its output, and the kernel-log lines it caused; the boot log is
# left out. Ends when the guest reports that it is done.
#   vm-follow.sh RESULTS_LOG
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: vm-follow.sh RESULTS_LOG" >&2; exit 2; }
# shellcheck source=vm/guest-report.sh
source "$(dirname "${BASH_SOURCE[0]}")/guest-report.sh"

# The report_* variables are set by guest_report_each, which calls this.
# shellcheck disable=SC2154
show() {
    case "$report_kind" in
    step)
        case "$report_step" in
        boot) echo "(the kernel has booted; the boot log is not shown)" ;;
        final) ;;
        *) printf '$ %s   [status %s]\n' "$report_text" "$report_rc" ;;
        esac
        ;;
    out) printf '    %s\n' "$report_text" ;;
    log) [ "$report_step" = boot ] || printf '    %s\n' "$report_text" ;;
    end) ;;
    done) echo "(the guest is done)" ;;
    *) printf '(%s %s)\n' "$report_kind" "$report_text" ;;
    esac
}

# A shell loop rather than awk: mawk reads a pipe in large blocks and would show the lines late.
exec {log}< <(tail -n +1 -F "$1" 2>/dev/null)
follower=$!
trap 'kill "$follower" 2>/dev/null || true' EXIT
guest_report_each show <&"$log"
