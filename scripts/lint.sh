#!/usr/bin/env bash
# The project's lint, one check at a time (each a CTest case labelled lint, native preset):
#   scripts/lint.sh clang-format   every C and C++ file as .clang-format lays it out
#   scripts/lint.sh shellcheck     every shell script free of shellcheck warnings
#   scripts/lint.sh perl           every Perl file compiles (perl -c) without a warning (-w)
#   scripts/lint.sh perlcritic     every Perl file clean at perlcritic's gentlest level
# Files are those git tracks. Prints what is wrong and ends with status 1; 0 when clean.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
[ $# -eq 1 ] || { sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

# Shell scripts: *.sh, and files whose first line names bash or sh.
shell_scripts() {
    git ls-files | while IFS= read -r file; do
        case "$file" in
        *.sh) echo "$file" ;;
        *) [ -f "$file" ] && head -n 1 "$file" | grep -q '^#!.*\b\(ba\)\{0,1\}sh\b' && echo "$file" ;;
        esac
    done
}

# Perl files: *.pl, *.pm, and files whose first line names perl.
perl_files() {
    git ls-files | while IFS= read -r file; do
        case "$file" in
        *.pl | *.pm) echo "$file" ;;
        *) [ -f "$file" ] && head -n 1 "$file" | grep -q '^#!.*\bperl\b' && echo "$file" ;;
        esac
    done
}

# The folder a Perl file's modules are found from: a module's own root (tour for
# tour/Trace/Read.pm, package Trace::Read), a script's folder.
perl_include() {
    local package
    case "$1" in
    *.pm)
        package=$(sed -n 's/^package \([A-Za-z0-9_:]*\);.*$/\1/p' "$1" | head -n 1)
        echo "${1%/"${package//:://}".pm}"
        ;;
    *) dirname "$1" ;;
    esac
}

case "$1" in
clang-format)
    mapfile -t files < <(git ls-files '*.c' '*.h' '*.cpp' '*.hpp')
    echo "clang-format: ${#files[@]} files"
    # --dry-run -Werror: a file that would change is an error, shown with its lines.
    clang-format --dry-run -Werror "${files[@]}"
    ;;
shellcheck)
    mapfile -t files < <(shell_scripts)
    echo "shellcheck: ${#files[@]} scripts"
    shellcheck -S warning "${files[@]}"
    ;;
perl)
    mapfile -t files < <(perl_files)
    echo "perl: ${#files[@]} files"
    bad=0
    for file in "${files[@]}"; do
        # perl -c says "FILE syntax OK"; anything else is an error or a warning.
        said=$(perl -c -w -I "$(perl_include "$file")" "$file" 2>&1 | grep -vxF "$file syntax OK" || true)
        [ -z "$said" ] || { printf '%s\n' "$said"; bad=1; }
    done
    [ "$bad" -eq 0 ] || exit 1
    ;;
perlcritic)
    if ! command -v perlcritic >/dev/null; then
        echo "missing perlcritic: run scripts/install.sh --tests"
        [ "${MECH_STRICT:-0}" = 1 ] && exit 1
        exit 77
    fi
    mapfile -t files < <(perl_files)
    echo "perlcritic: ${#files[@]} files"
    perlcritic --gentle --quiet "${files[@]}"
    ;;
*)
    echo "lint: unknown check '$1'" >&2
    exit 2
    ;;
esac
echo "lint: $1: clean"
