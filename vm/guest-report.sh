# shellcheck shell=bash
# The bash reader of the guest's report (results.log; its writer and grammar: vm/guest-init.sh).
# Everything in bash that reads a report calls these:
#   guest_report_each [--idle SECONDS IDLE] FUNCTION [ARG...]
#                                       reads a report on standard input, as it grows, and
#                                       runs FUNCTION ARG... for each record (lines without the
#                                       marker are passed over; FUNCTION's status is ignored)
#                                       with these set:
#                                         report_kind  step, out, log, trace, end, unexpected,
#                                                      done, waiting, or the WORD of a value
#                                         report_step  the step's NAME (for out, log and trace:
#                                                      the open step's, "" when none is open)
#                                         report_rc    a step's status
#                                         report_text  a step's COMMAND, a line's TEXT, a VALUE;
#                                                      for trace, "SECONDS TEXT"; for waiting,
#                                                      "SECONDS WHAT"
#                                       It returns after "done", or at the end of its input.
#                                       With --idle, it runs IDLE each time SECONDS pass without
#                                       a line, with report_idle set to the seconds since the
#                                       last line (or since it began) and report_seen to 1 once
#                                       a record has come (else "").
#   guest_report_lines FILE STEP KIND   the text of STEP's lines of KIND (out, log or trace)
#   guest_report_rc FILE STEP           the status of STEP's command
#   guest_report_value FILE WORD        the value reported under WORD

GUEST_REPORT_MARKER='@@VM-RESULT@@ '

guest_report_each() {
    local idle='' line partial='' status
    local -a patience=()
    if [ "$1" = --idle ]; then
        patience=(-t "$2") idle=$3
        shift 3
    fi
    # Read by FUNCTION and IDLE, which run within this call.
    # shellcheck disable=SC2034
    local report_kind report_step='' report_rc='' report_text report_idle=0 report_seen=''
    while :; do
        if IFS= read -r "${patience[@]}" line; then
            line=$partial$line partial=''
        else
            status=$?
            # Out of patience (a status over 128): what came of a line so far is kept for the
            # next read.
            [ "$status" -gt 128 ] && [ -n "$idle" ] || return 0
            partial+=$line
            report_idle=$((report_idle + ${patience[1]}))
            "$idle" || true
            continue
        fi
        line=${line%$'\r'} report_idle=0
        [[ $line == *"$GUEST_REPORT_MARKER"* ]] || continue
        # shellcheck disable=SC2034 # read by IDLE
        line=${line#*"$GUEST_REPORT_MARKER"} report_seen=1
        report_kind=${line%% *}
        report_text=${line#"$report_kind"}
        report_text=${report_text# }
        case "$report_kind" in
        step) # NAME rc N: COMMAND
            report_step=${report_text%% *}
            report_rc=${report_text#* rc }
            report_rc=${report_rc%%:*}
            report_text=${report_text#*: }
            ;;
        end) report_step=$report_text ;;
        esac
        "$@" || true
        case "$report_kind" in
        end) report_step='' ;;
        done) return 0 ;;
        esac
    done
}

_guest_report_line() {
    if [ "$report_kind" = "$2" ] && [ "$report_step" = "$1" ]; then
        printf '%s\n' "$report_text"
    fi
}
guest_report_lines() { guest_report_each _guest_report_line "$2" "$3" <"$1"; }

_guest_report_rc() {
    if [ "$report_kind" = step ] && [ "$report_step" = "$1" ]; then
        printf '%s\n' "$report_rc"
    fi
}
guest_report_rc() { guest_report_each _guest_report_rc "$2" <"$1"; }

_guest_report_value() { if [ "$report_kind" = "$1" ]; then printf '%s\n' "$report_text"; fi; }
guest_report_value() { guest_report_each _guest_report_value "$2" <"$1"; }
