#!/usr/bin/env perl
# Turns one traced play of a tour scenario into text or into a page.
#   trace.pl text NAME SUMMARY LOG STRACE T0 ROOT   the tour's lines with the system calls
#                                                   merged in under the process that made them
#   trace.pl html NAME SUMMARY LOG STRACE T0 ROOT   a self-contained page: one lane per process,
#                                                   arrows for what passes between them
#   trace.pl index < lines "NAME<tab>SUMMARY"       the index of the pages
# LOG is the tour's output, each line stamped "SECONDS " (since T0, in ns since the epoch) when
# it came; STRACE is strace -f -ttt -T output for the whole play. A process is shown from the
# moment it runs a program built under ROOT/build (not the tour's own tools): the shell, the
# tour's helpers and system tools stay out of the picture.
use strict;
use warnings;

my $mode = shift // '';
if ($mode eq 'index') { print_index(); exit 0 }
die "usage: trace.pl text|html NAME SUMMARY LOG STRACE T0 ROOT\n" unless @ARGV == 6;
my ($name, $summary, $log_file, $strace_file, $t0_ns, $root) = @ARGV;
my $t0 = $t0_ns / 1e9;
use constant STRING_SHOWN => 32;    # longer strings in a call are cut to this many characters

# A kernel scenario's guest shows the kernel log: each module's lines get a lane of their own.
# pilefeed prints "in write" after each node it replaces; between its first and second one it
# holds the copy of (30,300) half-updated (the window), and reader lines then fall inside it.
my ($feed_writes, $last_module) = (0);
sub kernel_line {
    my $row = shift;
    my ($text) = $row->{text} =~ /^\s+<\d>(?:\[\s*[\d.]+\]\s*)?(.*)$/ or return;
    my $module = $text =~ /\b(?:init|cleanup)_(pile\w+)|^(pile\w+): / ? $1 // $2
        : $text =~ /\b(?:in|out) write\b/ ? 'pilefeed'
        : $text =~ /reader 1|data items in stack/ ? 'pilepeek1'
        : $text =~ /reader2|POPED/ ? 'pilepeek2'
        : $text eq '' ? $last_module    # the blank line that a message began with
        : undef;
    return unless defined $module;
    $last_module = $module;
    $row->{lane} = "module:$module";
    $row->{text} =~ s/^\s+//;
    $feed_writes = 0 if $text =~ /init_pilefeed/;
    if ($text =~ /\bin write\b/) {
        $feed_writes++;
        $row->{window} = $feed_writes == 1 ? 'open' : $feed_writes == 2 ? 'close' : undef;
    } elsif ($feed_writes == 1 && $module =~ /^pilepeek/ && $text =~ /reader/) {
        $row->{window} = 'inside';
    }
}

