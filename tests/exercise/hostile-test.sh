#!/usr/bin/env bash
# Hostile learners. A class of one good learner, ann, who hands in our libcall-app and
# somefunc-lib, and a learner per kind of hostile/table, who hands in the small file
# hostile/KIND.cpp under a deliverable's name, is graded by `exercise grade` (four checks at a
# time), as root or, with --user, as an ordinary user (nobody, with exercise trees of its own):
#   tests/exercise/hostile-test.sh grade [--user] DIR   the grading (CTest: the fixture
#       exercise.hostile, and exercise.hostile-as-user with every check below): ann keeps full
#       marks, and nothing is left behind: no process, no file in /tmp, /var/tmp or /dev/shm,
#       no change to the repository, our build in the exercise tree or the grader's home, no
#       queue, semaphore, shared memory or mount, no connection to the machine's loopback; the
#       pages go to DIR
#   tests/exercise/hostile-test.sh check KIND DIR       one kind's learner (CTest:
#       exercise.hostile.KIND): its page says what the table says, and what it tried shows
#       nowhere (the secret, ann's file)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
exercise=$root/exercise/exercise
readonly jobs=4 secret_text=mech-hostile-secret
usage() { sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
kinds() { awk '/^[a-z]/ { print $1 }' "$here/hostile/table"; }
failed=0 work='' listener=''
fail() {
    echo "✗ $*"
    failed=1
}

# check KIND DIR: the page of KIND's learner in DIR/grades, and what the grading recorded.
check() {
    local kind=$1 dir=$2 page expected
    page=$(grep -l "<title>Exercises of $kind: " "$dir"/grades/learner-*.html || true)
    [ -n "$page" ] || { fail "$kind has no page"; return; }
    expected=$(awk -v k="$kind" '$1 == k { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' "$here/hostile/table")
    grep -qE -- "$expected" "$page" || fail "$kind's page does not say: $expected"
    case "$kind" in
    include-secret | symlink)
        ! grep -qF -- "$(cat "$dir/secret-text")" "$page" || fail "$kind's page shows the secret" ;;
    read-other)
        ! grep -qF -- "$(head -1 "$root/libs/libcall-app/libcall-app.cpp")" "$page" || fail "$kind read ann's file" ;;
    connect-out)
        [ ! -s "$dir/connections" ] || fail "$kind reached the machine's loopback" ;;
    daemon)
        [ ! -s "$dir/daemons" ] || fail "$kind's daemon outlived its check: $(cat "$dir/daemons")" ;;
    esac
}

# grade [--user] DIR: the class graded, its pages in DIR/grades.
grade() {
    local user='' dir class home secret port trees before after
    if [ "${1:-}" = --user ]; then
        user=1
        shift
    fi
    [ $# -eq 1 ] || usage
    dir=$1
    rm -rf "$dir"
    mkdir -p "$dir"
    work=$(mktemp -d)
    trap '[ -z "$listener" ] || kill "$listener" 2>/dev/null; rm -rf "$work"' EXIT
    chmod 755 "$work"
    class=$work/class home=$work/home
    mkdir -p "$class/ann" "$home"
    cp "$root/libs/libcall-app/libcall-app.cpp" "$root/libs/somefunc-lib/somefunc-lib.cpp" "$class/ann/"
    # What only the grader may read: root's /etc/shadow; an ordinary user's own file.
    local -a run_as
    if [ -n "$user" ]; then
        secret=$work/secret
        echo "$secret_text: only the grader may read this line" >"$secret"
        chmod 600 "$secret"
        echo "$secret_text" >"$dir/secret-text"
        run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --
            env "HOME=$home" "MECH_EXERCISE_TREES=$work/trees")
        trees=$work/trees
    else
        secret=/etc/shadow
        echo 'root:' >"$dir/secret-text"
        run_as=(env "HOME=$home")
        trees=$root/build/exercise
    fi
    # A port of the machine's loopback that records whoever connects.
    port=$((20000 + $$ % 20000))
    : >"$dir/connections"
    perl -MIO::Socket::INET -e '
        my $s = IO::Socket::INET->new(LocalAddr => "127.0.0.1", LocalPort => $ARGV[0],
            Listen => 5, ReuseAddr => 1) or die "listen: $!\n";
        while (my $c = $s->accept) { open my $log, ">>", $ARGV[1]; print $log "connected\n"; }
    ' "$port" "$dir/connections" </dev/null >/dev/null 2>&1 &
    listener=$!
    local kind file
    for kind in $(kinds); do
        file=$(awk -v k="$kind" '$1 == k { print $2 }' "$here/hostile/table")
        mkdir "$class/$kind"
        if [ "$kind" = symlink ]; then
            ln -s "$secret" "$class/$kind/$file"
            continue
        fi
        sed -e "s|@OTHER@|$class/ann/libcall-app.cpp|g" -e "s|@SECRET@|$secret|g" \
            -e "s|@HOME@|$home|g" -e "s|@PORT@|$port|g" "$here/hostile/$kind.cpp" >"$class/$kind/$file"
    done
    [ -z "$user" ] || chown -R nobody:nogroup "$work" "$dir"

    # What must be the same afterwards, once our build is made.
    snapshot() {
        find /tmp /var/tmp /dev/shm "$root" "$trees" -maxdepth 4 -name 'mech-hostile*' 2>/dev/null | sort
        find "$home" -mindepth 1
        git -C "$root" status --porcelain 2>/dev/null
        (cd "$trees/native" &&
            find build.ninja bin lib tests learner -type f -print0 | sort -z | xargs -0 md5sum)
        ls -A /dev/mqueue /dev/shm
        ipcs -q -m -s | grep -v '^$'
        awk -v r="$root" -v t="$trees" -v w="$work" \
            'index($5, r) == 1 || index($5, t) == 1 || index($5, w) == 1 || $5 ~ /^\/(tmp|var\/tmp|dev\/shm)/' \
            /proc/self/mountinfo
    }
    "${run_as[@]}" "$exercise" prepare libcall-app somefunc-lib
    before=$(snapshot)
    "${run_as[@]}" "$exercise" grade -j "$jobs" "$class" "$dir/grades" >"$work/grade.out" 2>&1 ||
        fail "exercise grade ended with status $?"
    cat "$work/grade.out"
    pgrep -a -x mech-hostile-d >"$dir/daemons" || true
    after=$(snapshot)
    [ "$before" = "$after" ] || {
        fail "something was left behind or changed:"
        diff <(echo "$before") <(echo "$after") || true
    }
    # Ann: every cell full marks.
    local ann cell
    ann=$(awk '$1 == "ann"' "$dir/grades/grades.txt")
    [[ $ann =~ ^ann(\ +[0-9]+/[0-9]+)+$ ]] || fail "ann's row is not all scores: $ann"
    for cell in ${ann#ann}; do
        [ "${cell%/*}" = "${cell#*/}" ] && [ "${cell%/*}" -gt 0 ] || fail "ann lost marks: $ann"
    done
}

case "${1:-}" in
grade)
    shift
    grade "$@"
    if [ "${1:-}" = --user ]; then
        for kind in $(kinds); do check "$kind" "$2"; done
    fi
    ;;
check)
    [ $# -eq 3 ] || usage
    check "$2" "$3"
    ;;
*) usage ;;
esac
exit "$failed"
