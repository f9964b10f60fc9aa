# shellcheck shell=bash
# The bash reader of the guest's report (results.log; its writer and grammar: vm/guest-init.sh).
# Everything in bash that reads a report calls these:
#   guest_report_each FUNCTION [ARG...]  reads a report on standard input, as it grows, and
#                                       runs FUNCTION ARG... for each record (lines without the
#                                       marker are passed over; FUNCTION's status is ignored)
#                                       with these set:
#                                         report_kind  step, out, log, trace, end, unexpected,
#                                                      done, or the WORD of a value
#                                         report_step  the step's NAME (for out, log and trace:
#                                                      the open step's, "" when none is open)
#                                         report_rc    a step's status
#                                         report_text  a step's COMMAND, a line's TEXT, a VALUE;
#                                                      for trace, "SECONDS TEXT"
#                                       It returns after "done", or at the end of its input.
#   guest_report_lines FILE STEP KIND   the text of STEP's lines of KIND (out, log or trace)
#   guest_report_rc FILE STEP           the status of STEP's command
#   guest_report_value FILE WORD        the value reported under WORD

GUEST_REPORT_MARKER='@@VM-RESULT@@ '

guest_report_each() {
    # Read by FUNCTION, which runs within this call.
    # shellcheck disable=SC2034
    local line report_kind report_step='' report_rc='' report_text
    while IFS= read -r line; do
        line=${line%$'\r'}
        [[ $line == *"$GUEST_REPORT_MARKER"* ]] || continue
        line=${line#*"$GUEST_REPORT_MARKER"}
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
