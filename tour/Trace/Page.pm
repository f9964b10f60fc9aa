package Trace::Page;
# The page of a traced play (tour/tour --html) and the index of the pages. A page is one SVG
# drawing, self-contained (no script, nothing fetched): time runs down, one row per event; a
# column for the tour's notes, then one lane per process, children and threads right of their
# parent. The drawing fits a window 1440 pixels wide: each column is as wide as its texts need
# where they fit, and where they do not, the widest are narrowed to one width; a lane whose
# process has ended leaves its column to a later one, whose head is written where it begins; a
# long wait between two rows is drawn as a short gap with its length on it.
# Every text stays inside its lane (a long one is cut, the whole of it in a tooltip and in the
# text view below the drawing; the tour's notes wrap). Arrows leave a row along its lane's line,
# cross between rows, and come down just left of the receiving lane's line, so no arrow crosses
# a text.
use strict;
use warnings;
use utf8;    # texts here are characters; the model's are UTF-8 bytes, decoded on the way in
use Exporter 'import';
use Encode qw(decode encode);
use List::Util qw(min);
use POSIX qw(ceil);
use Trace::Text qw(trace_text);

our @EXPORT_OK = qw(page index_page);

# Layout, in pixels of the drawing.
use constant {
    FONT_PX        => 12,     # the rows' text (monospace)
    CALL_FONT_PX   => 11,     # a system call's row
    ASCII_EM       => 0.62,   # the width of a character, in ems: ASCII (a little over the
    OTHER_EM       => 1.05,   # 0.6 of monospace fonts) and any other (a symbol may come from a
                              # wider font)
    TAB_STOP       => 8,      # a tab in a program's line reaches the next multiple of 8
    LINE_PX        => 20,     # a row's height, per line of text
    BASELINE_PX    => 14,     # a line's baseline below its top
    TOP_PX         => 64,     # the first row's top: the lanes' heads sit above it
    HEAD_ABOVE_PX  => 24,     # a head's baseline above the first row
    PRE_ABOVE_PX   => 16,     # where a lane's dotted line begins, above the first row
    TIME_COLUMN_PX => 64,     # the times, right-aligned, end TIME_GAP_PX before this
    TIME_GAP_PX    => 6,
    DRAWING_MAX_PX => 1392,   # the widest drawing: a 1440 px window less the page's margins
                              # and a scrollbar
    TOUR_LANE_PX   => 420,    # the tour's notes wrap to this width, or to the width of the
    TOUR_MIN_PX    => 280,    # longest, down to this one where the lanes need the room
    GAP_S          => 2,      # a wait of this many seconds between two rows is drawn as a gap
    GAP_PX         => 20,     # of this height, with its length written on it
    LIFE_INSET_PX  => 10,     # a lane's line, from the lane's left edge
    TEXT_INDENT_PX => 8,      # its texts, from its line
    HEAD_INSET_PX  => 4,      # its head, from the lane's left edge
    GUTTER_PX      => 16,     # free room at the right of each lane, where arrows come down
    ARROW_OFFSET_PX => 4,     # an arrow comes down this far left of the receiving lane's line
    OVERHANG_PX    => 5,      # a lane's line reaches this far above its first row's middle
    SPAN_PX        => 6,      # a span's bar: centred on its lane's line, a nested one this
    SPAN_GAP_PX    => 1,      # far plus the gap further left
    MARGIN_PX      => 20,     # right of the last lane and below the last row
};

my @KINDS = qw(datagram stream message notify signal fork thread exit);
my %KIND_TEXT = (
    datagram => 'datagram (sendto → recvfrom)',
    stream   => 'bytes on a connection (write → read)',
    message  => 'queue message (send → receive)',
    notify   => 'notification (to the handler or thread)',
    signal   => 'signal (kill → handler)',
    fork     => 'fork (parent → child)',
    thread   => 'new thread',
    exit     => 'exit status (to the parent that collected it)',
);
my %MARK_CLASS = ('|' => 'out', '!' => 'err', '<' => 'in', '$' => 'cmd', '=' => 'status');

