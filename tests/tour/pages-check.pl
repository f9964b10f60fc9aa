#!/usr/bin/env perl
# pages-check.pl DIR NAME...: the checks of pages-test.sh on what headless Chromium made of the
# tour's pages. DIR holds pages/ (tour/tour --html), NAME.dom (the DOM of each page as Chromium
# built it in a window 1440 px wide, with the measures of pages-measure.js) and, where fortune
# is among the names, fortune.png (a screenshot). Prints "FAIL: ..." for each check that does
# not hold and ends with status 1 if any did not.
use strict;
use warnings;
use Compress::Zlib qw(uncompress);

use constant {
    SLACK_PX   => 0.5,     # boxes that touch by less than this do not overlap
    WINDOW_PX  => 1440,    # the window the pages must fit
    SMALLEST_PX => 11,     # the smallest text a page may show
    GAP_S      => 2,       # a wait this long between two rows is drawn as a gap
};

my $failed = 0;
sub fail { print "FAIL: @_\n"; $failed = 1; return }

sub slurp { my ($file) = @_; open my $f, '<', $file or die "pages-check: $file: $!\n"; local $/; return scalar <$f> }
sub unesc { my ($s) = @_; $s =~ s/&lt;/</g; $s =~ s/&gt;/>/g; $s =~ s/&quot;/"/g; $s =~ s/&amp;/&/g; return $s }
sub attrs { my ($s) = @_; my %a; $a{$1} = unesc($2) while $s =~ /([\w-]+)="([^"]*)"/g; return \%a }

