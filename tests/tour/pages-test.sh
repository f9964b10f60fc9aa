#!/usr/bin/env bash
# tour/tour --html in a real browser: headless Chromium loads the pages of fortune and
# fork-copy (the index must link both). In the DOM it built, fortune has a lane for the server and one for
# each client, and every datagram of the trace (each sendto with its byte count) is one arrow
# from the sender's lane to a lane of the other side; fork-copy's child has a lane tied to its
# parent, with a fork arrow to it and an exit-status arrow back to the wait4. A screenshot of
# the fortune page is not blank.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
browser=$(command -v chromium || true)
if ! command -v strace >/dev/null; then
    echo "missing strace: run scripts/install.sh"
    [ "${MECH_STRICT:-0}" = 1 ] && exit 1
    exit 77
fi
if [ -z "$browser" ]; then
    echo "missing chromium: run scripts/install.sh --tests"
    [ "${MECH_STRICT:-0}" = 1 ] && exit 1
    exit 77
fi
out=$(mktemp -d /tmp/tour-pages-XXXXXX)
trap 'rm -rf "$out"' EXIT
TOUR_NO_BUILD=1 "$root/tour/tour" --html "$out/pages" fortune fork-copy >/dev/null ||
    { echo "FAIL: tour/tour --html failed"; exit 1; }
chrome() {
    timeout $((60 * ${MECH_TIMEOUT_SCALE:-1})) "$browser" --headless --no-sandbox --disable-gpu \
        --disable-quic --no-first-run --disable-background-networking --disable-component-update \
        --disable-sync --user-data-dir="$out/profile.$1" "${@:2}" 2>"$out/chromium.$1.err"
}
for page in fortune fork-copy; do
    chrome "$page" --dump-dom "file://$out/pages/$page.html" >"$out/$page.dom" ||
        { echo "FAIL: chromium could not load $page.html"; cat "$out/chromium.$page.err"; exit 1; }
done
chrome shot --window-size=1200,900 --screenshot="$out/fortune.png" "file://$out/pages/fortune.html" >/dev/null ||
    { echo "FAIL: no screenshot"; exit 1; }

exec perl -MCompress::Zlib -e '
    my ($dir) = @ARGV;
    my $failed = 0;
    sub fail { print "FAIL: @_\n"; $failed = 1 }
    sub slurp { local $/; open my $f, "<", shift or die; <$f> }
    sub unesc { my $s = shift; $s =~ s/&lt;/</g; $s =~ s/&gt;/>/g; $s =~ s/&quot;/"/g; $s =~ s/&amp;/&/g; $s }
    sub attrs { my %a; $a{$1} = unesc($2) while $_[0] =~ /([\w-]+)="([^"]*)"/g; \%a }
    sub page {
        my $dom = slurp(shift);
        my @lanes  = map { attrs($_) } $dom =~ /<g (class="lane"[^>]*)>/g;
        my @arrows = map { attrs($_) } $dom =~ /<path (class="arrow [^>]*)>/g;
        my ($trace) = $dom =~ /<pre class="trace">(.*?)<\/pre>/s;
        return (\@lanes, \@arrows, unesc($trace // ""));
    }
    my $index = slurp("$dir/pages/index.html");
    fail("index: no links to both pages") unless $index =~ /href="fortune.html"/ && $index =~ /href="fork-copy.html"/;

    my ($lanes, $arrows, $trace) = page("$dir/fortune.dom");
    my %lane = map { $_->{"data-lane"} => $_ } @$lanes;
    my @main = map { $_->{"data-label"} } grep { $_->{"data-role"} eq "main" } @$lanes;
    fail("fortune: lanes @main, not a server and four clients")
        unless "@{[sort @main]}" eq "client client client client server" && @$lanes == 5;
    my (%want, %got);
    while ($trace =~ /^ +[\d.]+s  (\w+) +⚙ sendto\(.*\) = (\d+)$/mg) {
        $want{ $1 eq "server" ? "server>client $2 bytes" : "client>server $2 bytes" }++;
    }
    for my $a (grep { $_->{"data-kind"} eq "datagram" } @$arrows) {
        my ($from, $to) = @{$a}{qw(data-from data-to)};
        fail("fortune: an arrow from or to no lane") unless $lane{$from} && $lane{$to};
        $got{"$a->{q(data-from-label)}>$a->{q(data-to-label)} $a->{q(data-what)}"}++;
    }
    my $w = join ", ", map { "$_ x$want{$_}" } sort keys %want;
    my $g = join ", ", map { "$_ x$got{$_}" } sort keys %got;
    fail("fortune: datagram arrows\n  expected (from the trace): $w\n  actual (in the page):      $g")
        unless $w eq $g && keys %want;
    my %per;
    $per{$_->{"data-from"}}++, $per{$_->{"data-to"}}++ for @$arrows;
    for my $l (grep { $_->{"data-label"} eq "client" } @$lanes) {
        fail("fortune: client lane $l->{q(data-lane)} has $per{$l->{q(data-lane)}} arrows, not 7")
            unless ($per{ $l->{"data-lane"} } // 0) == 7;
    }

    ($lanes, $arrows) = page("$dir/fork-copy.dom");
    my ($parent) = grep { $_->{"data-role"} eq "main" } @$lanes;
    my @kids = grep { $_->{"data-role"} eq "child" } @$lanes;
    fail("fork-copy: not one main lane and one child lane tied to it")
        unless $parent && @kids == 1 && $kids[0]{"data-parent"} eq $parent->{"data-lane"};
    if (@kids == 1) {
        my ($p, $c) = ($parent->{"data-lane"}, $kids[0]{"data-lane"});
        my @fork = grep { $_->{"data-kind"} eq "fork" && $_->{"data-from"} eq $p && $_->{"data-to"} eq $c } @$arrows;
        my @exit = grep { $_->{"data-kind"} eq "exit" && $_->{"data-from"} eq $c && $_->{"data-to"} eq $p
            && $_->{"data-what"} eq "exited with 100" } @$arrows;
        fail("fork-copy: no fork arrow to the child") unless @fork == 1;
        fail("fork-copy: no exit arrow with status 100 to the parent") unless @exit == 1;
    }

    # The screenshot: its pixel rows, inflated, hold more than a few distinct byte values.
    my $png = slurp("$dir/fortune.png");
    my ($idat, $pos) = ("", 8);
    while ($pos + 8 <= length $png) {
        my ($len, $type) = unpack "Na4", substr($png, $pos, 8);
        $idat .= substr($png, $pos + 8, $len) if $type eq "IDAT";
        $pos += 12 + $len;
    }
    my $pixels = uncompress($idat) // "";
    my %seen = map { $_ => 1 } unpack "C*", $pixels;
    fail("the screenshot is blank (" . keys(%seen) . " distinct bytes)") unless keys %seen > 16;

    print "tour --html: pages load in Chromium; lanes and arrows match the trace\n" unless $failed;
    exit $failed;
' "$out"
