#!/usr/bin/env bash
# Hostile learners (CTest cases exercise.hostile.KIND, and exercise.hostile-as-user for every
# kind at once): a class of one good learner, ann, who hands in our libcall-app and
# somefunc-lib, and a learner per KIND who hands in the small file hostile/KIND.cpp under a
# deliverable's name (hostile/table), graded by `exercise grade` as root, or with --user as an
# ordinary user (nobody, with exercise trees of its own). Ann keeps full marks; each hostile
# learner's page says what the table says; and nothing is left behind: no process, no file in
# /tmp, /var/tmp or /dev/shm, no change to the repository's files, our build in the exercise
# tree or the grader's home, no queue, semaphore, shared memory or mount, and no connection to
# the machine's loopback.
#   tests/exercise/hostile-test.sh [--user] KIND...
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
exercise=$root/exercise/exercise
user=''
if [ "${1:-}" = --user ]; then
    user=1
    shift
fi
[ $# -gt 0 ] || { sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
work=$(mktemp -d)
listener=''
trap '[ -z "$listener" ] || kill "$listener" 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"
class=$work/class home=$work/home out=$work/grades
mkdir -p "$class/ann" "$home"
cp "$root/libs/libcall-app/libcall-app.cpp" "$root/libs/somefunc-lib/somefunc-lib.cpp" "$class/ann/"
failed=0
fail() {
    echo "✗ $*"
    failed=1
}

# What only the grader may read: root's /etc/shadow; an ordinary user's own file.
if [ -n "$user" ]; then
    secret=$work/secret
    echo 'mech-hostile-secret: only the grader may read this line' >"$secret"
    chmod 600 "$secret"
    secret_text=mech-hostile-secret
    run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --
        env "HOME=$home" "MECH_EXERCISE_TREES=$work/trees")
else
    secret=/etc/shadow
    secret_text='root:'
    run_as=(env "HOME=$home")
fi
# A port of the machine's loopback that records whoever connects.
port=$((20000 + $$ % 20000))
: >"$work/connections"
perl -MIO::Socket::INET -e '
    my $s = IO::Socket::INET->new(LocalAddr => "127.0.0.1", LocalPort => $ARGV[0], Listen => 5,
        ReuseAddr => 1) or die "listen: $!\n";
    while (my $c = $s->accept) { open my $log, ">>", $ARGV[1]; print $log "connected\n"; }
' "$port" "$work/connections" &
listener=$!

for kind in "$@"; do
    read -r file _ < <(awk -v k="$kind" '$1 == k { print $2 }' "$here/hostile/table")
    [ -n "$file" ] || { echo "hostile-test: no kind $kind in hostile/table" >&2; exit 2; }
    mkdir "$class/$kind"
    if [ "$kind" = symlink ]; then
        ln -s "$secret" "$class/$kind/$file"
        continue
    fi
    sed -e "s|@OTHER@|$class/ann/libcall-app.cpp|g" -e "s|@SECRET@|$secret|g" \
        -e "s|@HOME@|$home|g" -e "s|@PORT@|$port|g" "$here/hostile/$kind.cpp" >"$class/$kind/$file"
done
[ -z "$user" ] || chown -R nobody:nogroup "$work"

# What must be the same afterwards.
trees=$("${run_as[@]}" perl -e 'print $ENV{MECH_EXERCISE_TREES} // ""')
[ -n "$trees" ] || trees=$root/build/exercise
snapshot() {
    find /tmp /var/tmp /dev/shm -maxdepth 3 -name 'mech-hostile*' 2>/dev/null | sort
    find "$home" -mindepth 1
    git -C "$root" status --porcelain 2>/dev/null
    [ ! -d "$trees/native" ] || (cd "$trees/native" &&
        find build.ninja bin lib tests learner -type f -print0 2>/dev/null | sort -z | xargs -0 md5sum)
    ls -A /dev/mqueue /dev/shm
    ipcs -q -m -s | grep -v '^$'
    awk -v r="$root" -v t="$trees" -v w="$work" \
        'index($5, r) == 1 || index($5, t) == 1 || index($5, w) == 1 || $5 ~ /^\/(tmp|var\/tmp|dev\/shm)/' \
        /proc/self/mountinfo
}
# Ann's checks alone first: they bring our build in the tree up to date, as a grading does.
mkdir "$work/warm"
cp -a "$class/ann" "$work/warm/"
"${run_as[@]}" "$exercise" grade "$work/warm" "$work/warm-grades" >/dev/null 2>&1 || true
before=$(snapshot)

"${run_as[@]}" "$exercise" grade "$class" "$out" >"$work/grade.out" 2>&1 ||
    fail "exercise grade ended with status $?"
cat "$work/grade.out"

# Ann: every cell full marks.
ann=$(awk '$1 == "ann"' "$out/grades.txt")
[[ $ann =~ ^ann(\ +([0-9]+)/([0-9]+))+$ ]] || fail "ann's row is not all scores: $ann"
for cell in $(sed 's/^ann//' <<<"$ann"); do
    [ "${cell%/*}" = "${cell#*/}" ] && [ "${cell%/*}" -gt 0 ] || fail "ann lost marks: $ann"
done
for kind in "$@"; do
    page=$(grep -l "<title>Exercises of $kind: " "$out"/learner-*.html || true)
    [ -n "$page" ] || { fail "$kind has no page"; continue; }
    expected=$(awk -v k="$kind" '$1 == k { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' "$here/hostile/table")
    grep -qE -- "$expected" "$page" || fail "$kind's page does not say: $expected"
    case "$kind" in
    include-secret | symlink)
        ! grep -qF -- "$secret_text" "$page" || fail "$kind's page shows the secret" ;;
    read-other)
        ! grep -qF -- "$(head -1 "$class/ann/libcall-app.cpp")" "$page" || fail "$kind read ann's file" ;;
    write-around)
        ! grep -E 'wrote ' "$page" | grep -vE 'wrote /(tmp|var/tmp|dev/shm)/mech-hostile-write' ||
            fail "$kind wrote outside its scratch" ;;
    connect-out)
        [ ! -s "$work/connections" ] || fail "$kind reached the machine's loopback" ;;
    daemon)
        ! pgrep -x mech-hostile-d || fail "$kind's daemon outlived its check" ;;
    esac
done
after=$(snapshot)
[ "$before" = "$after" ] || {
    fail "something was left behind or changed:"
    diff <(echo "$before") <(echo "$after") || true
}
exit "$failed"
