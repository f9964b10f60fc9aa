#!/usr/bin/env bash
# Follows a guest's results.log (see guest-init.sh) as it grows and shows it readably: each
# step's command and status, its output, and the kernel-log lines it caused; the boot log is
# left out. Ends when the guest reports that it is done.
#   vm-follow.sh RESULTS_LOG
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: vm-follow.sh RESULTS_LOG" >&2; exit 2; }
marker='@@VM-RESULT@@ '
step=
exec {log}< <(tail -n +1 -F "$1" 2>/dev/null)
follower=$!
trap 'kill "$follower" 2>/dev/null || true' EXIT
# A shell loop rather than awk: mawk reads a pipe in large blocks and would show the lines late.
while IFS= read -r line; do
    line=${line%$'\r'}
    case "$line" in "$marker"*) ;; *) continue ;; esac
    line=${line#"$marker"}
    kind=${line%% *} text=${line#* }
    case "$kind" in
    step)
        step=${text%% *}
        rc=${text#* rc } rc=${rc%%:*}
        case "$step" in
        boot) echo "(the kernel has booted; the boot log is not shown)" ;;
        final) ;;
        *) printf '$ %s   [status %s]\n' "${text#*: }" "$rc" ;;
        esac
        ;;
    out) printf '    %s\n' "$text" ;;
    log) [ "$step" = boot ] || printf '    %s\n' "$text" ;;
    end) ;;
    done) echo "(the guest is done)"; break ;;
    *) printf '(%s %s)\n' "$kind" "$text" ;;
    esac
done <&"$log"
