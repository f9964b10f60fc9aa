#!/usr/bin/env bash
# The project's lint, one check at a time (each a CTest case labelled lint, native preset):
#   scripts/lint.sh clang-format   every C and C++ file as .clang-format lays it out
#   scripts/lint.sh shellcheck     every shell script free of shellcheck warnings
# Files are those git tracks. Prints what is wrong and ends with status 1; 0 when clean.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
[ $# -eq 1 ] || { sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

# Shell scripts: *.sh, and files whose first line names bash or sh.
shell_scripts() {
    git ls-files | while IFS= read -r file; do
        case "$file" in
        *.sh) echo "$file" ;;
        *) [ -f "$file" ] && head -n 1 "$file" | grep -q '^#!.*\b\(ba\)\{0,1\}sh\b' && echo "$file" ;;
        esac
    done
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
*)
    echo "lint: unknown check '$1'" >&2
    exit 2
    ;;
esac
echo "lint: $1: clean"