# A page as Chromium built it:
#   lanes    [{data-lane, data-label, data-role, data-parent, data-pid, data-left, data-width,
#            data-rows ("FIRST LAST": the rows it holds its column for)}]
#   arrows   [{data-kind, data-from, data-to, data-from-label, data-to-label, data-what}]
#   rows     [{lane, kind, text}]: the rows' texts (whole, where the page cut them short)
#   boxes    [{class, lane, row, x, y, w, h, text}]: each text's box, measured, and its text
#            (not the empty ones)
#   paths    [{kind, points => [[x, y]...]}]: points along each arrow, measured
#   window   {window, view, scroll, right, font, text}: the window's width, the width the page
#            is shown in and the one it would scroll to, the drawing's right edge, the smallest
#            text's size and its start (pages-measure.js)
#   trace    the text view below the drawing
sub page {
    my ($dom) = @_;
    my %p = (rows => [], boxes => [], paths => []);
    $p{lanes}  = [map { attrs($_) } $dom =~ /<g (class="lane"[^>]*)>/g];
    $p{arrows} = [map { attrs($_) } $dom =~ /<path (class="arrow [^"]*" data-kind=[^>]*)>/g];    # not the legend's
    while ($dom =~ /<text class="row [^"]*"([^>]*)>(.*?)<\/text>/gs) {
        my ($a, $body) = (attrs($1), $2);
        my ($title) = $body =~ /<title>(.*?)<\/title>/s;
        (my $shown = $body) =~ s/<[^>]*>//g;
        push @{ $p{rows} }, { lane => $a->{'data-lane'}, kind => $a->{'data-kind'}, text => unesc($title // $shown) };
    }
    my ($measured) = $dom =~ /<pre id="measured">(.*?)<\/pre>/s;
    for my $line (split /\n/, unesc($measured // '')) {
        my ($what, @f) = split /\t/, $line;
        if ($what eq 'text') {
            my %b;
            @b{qw(class lane row x y w h text)} = @f;
            push @{ $p{boxes} }, \%b if $b{w} > 0;    # an empty line draws nothing
        } elsif ($what eq 'arrow') {
            push @{ $p{paths} }, { kind => $f[0], points => [map { [split /,/] } split / /, $f[1] // ''] };
        } elsif ($what eq 'page') {
            @{ $p{window} }{qw(window view scroll right font text)} = @f;
        }
    }
    my ($trace) = $dom =~ /<pre class="trace">(.*?)<\/pre>/s;
    $p{trace} = unesc($trace // '');
    fail('no measures in the page') unless @{ $p{boxes} } && $p{window};
    return \%p;
}

sub inside_box {
    my ($b, $x, $y) = @_;
    return $x > $b->{x} + SLACK_PX && $x < $b->{x} + $b->{w} - SLACK_PX && $y > $b->{y} + SLACK_PX && $y < $b->{y} + $b->{h} - SLACK_PX;
}

sub overlap {
    my ($a, $b) = @_;
    return $a->{x} + $a->{w} > $b->{x} + SLACK_PX && $b->{x} + $b->{w} > $a->{x} + SLACK_PX
        && $a->{y} + $a->{h} > $b->{y} + SLACK_PX && $b->{y} + $b->{h} > $a->{y} + SLACK_PX;
}

sub describe { my ($b) = @_; return sprintf '%s text%s at (%d,%d)', $b->{class}, $b->{row} ne '' ? " of row $b->{row}" : '', $b->{x}, $b->{y} }

# Every page: no two texts' boxes overlap, no arrow runs through a text, every text of a lane
# (its head and its rows) stays inside the lane, and lanes that share a column hold it for rows
# apart.
sub check_layout {
    my ($name, $p) = @_;
    my @boxes = sort { $a->{y} <=> $b->{y} } @{ $p->{boxes} };
    for my $i (0 .. $#boxes) {
        for my $j ($i + 1 .. $#boxes) {
            last if $boxes[$j]{y} >= $boxes[$i]{y} + $boxes[$i]{h};
            fail("$name: " . describe($boxes[$i]) . ' overlaps ' . describe($boxes[$j])) if overlap($boxes[$i], $boxes[$j]);
        }
    }
    for my $path (@{ $p->{paths} }) {
        my ($hit) = grep { my $b = $_; grep { inside_box($b, @$_) } @{ $path->{points} } } @boxes;
        fail("$name: a $path->{kind} arrow runs through the " . describe($hit)) if $hit;
    }
    my %lane = map { $_->{'data-lane'} => $_ } @{ $p->{lanes} };
    for my $b (grep { $_->{lane} ne '' } @boxes) {
        my $l = $lane{ $b->{lane} } or next;
        my ($left, $right) = ($l->{'data-left'}, $l->{'data-left'} + $l->{'data-width'});
        fail("$name: " . describe($b) . " reaches outside its lane $b->{lane} ($left to $right)")
            if $b->{x} < $left - SLACK_PX || $b->{x} + $b->{w} > $right + SLACK_PX;
        my ($first, $last) = split / /, $l->{'data-rows'} // '';
        fail("$name: " . describe($b) . " is outside the rows of its lane $b->{lane} ($first to $last)")
            if $b->{row} ne '' && defined $last && ($b->{row} < $first || $b->{row} > $last);
    }
    my %column;
    push @{ $column{ $_->{'data-left'} } }, $_ for grep { $_->{'data-role'} ne 'tour' } @{ $p->{lanes} };
    for my $lanes (values %column) {
        my @held = sort { $a->[0] <=> $b->[0] } map { [split(/ /, $_->{'data-rows'}), $_->{'data-lane'}] } @$lanes;
        my $before = shift @held;    # of those so far, the one that holds the column longest
        for my $h (@held) {
            fail("$name: lanes $before->[2] (rows $before->[0] to $before->[1]) and $h->[2] (rows $h->[0] to $h->[1]) share a column at once")
                if $h->[0] <= $before->[1];
            $before = $h if $h->[1] > $before->[1];
        }
    }
    return;
}

# Every page fits a window WINDOW_PX wide, with no horizontal scrolling and no text smaller than
# SMALLEST_PX; and each wait of GAP_S or more between two rows (two times shown, to the
# hundredth) is drawn as a gap, with its length, between them, and no shorter one.
sub check_window {
    my ($name, $p) = @_;
    my $w = $p->{window};
    fail("$name: measured in a window $w->{window} px wide, not " . WINDOW_PX) unless $w->{window} == WINDOW_PX;
    fail("$name: the page scrolls sideways: $w->{scroll} px wide in a view of $w->{view}") if $w->{scroll} > $w->{view};
    fail("$name: the drawing reaches $w->{right} px, past the view's $w->{view}") if $w->{right} > $w->{view} + SLACK_PX;
    fail("$name: a text of $w->{font} px, less than " . SMALLEST_PX . ": \"$w->{text}\"") if $w->{font} < SMALLEST_PX;
    my @times = sort { $a->{y} <=> $b->{y} } map { { y => $_->{y}, t => $_->{text} =~ /^([\d.]+)s$/ } } grep { $_->{class} eq 'time' } @{ $p->{boxes} };
    my @gaps = map { { y => $_->{y}, s => $_->{text} =~ /([\d.]+) s/ } } grep { $_->{class} eq 'gap' } @{ $p->{boxes} };
    for my $i (1 .. $#times) {
        my ($before, $after) = @times[ $i - 1, $i ];
        my $wait = $after->{t} - $before->{t};
        my @drawn = grep { $_->{y} > $before->{y} && $_->{y} < $after->{y} } @gaps;
        if ($wait >= GAP_S + 0.01) {
            fail("$name: $wait s from $before->{t} s to $after->{t} s, drawn as " . (@drawn ? "@{[map { $_->{s} } @drawn]} s" : 'no gap'))
                unless @drawn == 1 && abs($drawn[0]{s} - $wait) < 0.1;
        } elsif (@drawn && $wait < GAP_S - 0.01) {
            fail("$name: a gap between $before->{t} s and $after->{t} s");
        }
    }
    return;
}

# Each row of LINES (a regular expression; $1 the pid it names, if any) is in a lane of ROLE,
# that pid's lane where it names one.
sub check_writers {
    my ($name, $p, $lines, $role, $due) = @_;
    my %lane = map { $_->{'data-lane'} => $_ } @{ $p->{lanes} };
    my @rows = grep { $_->{kind} eq 'line' && $_->{text} =~ $lines } @{ $p->{rows} };
    fail("$name: $due lines like $lines, not " . @rows) unless @rows == $due;
    for my $r (@rows) {
        $r->{text} =~ $lines;
        my $pid = $1;    # undef where LINES names none
        my $l = $lane{ $r->{lane} } // {};
        fail("$name: \"$r->{text}\" is in lane $r->{lane}, not in a $role lane" . (defined $pid ? " of pid $pid" : ''))
            unless ($l->{'data-role'} // '') eq $role && (!defined $pid || $l->{'data-pid'} eq $pid);
    }
    return;
}

sub check_fortune {
    my ($p) = @_;
    my ($lanes, $arrows) = @$p{qw(lanes arrows)};
    my %lane = map { $_->{'data-lane'} => $_ } @$lanes;
    my @main = map { $_->{'data-label'} } grep { $_->{'data-role'} eq 'main' } @$lanes;
    fail("fortune: lanes @main, not a server and four clients")
        unless "@{[sort @main]}" eq 'client client client client server' && 5 == grep { $_->{'data-role'} ne 'tour' } @$lanes;
    my (%want, %got);
    while ($p->{trace} =~ /^ +[\d.]+s  (\w+) +⚙ sendto\(.*\) = (\d+)$/mg) {
        $want{ $1 eq 'server' ? "server>client $2 bytes" : "client>server $2 bytes" }++;
    }
    for my $a (grep { $_->{'data-kind'} eq 'datagram' } @$arrows) {
        fail('fortune: an arrow from or to no lane') unless $lane{ $a->{'data-from'} } && $lane{ $a->{'data-to'} };
        $got{"$a->{'data-from-label'}>$a->{'data-to-label'} $a->{'data-what'}"}++;
    }
    my $w = join ', ', map {"$_ x$want{$_}"} sort keys %want;
    my $g = join ', ', map {"$_ x$got{$_}"} sort keys %got;
    fail("fortune: datagram arrows\n  expected (from the trace): $w\n  actual (in the page):      $g")
        unless $w eq $g && keys %want;
    my %per;
    $per{ $_->{'data-from'} }++, $per{ $_->{'data-to'} }++ for @$arrows;
    for my $l (grep { $_->{'data-label'} eq 'client' } @$lanes) {
        fail("fortune: client lane $l->{'data-lane'} has " . ($per{ $l->{'data-lane'} } // 0) . ' arrows, not 7')
            unless ($per{ $l->{'data-lane'} } // 0) == 7;
    }
    return;
}

sub check_fork_copy {
    my ($p) = @_;
    my ($lanes, $arrows) = @$p{qw(lanes arrows)};
    my ($parent) = grep { $_->{'data-role'} eq 'main' } @$lanes;
    my @kids = grep { $_->{'data-role'} eq 'child' } @$lanes;
    return fail('fork-copy: not one main lane and one child lane tied to it')
        unless $parent && @kids == 1 && $kids[0]{'data-parent'} eq $parent->{'data-lane'};
    my ($from, $to) = ($parent->{'data-lane'}, $kids[0]{'data-lane'});
    my @fork = grep { $_->{'data-kind'} eq 'fork' && $_->{'data-from'} eq $from && $_->{'data-to'} eq $to } @$arrows;
    my @exit = grep {
        $_->{'data-kind'} eq 'exit' && $_->{'data-from'} eq $to && $_->{'data-to'} eq $from && $_->{'data-what'} eq 'exited with 100'
    } @$arrows;
    fail('fork-copy: no fork arrow to the child') unless @fork == 1;
    fail('fork-copy: no exit arrow with status 100 to the parent') unless @exit == 1;
    check_writers('fork-copy', $p, qr/^ child: My pid = (\d+) $/, 'child', 1);
    return;
}

# The screenshot: its pixel rows, inflated, hold more than a few distinct byte values.
sub check_screenshot {
    my ($file) = @_;
    my $png = slurp($file);
    my ($idat, $pos) = ('', 8);
    while ($pos + 8 <= length $png) {
        my ($len, $type) = unpack 'Na4', substr($png, $pos, 8);
        $idat .= substr($png, $pos + 8, $len) if $type eq 'IDAT';
        $pos += 12 + $len;
    }
    my %seen = map { $_ => 1 } unpack 'C*', uncompress($idat) // '';
    fail('the screenshot is blank (' . keys(%seen) . ' distinct bytes)') unless keys %seen > 16;
    return;
}

my ($dir, @names) = @ARGV;
die "usage: pages-check.pl DIR NAME...\n" unless defined $dir && @names;
my $index = slurp("$dir/pages/index.html");
my %pages = map { $_ => page(slurp("$dir/$_.dom")) } @names;
fail("index: no link to $_.html") for grep { $index !~ /href="\Q$_\E.html"/ } @names;
for my $name (@names) {
    check_layout($name, $pages{$name});
    check_window($name, $pages{$name});
}
check_fortune($pages{fortune}) if $pages{fortune};
check_fork_copy($pages{'fork-copy'}) if $pages{'fork-copy'};
# The lines a child or a notification thread wrote, each in its writer's lane.
if ($pages{'stream-reply'}) {
    check_writers('stream-reply', $pages{'stream-reply'}, qr/^ requested handled by server (\d+)$/, 'child', 2);
    check_writers('stream-reply', $pages{'stream-reply'}, qr/^ data rec'd from client = /, 'child', 2);
}
check_writers('mq-thread-watch', $pages{'mq-thread-watch'}, qr/^Read \d+ bytes$/, 'thread', 6) if $pages{'mq-thread-watch'};
check_screenshot("$dir/fortune.png") if $pages{fortune};
printf "tour --html: %d pages load in Chromium and fit a %d px window; lanes, arrows and writers match the trace; no text overlaps\n",
    scalar @names, WINDOW_PX unless $failed;
exit $failed;
