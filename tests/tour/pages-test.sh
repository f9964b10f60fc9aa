#!/usr/bin/env bash
# tour/tour --html in a real browser: each scenario named (every one the tour has, by default)
# is played once and its page loaded in headless Chromium, in a window 1440 pixels wide, with
# pages-measure.js, which writes the boxes of its texts, the course of its arrows and the
# page's widths and smallest text into the DOM; pages-check.pl then checks that DOM. On every
# page the drawing fits the window (no horizontal scrolling), no text is smaller than 11 px,
# no two texts overlap, no arrow runs through a text, each text stays in its lane, two lanes
# that share a column never do at once, and each wait of 2 s or more between two rows is drawn
# as a gap with its length; the index links every page. Where they are among the names:
# fortune has a lane for the server and one for each client, and every datagram of the trace
# (each sendto with its byte count) is one arrow from the sender's lane to a lane of the other
# side; fork-copy's child has a lane tied to its parent, with a fork arrow to it and an
# exit-status arrow back to the wait4. The lines a child or a thread wrote are in its lane: the
# child's own in fork-copy, each stream-reply child's, each notification thread's "Read N
# bytes" in mq-thread-watch. A screenshot of the fortune page is not blank.
#   tests/tour/pages-test.sh [NAME...]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
browser=$(command -v chromium || true)
command -v strace >/dev/null || exec "$root/tests/missing.sh" strace "run scripts/install.sh"
[ -n "$browser" ] || exec "$root/tests/missing.sh" chromium "run scripts/install.sh --tests"
out=$(mktemp -d /tmp/tour-pages-XXXXXX)
trap 'rm -rf "$out"' EXIT
pages=("$@")
if [ "${#pages[@]}" -eq 0 ]; then
    mapfile -t pages < <("$root/tour/tour" --list | awk '{ print $1 }')
fi
TOUR_NO_BUILD=1 "$root/tour/tour" --html "$out/pages" "${pages[@]}" >"$out/tour.log" 2>&1 || {
    echo "FAIL: tour/tour --html failed"
    perl -I"$root/tour" -MVerdict=failure_lines -e 'local $/; print map { "$_\n" } failure_lines(<STDIN>)' <"$out/tour.log"
    exit 1
}
chrome() {
    timeout $((60 * ${MECH_TIMEOUT_SCALE:-1})) "$browser" --headless --no-sandbox --disable-gpu \
        --disable-quic --no-first-run --disable-background-networking --disable-component-update \
        --disable-sync --window-size=1440,900 --user-data-dir="$out/profile.$1" "${@:2}" \
        2>"$out/chromium.$1.err"
}
mkdir "$out/measured"
cp "$here/pages-measure.js" "$out/measured/"
for page in "${pages[@]}"; do
    sed 's#</body></html>#<script src="pages-measure.js"></script></body></html>#' \
        "$out/pages/$page.html" >"$out/measured/$page.html"
    chrome "$page" --dump-dom "file://$out/measured/$page.html" >"$out/$page.dom" ||
        { echo "FAIL: chromium could not load $page.html"; cat "$out/chromium.$page.err"; exit 1; }
done
if [ -e "$out/pages/fortune.html" ]; then
    chrome shot --screenshot="$out/fortune.png" "file://$out/pages/fortune.html" >/dev/null ||
        { echo "FAIL: no screenshot"; exit 1; }
fi
exec perl "$here/pages-check.pl" "$out" "${pages[@]}"
