#!/usr/bin/env bash
# tour/tour --html in a real browser: headless Chromium loads the pages of fortune, fork-copy,
# stream-reply and mq-thread-watch (the index must link them), each with pages-measure.js,
# which writes the boxes of its texts and the course of its arrows into the DOM; pages-check.pl
# then checks that DOM. On every page no two texts overlap, no arrow runs through a text and
# each text stays in its lane. fortune has a lane for the server and one for each client, and
# every datagram of the trace (each sendto with its byte count) is one arrow from the sender's
# lane to a lane of the other side; fork-copy's child has a lane tied to its parent, with a
# fork arrow to it and an exit-status arrow back to the wait4. The lines a child or a thread
# wrote are in its lane: the child's own in fork-copy, each stream-reply child's, each
# notification thread's "Read N bytes" in mq-thread-watch. A screenshot of the fortune page is
# not blank.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
browser=$(command -v chromium || true)
command -v strace >/dev/null || exec "$root/tests/missing.sh" strace "run scripts/install.sh"
[ -n "$browser" ] || exec "$root/tests/missing.sh" chromium "run scripts/install.sh --tests"
out=$(mktemp -d /tmp/tour-pages-XXXXXX)
trap 'rm -rf "$out"' EXIT
pages=(fortune fork-copy stream-reply mq-thread-watch)
TOUR_NO_BUILD=1 "$root/tour/tour" --html "$out/pages" "${pages[@]}" >/dev/null ||
    { echo "FAIL: tour/tour --html failed"; exit 1; }
chrome() {
    timeout $((60 * ${MECH_TIMEOUT_SCALE:-1})) "$browser" --headless --no-sandbox --disable-gpu \
        --disable-quic --no-first-run --disable-background-networking --disable-component-update \
        --disable-sync --user-data-dir="$out/profile.$1" "${@:2}" 2>"$out/chromium.$1.err"
}
mkdir "$out/measured"
cp "$here/pages-measure.js" "$out/measured/"
for page in "${pages[@]}"; do
    sed 's#</body></html>#<script src="pages-measure.js"></script></body></html>#' \
        "$out/pages/$page.html" >"$out/measured/$page.html"
    chrome "$page" --dump-dom "file://$out/measured/$page.html" >"$out/$page.dom" ||
        { echo "FAIL: chromium could not load $page.html"; cat "$out/chromium.$page.err"; exit 1; }
done
chrome shot --window-size=1200,900 --screenshot="$out/fortune.png" "file://$out/pages/fortune.html" >/dev/null ||
    { echo "FAIL: no screenshot"; exit 1; }
exec perl "$here/pages-check.pl" "$out"