# ---- the tour's lines ----
my (@rows, %label_of, %current_pid, %early);
open my $log, '<', $log_file or die "trace.pl: $log_file: $!\n";
while (my $line = <$log>) {
    chomp $line;
    my ($t, $raw) = $line =~ /^(\S+) (.*)$/ or next;
    my %row = (t => $t, raw => $raw);
    if ($raw =~ /^\s*\d+\.\d+s  (\S+) +([|!<\$=])(…)? ?(.*)$/) {
        my ($label, $mark, $text) = ($1, $2, $4);
        @row{qw(kind label mark text)} = ('line', $label, $mark, $text);
        if ($mark eq '$' && $text =~ /\(pid (\d+)\)$/) {
            my $pid = $1;
            $current_pid{$label} = $pid;
            $label_of{$pid} = $label;
            # what came before its command line (its typed input, say) is its own too
            for my $early (@{ delete $early{$label} // [] }) {
                $early->{lane} = $pid;
                $row{t} = $early->{t} - 1e-6 if $early->{t} <= $row{t};
            }
        }
        $row{lane} = $current_pid{$label} // "label:$label";
        push @{ $early{$label} }, \%row unless defined $current_pid{$label};
        kernel_line(\%row) if $label eq 'guest';
        delete $current_pid{$label} if $mark eq '=';
    } elsif ($raw =~ /^\s+⚡ kill -(\w+) (\d+)/) {
        @row{qw(kind sig target text lane)} = ('kill', "SIG$1", $2, trim($raw), 'tour');
    } else {
        @row{qw(kind text lane)} = ('note', trim($raw), 'tour');
    }
    push @rows, \%row;
}
close $log;

# ---- strace's records ----
my (@calls, %pending);
open my $st, '<', $strace_file or die "trace.pl: $strace_file: $!\n";
while (my $line = <$st>) {
    chomp $line;
    my ($pid, $ts, $rest) = $line =~ /^(\d+)\s+(\d+\.\d+)\s+(.*)$/ or next;
    $ts -= $t0;
    my %c = (pid => $pid, ts => $ts, t => $ts);
    if ($rest =~ /^(\w+)\((.*?) ?<unfinished \.\.\.>$/) {
        $pending{$pid} = {ts => $ts, call => $1, args => $2};
        next;
    } elsif ($rest =~ /^<\.\.\. (\w+) resumed>(.*)\) += (.*?)(?: <[\d.]+>)?$/) {
        my $p = delete $pending{$pid} or next;
        @c{qw(type call args ret ts t)} = ('call', $1, $p->{args} . $2, $3, $p->{ts}, $ts);
    } elsif ($rest =~ /^(\w+)\((.*)\) += (.*?)(?: <([\d.]+)>)?$/) {
        @c{qw(type call args ret)} = ('call', $1, $2, $3);
        $c{t} = $ts + ($4 // 0);
    } elsif ($rest =~ /^(\w+)\((.*)\) += \?$/) {
        @c{qw(type call args ret)} = ('call', $1, $2, '?');
    } elsif ($rest =~ /^--- (SIG\w+) (.*) ---$/) {
        @c{qw(type sig info)} = ('signal', $1, $2);
        $c{text} = $rest;
    } elsif ($rest =~ /^\+\+\+ (.*) \+\+\+$/) {
        @c{qw(type text)} = ('exit', $rest);
        $c{status} = $1;
    } else {
        next;
    }
    push @calls, \%c;
}
close $st;
@calls = sort { $a->{ts} <=> $b->{ts} } @calls;

# ---- who is who: parents, threads, programs, descriptors ----
my (%parent, %is_thread, %tgid, %spawned_at, %execs, %fds);
sub tgid_of { $tgid{ $_[0] } // $_[0] }
sub exe_at {
    my ($pid, $t) = @_;
    my $exe;
    for my $e (@{ $execs{$pid} // [] }) { $exe = $e->[1] if $e->[0] <= $t }
    return $exe if defined $exe;
    return exists $parent{$pid} ? exe_at($parent{$pid}, $spawned_at{$pid}) : '';
}
sub owner {    # the labelled process a pid descends from
    my $pid = shift;
    for (my $p = $pid, my $n = 0; defined $p && $n < 64; $p = $parent{$p}, $n++) {
        return $p if exists $label_of{$p};
    }
    return undef;
}
sub is_program { my $e = shift; index($e, "$root/build/") == 0 && $e !~ m{/tools/} }
sub interesting_path {
    my $path = shift;
    return 1 if $path !~ m{^/} || index($path, $root) == 0;
    return 0 if $path =~ m{^/(usr/)?lib|^/etc/|^/proc/|^/sys/|\.so(\.\d+)*$};
    return 1;
}
sub arg { my ($c, $i) = @_; (split /, /, $c->{args})[$i] // '' }

for my $c (@calls) {
    next unless $c->{type} eq 'call';
    my ($pid, $call, $ret) = @$c{qw(pid call ret)};
    if ($call =~ /^(clone3?|v?fork)$/ && $ret =~ /^(\d+)/) {
        my $n = $1;
        $parent{$n}     = $pid;
        $spawned_at{$n} = $c->{ts};
        $is_thread{$n}  = $c->{args} =~ /CLONE_THREAD/ ? 1 : 0;
        if ($is_thread{$n}) { $tgid{$n} = tgid_of($pid) }
        else { $fds{$n} = { %{ $fds{ tgid_of($pid) } // {} } } }
        $c->{child} = $n;
    } elsif ($call eq 'execve' && $ret eq '0' && $c->{args} =~ /^"([^"]*)"/) {
        push @{ $execs{$pid} }, [$c->{ts}, $1];
        $fds{ tgid_of($pid) } = {};    # what the tour's own tools had open is not the program's
    } elsif ($call =~ /^accept4?$/ && $ret =~ /^(\d+)/) {
        $fds{ tgid_of($pid) }{$1} = 'socket';
    } elsif ($call eq 'connect' && $ret =~ /^(0|-1 EINPROGRESS)/) {
        $fds{ tgid_of($pid) }{ arg($c, 0) } = 'socket';
    } elsif ($call eq 'openat' && $ret =~ /^(\d+)/) {
        my $fd = $1;
        my ($path) = $c->{args} =~ /"([^"]*)"/;
        if (defined $path && interesting_path($path)) { $fds{ tgid_of($pid) }{$fd} = 'file' }
        else { delete $fds{ tgid_of($pid) }{$fd} }    # a number used again
    }
    $c->{fdkind} = $fds{ tgid_of($pid) }{ arg($c, 0) } if $call =~ /^(read|write|lseek|sendto|recvfrom)$/;
    $c->{fdkind} = $fds{ tgid_of($pid) }{ arg($c, 4) } if $call eq 'mmap';
}

sub shown {
    my $c   = shift;
    my $own = owner($c->{pid});
    return 0 unless defined $own && is_program(exe_at($c->{pid}, $c->{ts}));
    return 0 if $c->{type} eq 'exit' && $c->{pid} == $own;
    return 1 unless $c->{type} eq 'call';
    my $call = $c->{call};
    return 0 if $call eq 'execve';
    return defined $c->{fdkind} || $c->{ret} =~ /EBADF/ if $call =~ /^(read|write|lseek|mmap)$/;
    return 1 if $call =~ /^(sendto|recvfrom)$/;
    if ($call eq 'openat') {
        my ($path) = $c->{args} =~ /"([^"]*)"/;
        return defined $path && interesting_path($path);
    }
    return 1;
}

# Long strings are cut; an IPv4 address reads as ADDRESS:PORT.
sub short_call {
    my $s = shift;
    my $n = STRING_SHOWN;
    $s =~ s/\{sa_family=AF_INET, sin_port=htons\((\d+)\), sin_addr=inet_addr\("([\d.]+)"\)\}/{$2:$1}/g;
    $s =~ s{"((?:[^"\\]|\\.)*)"(\.\.\.)?}{
        my ($body, $more) = ($1, $2 // '');
        $body =~ s{^\Q$root\E/}{…/};    # a path of ours: from the project's folder on
        $body =~ /^((?:[^"\\]|\\.){$n})./ && $body !~ m{^…?/} ? "\"$1\"…" : "\"$body\"$more"
    }ge;
    return $s;
}

for my $c (@calls) {
    next unless shown($c);
    my $pid = $c->{pid};
    my $own = owner($pid);
    my $text = $c->{type} ne 'call' ? $c->{text}
        : defined $c->{child} ? "$c->{call}(…) = $c->{ret}   (a new " . ($is_thread{ $c->{child} } ? 'thread' : 'process') . ')'
        : short_call("$c->{call}($c->{args}) = $c->{ret}");
    # What a call hands on takes effect after it began; what it takes, when it returns.
    my $sends = $c->{type} eq 'call' && $c->{call} =~ /^(sendto|write|mq_timedsend|msgsnd|kill|clone3?|v?fork)$/;
    push @rows, {
        t => $sends ? $c->{ts} : $c->{t}, kind => 'call', lane => $pid, label => $label_of{$own}, text => $text,
        who => $pid == $own ? '' : ($is_thread{$pid} ? "thread $pid" : "child $pid"), c => $c,
    };
}
# A program's command line comes before anything it did (tour-pty shows it once the program runs).
my %first;
for my $r (@rows) {
    next unless $r->{kind} eq 'call';
    my $own = owner($r->{lane});
    $first{$own} = $r->{t} if !defined $first{$own} || $r->{t} < $first{$own};
}
for my $r (@rows) {
    next unless $r->{kind} eq 'line' && $r->{mark} eq '$' && defined $first{ $r->{lane} };
    $r->{t} = $first{ $r->{lane} } - 1e-6 if $first{ $r->{lane} } < $r->{t};
}
# The tour's lines come in order; each call goes in at its time.
my $i = 0;
$_->{seq} = $i++ for @rows;
@rows = sort { $a->{t} <=> $b->{t} || $a->{seq} <=> $b->{seq} } @rows;

if ($mode eq 'text') { print_text() }
elsif ($mode eq 'html') { print_html() }
else { die "trace.pl: unknown mode '$mode'\n" }
exit 0;

sub trim { my $s = shift; $s =~ s/^\s+|\s+$//g; $s }

sub print_text { print trace_text() }

sub trace_text {
    my $s = '';
    for my $r (@rows) {
        if ($r->{kind} ne 'call') { $s .= "$r->{raw}\n"; next }
        $s .= sprintf "%7.2fs  %-8s ⚙ %s%s\n", $r->{t}, $r->{label}, $r->{who} ? "[$r->{who}] " : '',
            $r->{text};
    }
    return $s;
}

# ---- the page ----
sub esc { my $s = shift // ''; $s =~ s/&/&amp;/g; $s =~ s/</&lt;/g; $s =~ s/>/&gt;/g; $s =~ s/"/&quot;/g; $s }

my ($STYLE, @KINDS, %KIND_TEXT);
BEGIN {
@KINDS = qw(datagram stream message notify signal fork thread exit);
%KIND_TEXT = (datagram => 'datagram (sendto → recvfrom)', stream => 'bytes on a connection (write → read)',
    message => 'queue message (send → receive)', notify => 'notification (to the handler or thread)',
    signal => 'signal (kill → handler)', fork => 'fork (parent → child)',
    thread => 'new thread', exit => 'exit status (to the parent that collected it)');


    $STYLE = <<'CSS';
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
svg text { font: 12px ui-monospace, "DejaVu Sans Mono", monospace; fill: var(--fg);
  paint-order: stroke; stroke: var(--bg); stroke-width: 3px; white-space: pre; }
svg .time { fill: var(--dim); text-anchor: end; }
svg .head { font-weight: bold; }
svg .note text, svg text.note { fill: var(--note); font-style: italic; }
svg text.err { fill: var(--err); }
svg text.in { fill: var(--in); }
svg text.call { fill: var(--call); font-size: 11px; }
svg .life { stroke: var(--line); stroke-width: 2; }
svg .pre { stroke: var(--line); stroke-dasharray: 2 4; }
svg .arrow { fill: none; stroke-width: 1.6; }
svg .window rect { fill: var(--note); fill-opacity: 0.12; }
svg .window text { fill: var(--note); font-weight: bold; }
svg text.inside { fill: var(--signal); font-weight: bold; }
.legend span { margin-right: 1.2em; white-space: nowrap; }
CSS
}
sub kind_styles {
    join '', map {
        "svg .arrow.$_ { stroke: var(--$_); } svg marker#ah-$_ path { fill: var(--$_); }\n"
    } @KINDS;
}

sub print_html {
    # Lanes: the processes in the order they first show, each child or thread right after its
    # parent.
    my (%lane_rows, @order, %kids);
    for my $n (0 .. $#rows) {
        my $lane = $rows[$n]{lane};
        $rows[$n]{n} = $n;
        push @order, $lane unless $lane_rows{$lane};
        push @{ $lane_rows{$lane} }, $n;
    }
    # a child seen only through its fork still gets its lane, from that row on
    for my $r (@rows) {
        my $c = $r->{c} or next;
        next unless defined $c->{child} && defined owner($c->{child});
        my $n = $c->{child};
        unless ($lane_rows{$n}) { push @order, $n; $lane_rows{$n} = [] }
        unshift @{ $lane_rows{$n} }, $r->{n};
    }
    my %placed;
    my @lanes;
    my $place;
    $place = sub {
        my $l = shift;
        return if $placed{$l}++;
        push @lanes, $l;
        $place->($_) for grep { ($parent{$_} // '') eq $l } @order;
    };
    $place->('tour') if $lane_rows{'tour'};
    for my $l (@order) {
        next if $l ne 'tour' && exists $parent{$l} && $lane_rows{ $parent{$l} };
        $place->($l);
    }
    $place->($_) for @order;

    my $arrows = find_arrows(\%lane_rows);

    my ($G, $TW, $W, $H, $TOP) = (64, 28, 170, 18, 64);
    my %x;
    for my $k (0 .. $#lanes) {
        $x{ $lanes[$k] } = $lanes[$k] eq 'tour' ? $G + 10 : $G + $TW + ($k - ($lanes[0] eq 'tour' ? 1 : 0)) * $W + 12;
    }
    my $y = sub { $TOP + $_[0] * $H + $H / 2 };
    my $width = $G + $TW + @lanes * $W + 40;
    for my $r (@rows) {
        my $end = $x{ $r->{lane} } + 8 + 7.3 * length(decode_len($r));
        $width = $end + 20 if $end + 20 > $width;
    }
    my $height = $TOP + @rows * $H + 20;

    my $out = '';
    # lane heads and lifelines
    for my $l (@lanes) {
        next if $l eq 'tour';
        my @n = sort { $a <=> $b } (@{ $lane_rows{$l} }, map { @$_{qw(r1 r2)} } grep { $_->{a} eq $l || $_->{b} eq $l } @$arrows);
        my ($first, $last) = ($n[0], $n[-1]);
        my $own = owner($l);
        my ($role, $head, $label);
        if ($l =~ /^label:(.*)/) { ($role, $head, $label) = ('main', $1, $1) }
        elsif ($l =~ /^module:(.*)/) { ($role, $head, $label) = ('module', "$1 (kernel log)", $1) }
        elsif (defined $own && $own == $l) { ($role, $head, $label) = ('main', "$label_of{$l} ($l)", $label_of{$l}) }
        else {
            $label = defined $own ? $label_of{$own} : '';
            $role = $is_thread{$l} ? 'thread' : 'child';
            $head = "$role $l of $label";
        }
        my $lx = $x{$l};
        $out .= sprintf qq{<g class="lane" data-lane="%s" data-label="%s" data-role="%s" data-parent="%s">\n},
            esc($l), esc($label), $role, $role eq 'main' ? '' : esc($parent{$l});
        $out .= sprintf qq{<text class="head" x="%d" y="%d">%s</text>\n}, $lx - 6, $TOP - 24, esc($head);
        $out .= sprintf qq{<line class="pre" x1="%d" y1="%d" x2="%d" y2="%d"/>\n}, $lx, $TOP - 16, $lx, $y->($first);
        $out .= sprintf qq{<line class="life" x1="%d" y1="%d" x2="%d" y2="%d"/>\n}, $lx, $y->($first) - 5, $lx, $y->($last) + 5;
        $out .= "</g>\n";
    }
    # pilefeed's window: a band from the node it replaced first to the next one
    my ($open) = grep { ($_->{window} // '') eq 'open' } @rows;
    my ($close) = grep { ($_->{window} // '') eq 'close' } @rows;
    if ($open && $close) {
        $out .= sprintf qq{<g class="window"><rect x="%d" y="%d" width="%d" height="%d"/><text x="%d" y="%d">pilefeed's window: the copy of (30,300) is half-updated and unpublished</text></g>\n},
            $G, $y->($open->{n}), $width - $G, $y->($close->{n}) - $y->($open->{n}), $G + 4, $y->($open->{n}) + 14;
    }
    # arrows under the text
    for my $a (@$arrows) {
        my ($x1, $y1, $x2, $y2) = ($x{ $a->{a} }, $y->($a->{r1}), $x{ $a->{b} }, $y->($a->{r2}));
        my $path = $y1 == $y2 ? "M$x1,$y1 L$x2,$y2"
            : sprintf('M%d,%d C%d,%d %d,%d %d,%d', $x1, $y1, ($x1 + $x2) / 2, $y1, ($x1 + $x2) / 2, $y2, $x2, $y2);
        $out .= sprintf qq{<path class="arrow %s" data-kind="%s" data-from="%s" data-to="%s" data-from-label="%s" data-to-label="%s" data-what="%s" d="%s" marker-end="url(#ah-%s)"><title>%s</title></path>\n},
            $a->{kind}, $a->{kind}, esc($a->{a}), esc($a->{b}), esc(lane_label($a->{a})), esc(lane_label($a->{b})),
            esc($a->{what}), $path, $a->{kind}, esc("$a->{kind}: $a->{what}");
    }
    # the rows
    my $last_time = '';
    for my $r (@rows) {
        my $yy = $y->($r->{n}) + 4;
        my $time = sprintf '%.2fs', $r->{t};
        $out .= sprintf qq{<text class="time" x="%d" y="%d">%s</text>\n}, $G - 4, $yy, $time if $time ne $last_time;
        $last_time = $time;
        my ($class, $text) = row_text($r);
        my $inside = ($r->{window} // '') eq 'inside';
        $out .= sprintf qq{<text class="row %s%s" data-kind="%s" data-lane="%s" x="%d" y="%d">%s</text>\n},
            $class, $inside ? ' inside' : '', $r->{kind}, esc($r->{lane}), $x{ $r->{lane} } + 8, $yy,
            esc($inside ? "◆ $text   (read inside the window)" : $text);
    }

    my $markers = join '', map {
        qq{<marker id="ah-$_" viewBox="0 0 10 10" refX="10" refY="5" markerWidth="7" markerHeight="7" orient="auto-start-reverse"><path d="M0,0 L10,5 L0,10 z"/></marker>}
    } @KINDS;
    my %used = map { $_->{kind} => 1 } @$arrows;
    my $legend = join '', map {
        qq{<span><svg width="28" height="10"><path class="arrow $_" d="M2,5 L24,5" marker-end="url(#ah-$_)"/></svg> $KIND_TEXT{$_}</span>}
    } grep { $used{$_} } @KINDS;
    my $trace = trace_text();
    my ($h, $s) = (esc($name), esc($summary));
    print <<"HTML";
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="color-scheme" content="light dark">
<title>tour: $h</title>
<style>
$STYLE${\ kind_styles()}</style></head>
<body>
<p><a href="index.html">all scenarios</a></p>
<h1>$h</h1>
<p>$s</p>
<p class="legend">Time runs down, one row per event; lanes are processes, threads and children
sit right of their parent. Lines: <b>|</b> standard output, <b>!</b> standard error,
<b>&lt;</b> typed input, <b>⚙</b> a system call or signal, in italics the tour's notes.<br>
$legend</p>
<svg xmlns="http://www.w3.org/2000/svg" class="diagram" width="$width" height="$height" viewBox="0 0 $width $height" role="img" aria-label="$h: processes and what passes between them">
<defs>$markers</defs>
$out</svg>
<details><summary>the same as text (tour/tour --trace $h)</summary>
<pre class="trace">${\ esc($trace)}</pre></details>
</body></html>
HTML
}

sub decode_len {
    my $r = shift;
    my ($class, $text) = row_text($r);
    my $s = $text;
    utf8::decode($s);
    return $s;
}

sub row_text {
    my $r = shift;
    return ('note', $r->{text}) if $r->{kind} eq 'note' || $r->{kind} eq 'kill';
    return ('call', '⚙ ' . $r->{text}) if $r->{kind} eq 'call';
    my %class = ('|' => 'out', '!' => 'err', '<' => 'in', '$' => 'cmd', '=' => 'status');
    (my $cmd = $r->{text}) =~ s{\Q$root\E/build/native/(bin|lib)/}{}g;
    my $text = $r->{mark} eq '<' ? "< $r->{text}" : $r->{mark} eq q{$} ? "\$ $cmd"
        : $r->{mark} eq '=' ? "= $r->{text}" : $r->{mark} eq '!' ? "! $r->{text}" : $r->{text};
    return ($class{ $r->{mark} }, $text);
}

sub lane_label {
    my $l = shift;
    return 'tour' if $l eq 'tour';
    my $own = owner($l);
    return defined $own ? $label_of{$own} : $l;
}

# Arrows: each send is taken by the first receive of the same size (or message type) in
# another process; a signal goes from the kill (or the tour's kill line) to its delivery.
sub find_arrows {
    my $lane_rows = shift;
    my (@arrows, %queue, @kills, @sends_mq, %notified);
    my $arrow = sub {
        my ($kind, $from, $to, $what) = @_;
        push @arrows, { kind => $kind, a => $from->{lane}, b => $to->{lane}, r1 => $from->{n}, r2 => $to->{n}, what => $what };
    };
    my $take = sub {    # the first waiting send of this key from another process
        my ($list, $key, $r) = @_;
        my $q = $queue{$list} //= [];
        for my $k (0 .. $#$q) {
            next unless $q->[$k][0] eq $key && tgid_of($q->[$k][1]{c}{pid}) != tgid_of($r->{c}{pid});
            return (splice @$q, $k, 1)[0][1];
        }
        return undef;
    };
    for my $r (@rows) {
        if ($r->{kind} eq 'kill') { push @kills, $r; next }
        my $c = $r->{c} or next;
        my ($call, $ret) = @$c{qw(call ret)};
        $ret //= '';
        if ($c->{type} eq 'signal') {
            my ($code) = $c->{info} =~ /si_code=(\w+)/;
            my ($from) = $c->{info} =~ /si_pid=(\d+)/;
            $code //= '';
            if ($code eq 'SI_MESGQ') {
                my ($s) = grep { tgid_of($_->{c}{pid}) == ($from // -1) } reverse @sends_mq;
                if ($s) { $arrow->('notify', $s, $r, "$c->{sig} for a message on an empty queue") }
            } elsif ($code =~ /^SI_(USER|TKILL|QUEUE)$/) {
                my ($k) = grep {
                    !$_->{used} && $_->{sig} eq $c->{sig}
                        && ($_->{target} == tgid_of($c->{pid}) || $_->{target} == $c->{pid})
                        && ($_->{kind} eq 'kill' || tgid_of($_->{c}{pid}) == ($from // -1))
                } @kills;
                if ($k) { $k->{used} = 1; $arrow->('signal', $k, $r, $c->{sig}) }
            }
            next;
        }
        next unless $c->{type} eq 'call';
        my $on_stream = ($c->{fdkind} // '') eq 'socket';
        if ($call eq 'sendto' && !$on_stream && $ret =~ /^\d+$/) { push @{ $queue{dgram} }, [$ret, $r] }
        elsif ($call eq 'recvfrom' && !$on_stream && $ret =~ /^\d+$/) {
            my $s = $take->('dgram', $ret, $r);
            $arrow->('datagram', $s, $r, "$ret bytes") if $s;
        } elsif ($call =~ /^(write|sendto)$/ && $on_stream && $ret =~ /^\d+$/ && $ret > 0) {
            push @{ $queue{stream} }, [$ret, $r];
        } elsif ($call =~ /^(read|recvfrom)$/ && $on_stream && $ret =~ /^\d+$/ && $ret > 0) {
            my $s = $take->('stream', $ret, $r);
            $arrow->('stream', $s, $r, "$ret bytes") if $s;
        } elsif ($call =~ /^mq_timedsend$/ && $ret eq '0') {
            my $len = arg($c, 2);
            push @{ $queue{mq} }, [$len, $r];
            push @sends_mq, $r;
        } elsif ($call eq 'mq_timedreceive' && $ret =~ /^\d+$/) {
            my $s = $take->('mq', $ret, $r);
            $arrow->('message', $s, $r, "$ret bytes") if $s;
        } elsif ($call eq 'msgsnd' && $ret eq '0' && $c->{args} =~ /^\S+, \{(?:mtype=)?(\d+),/) {
            push @{ $queue{sysv} }, [$1, $r];
        } elsif ($call eq 'msgrcv' && $ret =~ /^\d+$/ && $c->{args} =~ /^\S+, \{(?:mtype=)?(\d+),/) {
            my $type = $1;
            my $s = $take->('sysv', $type, $r);
            $arrow->('message', $s, $r, "type $type, $ret bytes") if $s;
        } elsif ($call eq 'wait4' && $ret =~ /^(\d+)$/ && $lane_rows->{$1}) {
            # from the child's end (or its lane, where it ran no program of ours) to the wait4
            my $kid = $1;
            my ($e) = grep { $_->{c} && $_->{c}{type} eq 'exit' && $_->{c}{pid} == $kid } @rows;
            my $what = $e ? $e->{c}{status}
                : $c->{args} =~ /WEXITSTATUS\(s\) == (\d+)/ ? "exited with $1"
                : $c->{args} =~ /WTERMSIG\(s\) == (SIG\w+)/ ? "killed by $1" : 'status';
            $arrow->('exit', $e // { lane => $kid, n => $r->{n} }, $r, $what);
        } elsif ($call eq 'mq_notify' && $ret eq '0') {
            $notified{ tgid_of($c->{pid}) } = 1;
        } elsif ($call eq 'kill' && $ret eq '0' && $c->{args} =~ /^(\d+), (SIG\w+)/) {
            push @kills, { %$r, target => $1, sig => $2 };
            $kills[-1]{kind} = 'call';
            $kills[-1]{n}    = $r->{n};
        } elsif (defined $c->{child} && $lane_rows->{ $c->{child} }) {
            my $n = $c->{child};
            my $first = $rows[ (grep { $_ != $r->{n} } @{ $lane_rows->{$n} })[0] // $r->{n} ];
            if ($is_thread{$n}) {
                my $t = { lane => $n, n => $r->{n} };
                $arrow->('thread', $r, $t, "thread $n");
                # a notification thread: started for the last message sent by another process
                if ($notified{ tgid_of($c->{pid}) }) {
                    my ($s) = grep { !$_->{notified} && tgid_of($_->{c}{pid}) != tgid_of($c->{pid}) } reverse @sends_mq;
                    if ($s) { $s->{notified} = 1; $arrow->('notify', $s, $first, "thread $n for a message on an empty queue") }
                }
            } else {
                $arrow->('fork', $r, { lane => $n, n => $r->{n} }, "child $n");
            }
        }
    }
    return \@arrows;
}

sub print_index {
    my @items;
    while (my $line = <STDIN>) {
        chomp $line;
        my ($n, $s) = split /\t/, $line, 2;
        push @items, sprintf qq{<li><a href="%s.html">%s</a>: %s</li>\n}, esc($n), esc($n), esc($s);
    }
    print <<"HTML";
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
@items</ul>
</body></html>
HTML
}
