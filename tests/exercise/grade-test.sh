#!/usr/bin/env bash
# `exercise grade` on a class of three learners (a CTest case exercise.grade, native preset):
# ann hands in our mail-menu and the starting file of libcall-app, ben the wrong mail-menu of
# wrong/libs.patch and our libcall-app, cay a mail-menu that does not build and a file named
# after nothing. The table must read as below, the page must hold it, and each learner's page
# the checks that failed.
#   tests/exercise/grade-test.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
class=$work/class
mkdir -p "$class"/{ann,ben,cay}
cp "$root/libs/mail-menu/mail-menu.cpp" "$class/ann/"
"$root/exercise/exercise" start libcall-app "$class/ann" >/dev/null
patch -s -o "$class/ben/mail-menu.cpp" "$root/libs/mail-menu/mail-menu.cpp" <"$here/wrong/libs.patch"
cp "$root/libs/libcall-app/libcall-app.cpp" "$class/ben/"
printf 'int main() { return undeclared; }\n' >"$class/cay/mail-menu.cpp"
echo 'notes' >"$class/cay/notes.txt"

"$root/exercise/exercise" grade "$class" "$work/grades" >"$work/out"
cat "$work/out"
failed=0
expected="learner  mail-menu     libcall-app
ann      4/4           0/5
ben      3/4           5/5
cay      build failed  -"
if [ "$(cat "$work/grades/grades.txt")" != "$expected" ]; then
    echo "✗ not the table due (-) but this (+):"
    diff -u <(echo "$expected") "$work/grades/grades.txt" || true
    failed=1
fi
# fact FILE TEXT: FILE holds TEXT.
fact() { grep -qF -- "$2" "$1" || { echo "✗ $(basename "$1") does not hold: $2"; failed=1; }; }
fact "$work/grades/index.html" '<td><a href="learner-ben.html">ben</a></td><td class="part">3/4</td><td class="full">5/5</td>'
fact "$work/grades/learner-ben.html" '<h3>libs_test.MailMenu.Dialogues</h3>'
fact "$work/grades/learner-ann.html" '<h3>libs_test.LibcallApp.CallsTest1BetweenItsLines</h3>'
fact "$work/grades/learner-cay.html" 'was not declared in this scope'
fact "$work/grades/learner-cay.html" 'Not an exercise, not checked: notes.txt'
exit "$failed"
