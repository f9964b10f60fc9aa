#!/usr/bin/env bash
# `exercise grade` on a class as it comes (a CTest case exercise.grade, native preset), its
# folders named as people name them: "Ann Lee" hands in our mail-menu and the starting file of
# libcall-app; "-ben" the wrong mail-menu of wrong/libs.patch and our libcall-app; "José 'cay'"
# a mail-menu that does not build and a file named after nothing; "Ann_Lee" only that file;
# "*" nothing; and a folder whose name holds a newline is refused. No name is expanded as a
# pattern, each learner has a page of their own, the table must read as below, the page must
# hold it, and each learner's page the checks that failed.
#   tests/exercise/grade-test.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
class=$work/class
ann="$class/Ann Lee" ben=$class/-ben cay="$class/José 'cay'"
mkdir -p "$ann" "$ben" "$cay" "$class/Ann_Lee" "$class/*" "$class/bad"$'\n'"name"
cp "$root/libs/mail-menu/mail-menu.cpp" "$ann/"
"$root/exercise/exercise" start libcall-app "$ann" >/dev/null
patch -s -o "$ben/mail-menu.cpp" "$root/libs/mail-menu/mail-menu.cpp" <"$here/wrong/libs.patch"
cp "$root/libs/libcall-app/libcall-app.cpp" "$ben/"
printf 'int main() { return undeclared; }\n' >"$cay/mail-menu.cpp"
echo 'notes' | tee "$cay/notes.txt" "$class/Ann_Lee/notes.txt" >"$class/bad"$'\n'"name/mail-menu.cpp"

"$root/exercise/exercise" grade "$class" "$work/grades" >"$work/out" 2>"$work/err"
cat "$work/out" "$work/err"
failed=0
expected="learner     mail-menu     libcall-app
*           -             -
-ben        3/4           5/5
Ann Lee     4/4           0/5
Ann_Lee     -             -
José 'cay'  build failed  -"
if [ "$(cat "$work/grades/grades.txt")" != "$expected" ]; then
    echo "✗ not the table due (-) but this (+):"
    diff -u <(echo "$expected") "$work/grades/grades.txt" || true
    failed=1
fi
# fact FILE TEXT: FILE holds TEXT.
fact() { grep -qF -- "$2" "$1" || { echo "✗ $(basename "$1") does not hold: $2"; failed=1; }; }
fact "$work/grades/index.html" '<td><a href="learner-002.html">-ben</a></td><td class="part">3/4</td><td class="full">5/5</td>'
fact "$work/grades/learner-002.html" '<h3>libs_test.MailMenu.Dialogues</h3>'
fact "$work/grades/learner-003.html" '<h3>libs_test.LibcallApp.CallsTest1BetweenItsLines</h3>'
fact "$work/grades/learner-004.html" 'Not an exercise, not checked: notes.txt'
fact "$work/grades/learner-005.html" 'was not declared in this scope'
fact "$work/grades/learner-005.html" 'Not an exercise, not checked: notes.txt'
fact "$work/err" 'refused: bad\x0aname: a name with a control character'
exit "$failed"
