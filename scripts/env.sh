# shellcheck shell=bash
# Puts one preset's programs and libraries within reach of this shell:
#   source scripts/env.sh [PRESET]      (PRESET: native, the default, i686 or sanitize)
# prepends build/PRESET/bin to PATH and build/PRESET/lib to LD_LIBRARY_PATH, from any folder.
# Sourcing it again, or for another preset, first takes out this project's earlier entries,
# so each variable names one preset at a time. Prints nothing, or one line when the preset
# is not built yet (and then changes nothing).

# _mech_env_strip LIST ROOT: the colon-separated LIST without ROOT/build/*/bin and /lib.
_mech_env_strip() {
    local entry kept='' IFS=:
    for entry in $1; do
        case "$entry" in
        "$2"/build/*/bin | "$2"/build/*/lib | '') ;;
        *) kept=${kept:+$kept:}$entry ;;
        esac
    done
    printf '%s' "$kept"
}

_mech_env() {
    local preset=${1:-native} root rest
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd) || return 1
    if [ ! -d "$root/build/$preset/bin" ]; then
        echo "env.sh: build/$preset is not built: cmake --preset $preset && cmake --build --preset $preset" >&2
        return 1
    fi
    rest=$(_mech_env_strip "$PATH" "$root")
    export PATH=$root/build/$preset/bin${rest:+:$rest}
    rest=$(_mech_env_strip "${LD_LIBRARY_PATH-}" "$root")
    export LD_LIBRARY_PATH=$root/build/$preset/lib${rest:+:$rest}
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    echo "env.sh: source it, so that it changes your shell: source scripts/env.sh [PRESET]" >&2
    exit 2
fi
_mech_env "$@" || { unset -f _mech_env _mech_env_strip; return 1; }
unset -f _mech_env _mech_env_strip