my $STYLE = <<'CSS';
:root { --bg: #ffffff; --fg: #1d1d1f; --dim: #6e6e73; --line: #c7c7cc; --note: #5b4a00;
  --err: #c41a16; --in: #0b57d0; --call: #555; --datagram: #d35400; --stream: #d35400;
  --message: #8e44ad; --notify: #16a085; --signal: #c0392b; --fork: #2471a3; --thread: #2471a3;
  --exit: #7d6608; color-scheme: light dark; }
@media (prefers-color-scheme: dark) {
  :root { --bg: #1c1c1e; --fg: #e5e5ea; --dim: #98989d; --line: #48484a; --note: #e8c547;
    --err: #ff6b6b; --in: #6fa8ff; --call: #aaa; --datagram: #f39c12; --stream: #f39c12;
    --message: #c39bd3; --notify: #48c9b0; --signal: #ff6b6b; --fork: #5dade2; --thread: #5dade2;
    --exit: #f4d03f; } }
body { background: var(--bg); color: var(--fg); font: 14px/1.4 system-ui, sans-serif; margin: 1em; }
a { color: var(--in); }
svg text { font: 12px ui-monospace, "DejaVu Sans Mono", monospace; fill: var(--fg); white-space: pre; }
svg .time { fill: var(--dim); text-anchor: end; }
svg .head { font-weight: bold; }
svg text.note { fill: var(--note); font-style: italic; }
svg text.err { fill: var(--err); }
svg text.in { fill: var(--in); }
svg text.call { fill: var(--call); font-size: 11px; }
svg .life { stroke: var(--line); stroke-width: 2; }
svg .life.waits { stroke-dasharray: 3 3; }
svg .gap rect { fill: var(--line); fill-opacity: 0.25; }
svg text.gap { fill: var(--dim); font-style: italic; }
svg .pre { stroke: var(--line); stroke-dasharray: 2 4; }
svg .arrow { fill: none; stroke-width: 1.6; }
svg .band rect { fill: var(--note); fill-opacity: 0.12; }
svg text.band { fill: var(--note); font-weight: bold; }
svg text.inside { fill: var(--signal); font-weight: bold; }
svg .span rect { fill: var(--in); fill-opacity: 0.45; }
.legend span { margin-right: 1.2em; white-space: nowrap; }
CSS

sub esc { my ($s) = @_; $s //= ''; $s =~ s/&/&amp;/g; $s =~ s/</&lt;/g; $s =~ s/>/&gt;/g; $s =~ s/"/&quot;/g; return $s }

# ---- text sizes ----

sub chars { my ($bytes) = @_; return decode('UTF-8', $bytes) }

sub width_px {
    my ($chars, $font) = @_;
    my $em = 0;
    $em += ord($_) < 128 ? ASCII_EM : OTHER_EM for split //, $chars;
    return $em * $font;
}

# TEXT (characters) cut to fit in WIDTH pixels, "…" marking the cut.
sub fit {
    my ($text, $width, $font) = @_;
    return $text if width_px($text, $font) <= $width;
    my $cut = '';
    for my $c (split //, $text) {
        last if width_px("$cut$c…", $font) > $width;
        $cut .= $c;
    }
    return "$cut…";
}

# TEXT (characters) in lines of WIDTH pixels at the most, broken at spaces.
sub wrap {
    my ($text, $width, $font) = @_;
    my @lines = ('');
    for my $word (split / /, $text) {
        my $joined = $lines[-1] eq '' ? $word : "$lines[-1] $word";
        if (width_px($joined, $font) <= $width || $lines[-1] eq '') { $lines[-1] = $joined }
        else { push @lines, $word }
    }
    return map { fit($_, $width, $font) } @lines;
}

sub expand_tabs {
    my ($text) = @_;
    1 while $text =~ s/^([^\t]*)\t/$1 . ' ' x (TAB_STOP - length($1) % TAB_STOP)/e;
    return $text;
}

# ---- what each row shows ----

# A row as the page shows it: {class, text (characters, whole), font, wraps (1 for the tour's
# notes)}.
sub row_view {
    my ($m, $r) = @_;
    my $text = chars($r->{text});
    return { class => 'note', text => $text, font => FONT_PX, wraps => 1 } if $r->{kind} eq 'note' || $r->{kind} eq 'kill';
    return { class => 'band', text => $text, font => FONT_PX, wraps => 1 } if $r->{kind} eq 'band';
    return { class => 'call', text => "⚙ $text", font => CALL_FONT_PX, wraps => 0 } if $r->{kind} eq 'call';
    my $mark = $r->{entry}{mark};
    if ($mark eq '$') {    # programs by their names, the project's other paths from its folder on
        $text =~ s{\Q$_\E/}{}g for map { chars($_) } @$m{qw(programs libraries)};
        my $root = chars($m->{root});
        $text =~ s{\Q$root\E/}{…/}g;
    }
    $text =~ s/^\s+// if $r->{lane}{role} eq 'named';    # a lane of its own needs no indent
    $text = expand_tabs($text);
    $text = "$mark $text" unless $mark eq '|';
    my $class = $MARK_CLASS{$mark};
    if ($r->{inside}) { $text = "◆ $text"; $class .= ' inside' }
    return { class => $class, text => $text, font => FONT_PX, wraps => 0 };
}

# ---- the layout ----

# Lanes left to right: the tour's first, then each process in the order it first shows, each
# followed by its children and threads.
sub lane_order {
    my ($m) = @_;
    my (@order, %seen);
    for my $r (@{ $m->{rows} }) {
        my @lanes = ($r->{lane});
        my $kid = $r->{event} ? $r->{event}{child} : undef;
        push @lanes, $m->{lanes}{$kid} if defined $kid && $m->{lanes}{$kid};
        push @order, grep { !$seen{ $_->{id} }++ } @lanes;
    }
    my (@lanes, %placed);
    my $place;
    $place = sub {
        my ($lane) = @_;
        return if $placed{ $lane->{id} }++;
        push @lanes, $lane;
        $place->($_) for grep { defined $lane->{pid} && has_parent_lane($m, $_) && $_->{parent} == $lane->{pid} } @order;
    };
    $place->($_) for grep { $_->{role} eq 'tour' } @order;
    $place->($_) for grep { !has_parent_lane($m, $_) } @order;
    $place->($_) for @order;
    return @lanes;
}

sub has_parent_lane {
    my ($m, $lane) = @_;
    return ($lane->{role} eq 'child' || $lane->{role} eq 'thread') && defined $lane->{parent} && $m->{lanes}{ $lane->{parent} };
}

# The geometry, a hash with:
#   lanes              [lane ids, column by column, each column's in time order]
#   left, width, life  {lane id => x}: its column's left edge and width, the x of its line
#   rows_of, reach     {lane id => [first row, last row]}: the rows it has a text, a line or an
#                      arrow's end at; and those with the arrows that come down to it from their
#                      sends, the rows its column holds for it
#   head_at            {lane id => row}: for a lane that took its column from an earlier one,
#                      the row its head is written above (the others' heads are at the top)
#   head_top           [y of the head's line above the row, by row index]
#   gaps               [{y, seconds}]: the waits drawn shortened, each GAP_PX high from y
#   views              [row_view by row index]
#   lines              [[the row's lines of text, cut or wrapped] by row index]
#   top                [y of each row's top, by row index]
#   page_width, page_height   the drawing's size
sub layout {
    my ($m) = @_;
    my $rows = $m->{rows};
    my %g = (views => [], lines => [], top => [], head_top => [], gaps => [], head_at => {});
    $g{views}[ $_->{n} ] = row_view($m, $_) for @$rows;
    lane_rows($m, \%g);
    my @columns = share_columns($m, \%g, [lane_order($m)]);
    $g{lanes} = [map {@$_} @columns];
    my @widths = column_widths($m, \%g, \@columns);
    my $x = TIME_COLUMN_PX;
    for my $c (0 .. $#columns) {
        my ($first, @later) = @{ $columns[$c] };
        $g{head_at}{$_} = $g{reach}{$_}[0] for @later;
        for my $id ($first, @later) {
            $g{left}{$id}  = $x;
            $g{width}{$id} = $widths[$c];
            $g{life}{$id}  = $x + LIFE_INSET_PX;
        }
        $x += $widths[$c];
    }
    $g{page_width} = $x + MARGIN_PX;
    my %head_before = map { $_ => 1 } values %{ $g{head_at} };
    my $y = TOP_PX;
    for my $r (@$rows) {
        my $n = $r->{n};
        my $wait = $n > 0 ? $r->{t} - $rows->[ $n - 1 ]{t} : 0;
        if ($wait >= GAP_S) {
            push @{ $g{gaps} }, { y => $y, seconds => $wait };
            $y += GAP_PX;
        }
        if ($head_before{$n}) {
            $g{head_top}[$n] = $y;
            $y += LINE_PX;
        }
        my $v = $g{views}[$n];
        my $room = text_room(\%g, $r->{lane}{id});
        my @lines = $v->{wraps} ? wrap($v->{text}, $room, $v->{font}) : fit($v->{text}, $room, $v->{font});
        $g{lines}[$n] = \@lines;
        $g{top}[$n] = $y;
        $y += @lines * LINE_PX;
    }
    $g{page_height} = $y + MARGIN_PX;
    return \%g;
}

# Each lane's rows_of and reach (see layout).
sub lane_rows {
    my ($m, $g) = @_;
    my $touch = sub {
        my ($what, $id, $n) = @_;
        my $s = $g->{$what}{$id} //= [$n, $n];
        $s->[0] = $n if $n < $s->[0];
        $s->[1] = $n if $n > $s->[1];
    };
    for my $r (@{ $m->{rows} }) {
        $touch->('rows_of', $r->{lane}{id}, $r->{n});
        my $kid = $r->{event} ? $r->{event}{child} : undef;
        $touch->('rows_of', $kid, $r->{n}) if defined $kid && $m->{lanes}{$kid};
    }
    for my $a (@{ $m->{arrows} }) {
        $touch->('rows_of', $a->{from}{id}, $a->{from_n});
        $touch->('rows_of', $a->{to}{id}, $a->{to_n});
    }
    $g->{reach} = { map { $_ => [@{ $g->{rows_of}{$_} }] } keys %{ $g->{rows_of} } };
    $touch->('reach', $_->{to}{id}, $_->{from_n}) for @{ $m->{arrows} };
    return;
}

# The columns left to right, each [lane ids, in time order]. The tour's notes have the first;
# each other lane, in lane_order's order, takes the leftmost column it may: one whose lanes all
# end before it begins or begin after it ends, right of its parent's column for a child or a
# thread, and one whose lane before it has its label where there is such a column; else a new
# column at the right.
sub share_columns {
    my ($m, $g, $lanes) = @_;
    my (@columns, %column_of);
    my $reach = $g->{reach};
    for my $lane (@$lanes) {
        my $id = $lane->{id};
        my $taken;
        if ($lane->{role} ne 'tour') {
            my $from = has_parent_lane($m, $lane) ? ($column_of{ $lane->{parent} } // -1) + 1 : 0;
            my @free = grep {
                my $column = $columns[$_];
                $m->{lanes}{ $column->[0] }{role} ne 'tour'
                    && !grep { $reach->{$_}[1] >= $reach->{$id}[0] && $reach->{$_}[0] <= $reach->{$id}[1] } @$column
            } $from .. $#columns;
            ($taken) = grep { (label_before($m, $g, $columns[$_], $id) // '') eq $lane->{label} } @free;
            $taken //= $free[0];
        }
        if (defined $taken) {
            push @{ $columns[$taken] }, $id;
        } else {
            push @columns, [$id];
            $taken = $#columns;
        }
        $column_of{$id} = $taken;
    }
    @$_ = sort { $reach->{$a}[0] <=> $reach->{$b}[0] } @$_ for @columns;
    return @columns;
}

# The label of the lane of COLUMN that ends last before lane ID begins (undef for none).
sub label_before {
    my ($m, $g, $column, $id) = @_;
    my ($before) = sort { $g->{reach}{$b}[1] <=> $g->{reach}{$a}[1] } grep { $g->{reach}{$_}[1] < $g->{reach}{$id}[0] } @$column;
    return defined $before ? $m->{lanes}{$before}{label} : undef;
}

# Each column's width: as wide as its widest text asks (its own width and the room around it in
# its lane; the tour's notes, which wrap, up to TOUR_LANE_PX). Where that makes the drawing
# wider than DRAWING_MAX_PX, the widest columns are narrowed to one width, the largest that
# fits (fill), the notes' no further than TOUR_MIN_PX.
sub column_widths {
    my ($m, $g, $columns) = @_;
    my %column_of;
    for my $c (0 .. $#$columns) { $column_of{$_} = $c for @{ $columns->[$c] } }
    my @asks = (0) x @$columns;    # by column: the width its widest text asks for
    my $ask = sub { my ($id, $w) = @_; my $c = $column_of{$id}; $asks[$c] = ceil($w) if $w > $asks[$c] };
    for my $r (@{ $m->{rows} }) {
        my $v = $g->{views}[ $r->{n} ];
        $ask->($r->{lane}{id}, LIFE_INSET_PX + TEXT_INDENT_PX + GUTTER_PX + width_px($v->{text}, $v->{font}));
    }
    for my $id (grep { $m->{lanes}{$_}{role} ne 'tour' } keys %column_of) {
        $ask->($id, HEAD_INSET_PX + GUTTER_PX + width_px(chars($m->{lanes}{$id}{head}), FONT_PX));
    }
    my $room = DRAWING_MAX_PX - TIME_COLUMN_PX - MARGIN_PX;
    my $tour = $column_of{tour};
    $asks[$tour] = min($asks[$tour], TOUR_LANE_PX) if defined $tour;
    my @widths = fill($room, @asks);
    if (defined $tour && $widths[$tour] < TOUR_MIN_PX) {
        my @lanes = grep { $_ != $tour } 0 .. $#asks;
        $widths[$tour] = min($asks[$tour], TOUR_MIN_PX);
        @widths[@lanes] = fill($room - $widths[$tour], @asks[@lanes]);
    }
    return @widths;
}

# fill(ROOM, ASKS...) -> the widths: each what it asks where they all fit in ROOM; else each at
# most the largest width W with which they fit
sub fill {
    my ($room, @asks) = @_;
    my $wider = @asks;    # the asks not yet given whole, the widest ones
    for my $ask (sort { $a <=> $b } @asks) {
        last if $ask * $wider > $room;
        $room -= $ask;
        $wider--;
    }
    return @asks unless $wider;
    my $w = int($room / $wider);
    return map { min($_, $w) } @asks;
}

sub text_room { my ($g, $id) = @_; return $g->{width}{$id} - LIFE_INSET_PX - TEXT_INDENT_PX - GUTTER_PX }
sub row_mid { my ($g, $n) = @_; return $g->{top}[$n] + LINE_PX / 2 }
sub row_end { my ($g, $n) = @_; return $g->{top}[$n] + @{ $g->{lines}[$n] } * LINE_PX }

# ---- the drawing ----

sub svg_text {
    my (%a) = @_;    # class, x, y, lines (characters), title (characters), data (attributes)
    my $attrs = join '', map { sprintf ' %s="%s"', $_, esc($a{data}{$_}) } sort keys %{ $a{data} // {} };
    my $body = @{ $a{lines} } == 1 ? esc($a{lines}[0])
        : join '', map { sprintf '<tspan x="%s" y="%s">%s</tspan>', $a{x}, $a{y} + $_ * LINE_PX, esc($a{lines}[$_]) } 0 .. $#{ $a{lines} };
    my $title = defined $a{title} ? '<title>' . esc($a{title}) . '</title>' : '';
    return sprintf qq{<text class="%s"%s x="%s" y="%s">%s%s</text>\n}, $a{class}, $attrs, $a{x}, $a{y}, $title, $body;
}

# A vertical line of CLASS at X, from Y1 down to Y2.
sub down_line {
    my ($class, $x, $y1, $y2) = @_;
    return sprintf qq{<line class="%s" x1="%s" y1="%s" x2="%s" y2="%s"/>\n}, $class, $x, $y1, $x, $y2;
}

# Each lane: its head (at the top, or above its first row where it took its column from an
# earlier lane), a dotted line down to its first row, and its line from there to its last, cut
# where a wait is drawn shortened. Its group's data: the lane, its process, its column (left and
# width) and the rows it holds the column for.
sub draw_lanes {
    my ($m, $g) = @_;
    my $out = '';
    for my $id (@{ $g->{lanes} }) {
        my $lane = $m->{lanes}{$id};
        my $rows = join ' ', @{ $g->{reach}{$id} // [] };
        if ($lane->{role} eq 'tour') {    # no head, no line: only its bounds
            $out .= sprintf qq{<g class="lane" data-lane="tour" data-label="" data-role="tour" data-parent="" data-pid="" data-left="%s" data-width="%s" data-rows="%s"></g>\n},
                $g->{left}{$id}, $g->{width}{$id}, $rows;
            next;
        }
        my ($first, $last) = @{ $g->{rows_of}{$id} };
        my $life = $g->{life}{$id};
        my $head = chars($lane->{head});
        my $shown = fit($head, $g->{width}{$id} - HEAD_INSET_PX - GUTTER_PX, FONT_PX);
        my $at = $g->{head_at}{$id};
        my ($head_y, $pre_y) = defined $at ? ($g->{head_top}[$at] + BASELINE_PX, $g->{head_top}[$at] + LINE_PX)
            : (TOP_PX - HEAD_ABOVE_PX, TOP_PX - PRE_ABOVE_PX);
        my $begins = row_mid($g, $first) - OVERHANG_PX;
        $out .= sprintf qq{<g class="lane" data-lane="%s" data-label="%s" data-role="%s" data-parent="%s" data-pid="%s" data-left="%s" data-width="%s" data-rows="%s">\n},
            esc(chars($id)), esc(chars($lane->{label})), $lane->{role}, esc($lane->{parent} // ''), $lane->{pid} // '', $g->{left}{$id}, $g->{width}{$id}, $rows;
        $out .= svg_text(class => 'head', x => $g->{left}{$id} + HEAD_INSET_PX, y => $head_y, lines => [$shown], title => $shown eq $head ? undef : $head);
        $out .= down_line('pre', $life, $pre_y, $begins) if $begins > $pre_y;
        my ($y, $ends) = ($begins, row_end($g, $last));
        for my $gap (grep { $_->{y} > $begins && $_->{y} < $ends } @{ $g->{gaps} }) {
            $out .= down_line('life', $life, $y, $gap->{y}) . down_line('life waits', $life, $gap->{y}, $gap->{y} + GAP_PX);
            $y = $gap->{y} + GAP_PX;
        }
        $out .= down_line('life', $life, $y, $ends);
        $out .= "</g>\n";
    }
    return $out;
}

# A wait drawn shortened: a shaded strip across the lanes, its length written at its left.
sub draw_gaps {
    my ($m, $g) = @_;
    my $out = '';
    for my $gap (@{ $g->{gaps} }) {
        my $title = sprintf '%.2f s pass before the next row; the drawing shortens the wait', $gap->{seconds};
        $out .= sprintf qq{<g class="gap"><rect x="%s" y="%s" width="%s" height="%s"/></g>\n},
            TIME_COLUMN_PX, $gap->{y}, $g->{page_width} - MARGIN_PX - TIME_COLUMN_PX, GAP_PX;
        $out .= svg_text(class => 'gap', x => TIME_GAP_PX, y => $gap->{y} + BASELINE_PX, lines => [sprintf '⋯ %.1f s pass ⋯', $gap->{seconds}], title => $title);
    }
    return $out;
}

sub draw_bands {
    my ($m, $g) = @_;
    my $out = '';
    for my $b (@{ $m->{bands} }) {
        my ($top, $end) = ($g->{top}[ $b->{title}{n} ], row_end($g, $b->{last}{n}));
        $out .= sprintf qq{<g class="band"><rect x="%s" y="%s" width="%s" height="%s"/></g>\n},
            TIME_COLUMN_PX, $top, $g->{page_width} - MARGIN_PX - TIME_COLUMN_PX, $end - $top;
    }
    return $out;
}

# A span is a bar over its lane's line, from its first row's middle to its last's; a span nested
# in another of the lane stands left of it, in the room between the lane's edge and its line.
sub draw_spans {
    my ($m, $g) = @_;
    my $out = '';
    for my $s (@{ $m->{spans} }) {
        my $x = $g->{life}{ $s->{lane}{id} } - SPAN_PX / 2 - min($s->{depth}, 1) * (SPAN_PX + SPAN_GAP_PX);
        my ($top, $end) = (row_mid($g, $s->{first}{n}), row_mid($g, $s->{last}{n}));
        $out .= sprintf qq{<g class="span" data-lane="%s" data-title="%s"><rect x="%s" y="%s" width="%s" height="%s"><title>%s</title></rect></g>\n},
            esc(chars($s->{lane}{id})), esc(chars($s->{title})), $x, $top, SPAN_PX, $end - $top, esc(chars($s->{title}));
    }
    return $out;
}

# An arrow leaves its first row along its lane's line, crosses in the gap below that row, and
# reaches the other lane's line there (a fork, a new thread: the lane begins at that row), or
# comes down just left of that line to the row that took what it carried.
sub arrow_path {
    my ($g, $a) = @_;
    my ($x1, $y1, $gap) = ($g->{life}{ $a->{from}{id} }, row_mid($g, $a->{from_n}), row_end($g, $a->{from_n}));
    my $x2 = $g->{life}{ $a->{to}{id} };
    return "M$x1,$y1 V$gap H$x2" if $a->{to_n} == $a->{from_n};
    return sprintf 'M%s,%s V%s H%s V%s', $x1, $y1, $gap, $x2 - ARROW_OFFSET_PX, row_mid($g, $a->{to_n});
}

sub draw_arrows {
    my ($m, $g) = @_;
    my $out = '';
    for my $a (@{ $m->{arrows} }) {
        $out .= sprintf qq{<path class="arrow %s" data-kind="%s" data-from="%s" data-to="%s" data-from-label="%s" data-to-label="%s" data-what="%s" d="%s" marker-end="url(#ah-%s)"><title>%s</title></path>\n},
            $a->{kind}, $a->{kind}, esc(chars($a->{from}{id})), esc(chars($a->{to}{id})), esc(chars(lane_label($m, $a->{from}))), esc(chars(lane_label($m, $a->{to}))),
            esc($a->{what}), arrow_path($g, $a), $a->{kind}, esc("$a->{kind}: $a->{what}");
    }
    return $out;
}

sub lane_label {
    my ($m, $lane) = @_;
    return $lane->{role} eq 'tour' ? 'tour' : $lane->{label};
}

sub draw_rows {
    my ($m, $g) = @_;
    my ($out, $last_time) = ('', '');
    for my $r (@{ $m->{rows} }) {
        my $n = $r->{n};
        my $y = $g->{top}[$n] + BASELINE_PX;
        my $time = sprintf '%.2fs', $r->{t};
        $out .= svg_text(class => 'time', x => TIME_COLUMN_PX - TIME_GAP_PX, y => $y, lines => [$time]) if $time ne $last_time && $r->{kind} ne 'band';
        $last_time = $time;
        my $v = $g->{views}[$n];
        my $lines = $g->{lines}[$n];
        my $whole = join(' ', @$lines) eq $v->{text};
        $out .= svg_text(class => "row $v->{class}", x => $g->{life}{ $r->{lane}{id} } + TEXT_INDENT_PX, y => $y, lines => $lines,
            title => $whole ? undef : $v->{text}, data => { 'data-kind' => $r->{kind}, 'data-lane' => chars($r->{lane}{id}), 'data-row' => $n });
    }
    return $out;
}

sub kind_styles {
    return join '', map { "svg .arrow.$_ { stroke: var(--$_); } svg marker#ah-$_ path { fill: var(--$_); }\n" } @KINDS;
}

# page(MODEL, NAME, SUMMARY) -> the page's HTML (UTF-8 bytes; NAME and SUMMARY are too)
sub page {
    my ($m, $name, $summary) = @_;
    my $g = layout($m);
    my $drawing = draw_bands($m, $g) . draw_gaps($m, $g) . draw_lanes($m, $g) . draw_spans($m, $g) . draw_arrows($m, $g) . draw_rows($m, $g);
    my ($width, $height) = @$g{qw(page_width page_height)};
    my $markers = join '', map {
        qq{<marker id="ah-$_" viewBox="0 0 10 10" refX="10" refY="5" markerWidth="7" markerHeight="7" orient="auto-start-reverse"><path d="M0,0 L10,5 L0,10 z"/></marker>}
    } @KINDS;
    my %used = map { $_->{kind} => 1 } @{ $m->{arrows} };
    my $legend = join '', map {
        qq{<span><svg width="28" height="10"><path class="arrow $_" d="M2,5 L24,5" marker-end="url(#ah-$_)"/></svg> $KIND_TEXT{$_}</span>}
    } grep { $used{$_} } @KINDS;
    my ($h, $s, $trace, $styles, $gap) = (esc(chars($name)), esc(chars($summary)), esc(chars(trace_text($m))), kind_styles(), GAP_S);
    return encode('UTF-8', <<"HTML");
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="color-scheme" content="light dark">
<title>tour: $h</title>
<style>
$STYLE$styles</style></head>
<body>
<p><a href="index.html">all scenarios</a></p>
<h1>$h</h1>
<p>$s</p>
<p class="legend">Time runs down, one row per event; lanes are processes, threads and children
sit right of their parent; a lane whose process has ended may go on with a later one, under its
name. A wait of $gap s or more is drawn shortened, with its length. Lines: <b>|</b> standard
output, <b>!</b> standard error, <b>&lt;</b> typed input, <b>⚙</b> a system call or signal, in
italics the tour's notes. A text cut short with … shows the whole of it in its tooltip and in the
text below.<br>
$legend</p>
<svg xmlns="http://www.w3.org/2000/svg" class="diagram" width="$width" height="$height" viewBox="0 0 $width $height" role="img" aria-label="$h: processes and what passes between them">
<defs>$markers</defs>
$drawing</svg>
<details><summary>the same as text (tour/tour --trace $h)</summary>
<pre class="trace">$trace</pre></details>
</body></html>
HTML
}

# index_page([[NAME, SUMMARY]...]) -> the index of the pages (UTF-8 bytes, as its input)
sub index_page {
    my ($items) = @_;
    my $list = join '', map { sprintf qq{<li><a href="%s.html">%s</a>: %s</li>\n}, map { esc(chars($_)) } $_->[0], $_->[0], $_->[1] // '' } @$items;
    return encode('UTF-8', <<"HTML");
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="color-scheme" content="light dark">
<title>tour: every scenario</title>
<style>
:root { color-scheme: light dark; }
body { font: 15px/1.5 system-ui, sans-serif; margin: 1.5em; max-width: 60em; }
\@media (prefers-color-scheme: dark) { body { background: #1c1c1e; color: #e5e5ea; } a { color: #6fa8ff; } }
</style></head>
<body>
<h1>The tour, as pictures</h1>
<p>Each page shows one scenario: a lane per process (threads and forked children beside their
parent), every line it printed at its time, and arrows for what passed between them.</p>
<ul>
$list</ul>
</body></html>
HTML
}

1;
