package Trace::Model;
# The model stage of tour/trace.pl: from the tour's entries and strace's events (Trace::Read),
# who is who (processes, threads, the programs they run, their descriptors), the rows of the
# timeline in time order, each in the lane of the process that made it, and the arrows for
# what passed between processes. It decides what is shown and where; it draws nothing.
use strict;
use warnings;
use Exporter 'import';
use Trace::Read qw(call_arg call_string);

our @EXPORT_OK = qw(build_model);

use constant STRING_SHOWN => 32;    # longer strings in a call are cut to this many characters
use constant ANCESTORS    => 64;    # how far up the parents a process's owner is looked for

# The model of one traced play, a hash with:
#   rows      [row...] in the order shown (see new_row)
#   lanes     {id => lane} (see new_lane)
#   arrows    [arrow...] (see new_arrow)
#   bands     [{title, last}...]: a scenario's bands (page_band), each from its title's row to
#             its last row
#   spans     [{lane, first, last, title, depth}...]: a scenario's spans (page_span), each in
#             one lane from its first row to its last; depth counts the spans of that lane
#             still open at its first row (0 for none), so that nested ones stand side by side
#   procs     {pid => process} (see new_process)
#   labels    {pid => label}: the processes the tour started, each under its label
#   programs  the folder of the programs shown (the tour's TOUR_BIN)
#   libraries the folder of the shared objects (TOUR_LIB)
#   root      the project's folder: paths under it are shown from it ("…/")
# build_model(entries => [...], marks => {...}, events => [...], programs, libraries, root)
sub build_model {
    my (%in) = @_;
    my $m = { rows => [], lanes => {}, arrows => [], bands => [], spans => [], procs => {}, labels => {} };
    $m->{$_} = $in{$_} for qw(programs libraries root);
    learn_processes($m, $in{events});
    tour_rows($m, $in{entries});
    find_writers($m, $in{events});
    call_rows($m, $in{events});
    order_rows($m);
    apply_lane_marks($m, $in{marks}{lanes});
    apply_band_marks($m, $in{marks}{bands});
    apply_span_marks($m, $in{marks}{spans});
    $m->{arrows} = find_arrows($m);
    return $m;
}

# ---- records ----

# Each record is a hash with the keys listed; the constructors refuse any other key.
sub record {
    my ($what, $keys, %fields) = @_;
    for my $k (keys %fields) { die "trace.pl: a $what has no '$k'\n" unless $keys->{$k} }
    return \%fields;
}

# A row: one event of the timeline, drawn in one lane.
#   kind     'line' (a program's line), 'note' or 'kill' (the tour's), 'call' (a system call,
#            a signal's delivery or a process's end, from strace), 'band' (a band's title)
#   t        seconds since the play's start: where it sorts
#   seq      its place in the order it was made: ties keep it
#   n        its index in the model's rows, once they are in order
#   lane     the lane it is drawn in
#   text     what it says (a call as the text view shows it)
#   who      '' or "child N" / "thread N": which process of its program made it, when not the
#            one the tour started
#   entry    the tour's entry (Trace::Read) for a line, note or kill
#   event    strace's event for a call
#   inside   1 for a line that falls inside a band and holds the band's inside text
my %ROW = map { $_ => 1 } qw(kind t seq n lane text who entry event inside);
sub new_row { return record('row', \%ROW, who => '', inside => 0, @_) }

# A lane: one column of the page.
#   id       its name in the page: the pid, "tour", "label NAME" or "lane NAME"
#   role     'tour' (the tour's notes and kill lines), 'main' (a program the tour started),
#            'child' or 'thread' (of a shown process), 'named' (lines a scenario gave a lane of
#            their own, page_lane), 'label' (lines of a label whose process is not known)
#   pid      the process, for main, child and thread
#   parent   the parent's pid, for child and thread
#   label    the tour's label it belongs to ('' for the tour's own lane)
#   head     its title
my %LANE = map { $_ => 1 } qw(id role pid parent label head);
sub new_lane { return record('lane', \%LANE, @_) }

# An arrow: what passed from one row's lane to another's.
#   kind     datagram, stream, message, notify, signal, fork, thread or exit
#   from, to the lanes at its two ends
#   from_n, to_n   the rows (their indices) at its two ends
#   what     what passed ("31 bytes", "SIGUSR1", "exited with 100")
my %ARROW = map { $_ => 1 } qw(kind from to from_n to_n what);
sub new_arrow { return record('arrow', \%ARROW, @_) }

# A process (or thread) the trace saw.
#   pid
#   parent   the pid whose fork or clone made it (none for those made before the trace)
#   thread   1 for a thread (CLONE_THREAD), else 0
#   tgid     the process it is a thread of (itself for a process)
#   born     when the call that made it began
#   execs    [[seconds, path]...]: the programs it ran
my %PROCESS = map { $_ => 1 } qw(pid parent thread tgid born execs);
sub new_process { return record('process', \%PROCESS, execs => [], @_) }

# The model adds two keys to strace's call events:
#   child    the pid a fork or clone call made
#   fd_kind  'socket' or 'file': what the descriptor of a read, write, lseek, send, receive or
#            mmap is, when the program itself opened it (undef for one it inherited)

# ---- who is who ----

sub process {
    my ($m, $pid) = @_;
    return $m->{procs}{$pid} //= new_process(pid => $pid, thread => 0, tgid => $pid);
}
sub tgid_of { my ($m, $pid) = @_; return $m->{procs}{$pid} ? $m->{procs}{$pid}{tgid} : $pid }

# The program PID runs at time T (its parent's, for a fork that ran none yet).
sub exe_at {
    my ($m, $pid, $t) = @_;
    my $p = $m->{procs}{$pid} or return '';
    my $exe;
    for my $e (@{ $p->{execs} }) { $exe = $e->[1] if $e->[0] <= $t }
    return $exe if defined $exe;
    return defined $p->{parent} ? exe_at($m, $p->{parent}, $p->{born}) : '';
}

# The process the tour started that PID descends from (itself, a child or a thread of it).
sub owner {
    my ($m, $pid) = @_;
    for (my ($p, $n) = ($pid, 0); defined $p && $n < ANCESTORS; $n++) {
        return $p if exists $m->{labels}{$p};
        $p = $m->{procs}{$p} ? $m->{procs}{$p}{parent} : undef;
    }
    return;
}
sub owner_label {
    my ($m, $pid) = @_;
    my $own = owner($m, $pid);
    return defined $own ? $m->{labels}{$own} : '';
}

sub is_program { my ($m, $exe) = @_; return index($exe, "$m->{programs}/") == 0 }

# A path a program opened that is part of its mechanism (not its libraries or the system's).
sub interesting_path {
    my ($m, $path) = @_;
    return 1 if $path !~ m{^/} || index($path, $m->{root}) == 0;
    return 0 if $path =~ m{^/(usr/)?lib|^/etc/|^/proc/|^/sys/|\.so(\.\d+)*$};
    return 1;
}

# Parents, threads, programs and descriptors, in the order the calls began.
sub learn_processes {
    my ($m, $events) = @_;
    my %fds;    # tgid => {fd => 'socket' | 'file'}
    for my $e (@$events) {
        next unless $e->{kind} eq 'call';
        my ($pid, $name, $ret) = @$e{qw(pid name ret)};
        my $tgid = tgid_of($m, $pid);
        process($m, $pid);
        if ($name =~ /^(clone3?|v?fork)$/ && $ret =~ /^(\d+)/) {
            my $kid = process($m, $1);
            my $thread = $e->{args} =~ /CLONE_THREAD/ ? 1 : 0;
            @$kid{qw(parent born thread tgid)} = ($pid, $e->{start}, $thread, $thread ? $tgid : $kid->{pid});
            $fds{ $kid->{pid} } = { %{ $fds{$tgid} // {} } } unless $thread;
            $e->{child} = $kid->{pid};
        } elsif ($name eq 'execve' && $ret eq '0' && $e->{args} =~ /^"([^"]*)"/) {
            push @{ process($m, $pid)->{execs} }, [$e->{start}, $1];
            $fds{$tgid} = {};    # what the tour's own tools had open is not the program's
        } elsif ($name =~ /^accept4?$/ && $ret =~ /^(\d+)/) {
            $fds{$tgid}{$1} = 'socket';
        } elsif ($name eq 'connect' && $ret =~ /^(0|-1 EINPROGRESS)/) {
            $fds{$tgid}{ call_arg($e, 0) } = 'socket';
        } elsif ($name eq 'openat' && $ret =~ /^(\d+)/) {
            my $fd = $1;
            my ($path) = $e->{args} =~ /"([^"]*)"/;
            if (defined $path && interesting_path($m, $path)) { $fds{$tgid}{$fd} = 'file' }
            else { delete $fds{$tgid}{$fd} }    # a number used again
        }
        $e->{fd_kind} = $fds{$tgid}{ call_arg($e, 0) } if $name =~ /^(read|write|lseek|sendto|recvfrom)$/;
        $e->{fd_kind} = $fds{$tgid}{ call_arg($e, 4) } if $name eq 'mmap';
    }
    return;
}

# ---- lanes ----

sub lane_of_pid {
    my ($m, $pid) = @_;
    return $m->{lanes}{$pid} if $m->{lanes}{$pid};
    my $own = owner($m, $pid);
    my $p   = $m->{procs}{$pid};
    my %lane = (id => $pid, pid => $pid, label => owner_label($m, $pid));
    if (defined $own && $own == $pid) {
        @lane{qw(role head)} = ('main', "$lane{label} ($pid)");
    } else {
        my $role = $p && $p->{thread} ? 'thread' : 'child';
        @lane{qw(role parent head)} = ($role, $p ? $p->{parent} : undef, "$role $pid of $lane{label}");
    }
    return $m->{lanes}{$pid} = new_lane(%lane);
}

sub lane_of_tour {
    my ($m) = @_;
    return $m->{lanes}{tour} //= new_lane(id => 'tour', role => 'tour', label => '', head => '');
}

sub lane_of_label {
    my ($m, $label) = @_;
    return $m->{lanes}{"label $label"} //= new_lane(id => "label $label", role => 'label', label => $label, head => $label);
}

sub lane_named {
    my ($m, $label, $name) = @_;
    return $m->{lanes}{"lane $name"} //= new_lane(id => "lane $name", role => 'named', label => $label, head => $name);
}

# ---- rows ----

# The tour's lines, notes and kill lines, in the order they came. A program's line goes in the
# lane of the program its label last started; what came before its command line (its typed
# input, say) is its own too.
sub tour_rows {
    my ($m, $entries) = @_;
    my (%current, %early);    # label => its program's pid; label => its rows before that
    for my $entry (@$entries) {
        my $row = new_row(kind => $entry->{kind}, t => $entry->{stamp}, text => $entry->{text}, entry => $entry);
        push @{ $m->{rows} }, $row;
        if ($entry->{kind} ne 'line') {
            $row->{lane} = lane_of_tour($m);
            next;
        }
        my $label = $entry->{label};
        if ($entry->{mark} eq '$' && defined $entry->{pid}) {
            my $pid = $entry->{pid};
            $current{$label} = $pid;
            $m->{labels}{$pid} = $label;
            process($m, $pid);
            for my $before (@{ delete $early{$label} // [] }) {
                $before->{lane} = lane_of_pid($m, $pid);
                $row->{t} = $before->{t} - 1e-6 if $before->{t} <= $row->{t};
            }
        }
        if (defined $current{$label}) {
            $row->{lane} = lane_of_pid($m, $current{$label});
        } else {
            $row->{lane} = lane_of_label($m, $label);
            push @{ $early{$label} }, $row;
        }
        delete $current{$label} if $entry->{mark} eq '=';
    }
    return;
}

# Each program line goes in the lane of the process or thread that wrote it, where the trace
# has its writes (a scenario that traces write): the bytes each process of a program wrote to
# descriptor 1 (or 2) are its lines of '|' (or '!'). A line is taken from the first place not
# yet taken that begins a line and holds it, so lines that two writers wrote at once match in
# either order. A writer that is not shown (a shell the program started) leaves the line where
# it is.
sub find_writers {
    my ($m, $events) = @_;
    my %streams;    # "pid fd" of the program the tour started => its stream (see find_in_stream)
    for my $e (@$events) {
        next unless $e->{kind} eq 'call' && $e->{name} eq 'write' && $e->{ret} =~ /^(\d+)$/ && $1 > 0;
        my $fd = call_arg($e, 0);
        next unless $fd eq '1' || $fd eq '2';
        my $own = owner($m, $e->{pid});
        next unless defined $own;
        my ($bytes, $cut) = call_string((split /, /, $e->{args}, 2)[1] // '');
        next unless defined $bytes;
        my $stream = $streams{"$own $fd"} //= { bytes => [], writer => [], taken => [] };
        my @shown = shown_bytes($bytes);
        push @shown, (undef) x ($e->{ret} - length $bytes) if $cut;
        push @{ $stream->{bytes} }, @shown;
        push @{ $stream->{writer} }, ($e->{pid}) x @shown;
    }
    return unless %streams;
    for my $row (@{ $m->{rows} }) {
        my $entry = $row->{entry};
        next unless $row->{kind} eq 'line' && ($entry->{mark} eq '|' || $entry->{mark} eq '!');
        next unless $row->{lane}{role} eq 'main';
        my $stream = $streams{ $row->{lane}{pid} . ($entry->{mark} eq '|' ? ' 1' : ' 2') } or next;
        my $writer = take_from_stream($stream, $entry->{text}) // next;
        next if $writer == $row->{lane}{pid} || !is_program($m, exe_at($m, $writer, $row->{t}));
        $row->{lane} = lane_of_pid($m, $writer);
        $row->{who}  = ($m->{procs}{$writer}{thread} ? 'thread' : 'child') . " $writer";
    }
    return;
}

# The bytes as tour-pty shows them: control bytes other than tab and newline as \xNN.
sub shown_bytes {
    my ($bytes) = @_;
    return map { /[\x00-\x08\x0b-\x1f]/ ? split(//, sprintf '\\x%02x', ord) : $_ } split //, $bytes;
}

# take_from_stream(STREAM, TEXT) -> the pid that wrote TEXT, or undef
# A stream is what a program's processes wrote to one descriptor, byte by byte as tour-pty
# shows them: {bytes => [byte, or undef where strace cut the string], writer => [pid],
# taken => [1 where a shown line took it]}. TEXT is taken from the first place not yet taken
# that begins a line (or follows a part already taken) and holds it, with the newline after it;
# an empty TEXT takes a newline alone.
sub take_from_stream {
    my ($stream, $text) = @_;
    my ($bytes, $taken) = @$stream{qw(bytes taken)};
    my @want = split //, $text;
    my $k = find_in_stream($stream, \@want) // return;
    $taken->[$_] = 1 for $k .. $k + $#want;
    my $end = $k + @want;
    $taken->[ $end++ ] = 1 if $end < @$bytes && ($bytes->[$end] // '') eq "\n";
    return $stream->{writer}[ @want ? $k : $end - 1 ];
}

sub find_in_stream {
    my ($stream, $want) = @_;
    my ($bytes, $taken) = @$stream{qw(bytes taken)};
    my $newline = sub { my ($i) = @_; return ($bytes->[$i] // '') eq "\n" };
    my $first = 0;    # all before it is taken
    $first++ while $first < @$bytes && $taken->[$first];
    K: for my $k ($first .. $#$bytes) {
        next if $taken->[$k] || ($k > 0 && !$taken->[ $k - 1 ] && !$newline->($k - 1));
        next if !@$want && !$newline->($k);
        for my $i (0 .. $#$want) {
            my $at = $k + $i;
            next K if $at > $#$bytes || $taken->[$at] || (defined $bytes->[$at] && $bytes->[$at] ne $want->[$i]);
        }
        return $k;
    }
    return;
}

# What the page and the text view show of strace's events: those of the programs the tour
# started (not of its own tools, the shell or system tools), less the noise of starting a
# program: reads, writes and maps only on descriptors the program opened.
sub shown {
    my ($m, $e) = @_;
    my $own = owner($m, $e->{pid});
    return 0 unless defined $own && is_program($m, exe_at($m, $e->{pid}, $e->{start}));
    return 0 if $e->{kind} eq 'exit' && $e->{pid} == $own;
    return 1 unless $e->{kind} eq 'call';
    my $name = $e->{name};
    return 0 if $name eq 'execve';
    return defined $e->{fd_kind} || $e->{ret} =~ /EBADF/ if $name =~ /^(read|write|lseek|mmap)$/;
    return 1 if $name =~ /^(sendto|recvfrom)$/;
    if ($name eq 'openat') {
        my ($path) = $e->{args} =~ /"([^"]*)"/;
        return defined $path && interesting_path($m, $path);
    }
    return 1;
}

# Long strings are cut; an IPv4 address reads as ADDRESS:PORT; a path of ours reads from the
# project's folder on.
sub short_call {
    my ($m, $s) = @_;
    my $n = STRING_SHOWN;
    $s =~ s/\{sa_family=AF_INET, sin_port=htons\((\d+)\), sin_addr=inet_addr\("([\d.]+)"\)\}/{$2:$1}/g;
    $s =~ s{"((?:[^"\\]|\\.)*)"(\.\.\.)?}{
        my ($body, $more) = ($1, $2 // '');
        $body =~ s{^\Q$m->{root}\E/}{…/};
        $body =~ /^((?:[^"\\]|\\.){$n})./ && $body !~ m{^…?/} ? "\"$1\"…" : "\"$body\"$more"
    }ge;
    return $s;
}

sub call_rows {
    my ($m, $events) = @_;
    for my $e (@$events) {
        next unless shown($m, $e);
        my $pid = $e->{pid};
        my $own = owner($m, $pid);
        my $text = $e->{kind} ne 'call' ? $e->{text}
            : defined $e->{child} ? "$e->{name}(…) = $e->{ret}   (a new " . ($m->{procs}{ $e->{child} }{thread} ? 'thread' : 'process') . ')'
            : short_call($m, "$e->{name}($e->{args}) = $e->{ret}");
        # What a call hands on takes effect after it began; what it takes, when it returns.
        my $sends = $e->{kind} eq 'call' && $e->{name} =~ /^(sendto|write|mq_timedsend|msgsnd|kill|clone3?|v?fork)$/;
        push @{ $m->{rows} }, new_row(
            kind => 'call', t => $sends ? $e->{start} : $e->{end}, lane => lane_of_pid($m, $pid), text => $text,
            who => $pid == $own ? '' : ($m->{procs}{$pid}{thread} ? "thread $pid" : "child $pid"), event => $e,
        );
        # a child or thread gets its lane from the call that made it on
        lane_of_pid($m, $e->{child}) if defined $e->{child} && defined owner($m, $e->{child});
    }
    return;
}

# A program's command line comes before anything it did (tour-pty shows it once the program
# runs); the tour's lines keep the order they came in, each call goes in at its time.
sub order_rows {
    my ($m) = @_;
    my $rows = $m->{rows};
    my %first;
    for my $r (grep { $_->{kind} eq 'call' } @$rows) {
        my $own = owner($m, $r->{event}{pid});
        $first{$own} = $r->{t} if !defined $first{$own} || $r->{t} < $first{$own};
    }
    for my $r (@$rows) {
        next unless $r->{kind} eq 'line' && $r->{entry}{mark} eq '$' && defined $r->{entry}{pid};
        my $first = $first{ $r->{entry}{pid} } // next;
        $r->{t} = $first - 1e-6 if $first < $r->{t};
    }
    my $i = 0;
    $_->{seq} = $i++ for @$rows;
    @$rows = sort { $a->{t} <=> $b->{t} || $a->{seq} <=> $b->{seq} } @$rows;
    number_rows($m);
    return;
}

sub number_rows { my ($m) = @_; my $n = 0; $_->{n} = $n++ for @{ $m->{rows} }; return }

# A scenario's page_lane marks: a line of LABEL goes to the lane of the first mark whose text it
# holds; a mark without a lane keeps it with LABEL's line before it.
sub apply_lane_marks {
    my ($m, $marks) = @_;
    return unless @$marks;
    my %last;    # label => the lane its last line went to
    for my $r (@{ $m->{rows} }) {
        next unless $r->{kind} eq 'line';
        my $label = $r->{entry}{label};
        my ($mark) = grep { $_->{label} eq $label && index($r->{text}, $_->{holding}) >= 0 } @$marks;
        if ($mark) {
            $r->{lane} = $mark->{lane} ne '' ? lane_named($m, $label, $mark->{lane}) : $last{$label} // $r->{lane};
        }
        $last{$label} = $r->{lane};
    }
    return;
}

# A scenario's page_band marks: each band runs from LABEL's first line holding FROM to its next
# line holding TO; its title is a row of the tour's lane right before it, and the lines inside
# holding INSIDE are marked.
sub apply_band_marks {
    my ($m, $marks) = @_;
    for my $mark (@$marks) {
        my @lines = grep { $_->{kind} eq 'line' && $_->{entry}{label} eq $mark->{label} } @{ $m->{rows} };
        my ($first) = grep { index($_->{text}, $mark->{from}) >= 0 } @lines or next;
        my ($last) = grep { $_->{n} > $first->{n} && index($_->{text}, $mark->{to}) >= 0 } @lines or next;
        for my $r (@lines) {
            $r->{inside} = 1 if $r->{n} > $first->{n} && $r->{n} < $last->{n}
                && $mark->{inside} ne '' && index($r->{text}, $mark->{inside}) >= 0;
        }
        my $title = new_row(kind => 'band', t => $first->{t}, lane => lane_of_tour($m), text => $mark->{title});
        splice @{ $m->{rows} }, $first->{n}, 0, $title;
        number_rows($m);
        push @{ $m->{bands} }, { title => $title, last => $last };
    }
    return;
}

# A scenario's page_span marks: each of LABEL's lines holding FROM opens a span in its lane,
# which LABEL's next line holding TO closes (a FROM line before that starts it again).
sub apply_span_marks {
    my ($m, $marks) = @_;
    for my $mark (@$marks) {
        my $open;
        for my $r (grep { $_->{kind} eq 'line' && $_->{entry}{label} eq $mark->{label} } @{ $m->{rows} }) {
            if (index($r->{text}, $mark->{from}) >= 0) {
                $open = $r;
            } elsif ($open && index($r->{text}, $mark->{to}) >= 0) {
                push @{ $m->{spans} }, { lane => $open->{lane}, first => $open, last => $r, title => $mark->{title} };
                undef $open;
            }
        }
    }
    my @spans = sort { $a->{first}{n} <=> $b->{first}{n} } @{ $m->{spans} };
    for my $i (0 .. $#spans) {
        my $s = $spans[$i];
        $s->{depth} = grep { $_->{lane} == $s->{lane} && $_->{last}{n} > $s->{first}{n} } @spans[0 .. $i - 1];
    }
    $m->{spans} = \@spans;
    return;
}

# ---- arrows ----

# Each send is taken by the first receive of the same size (or message type) in another
# process; a signal goes from the kill (or the tour's kill line) to its delivery; a fork or a
# new thread goes from the call that made it to the new lane; an exit status from the child's
# end to the wait4 that collected it. find_arrows goes through the rows in order; each kind of
# arrow has its functions below, called for the calls (%ON_CALL), signals and kill lines that
# concern it, with the search's state:
#   m         the model
#   arrows    [arrow...] found so far
#   waiting   {kind => [[key, row]...]}: the sends of each kind (datagram, stream, mq, sysv) not
#             yet taken, each under its key (a size or a message type)
#   kills     [{row, sig, target (pid), by (the sender's tgid; undef for the tour's kill line),
#             used (once a delivery took it)}]
#   mq_sends  the rows of queue sends, in order
#   notified  {tgid => 1} once it registered with mq_notify
#   notify_used  {row n => 1} once that send notified
my %ON_CALL = (
    sendto          => [\&datagram_sent, \&bytes_sent],
    recvfrom        => [\&datagram_taken, \&bytes_taken],
    write           => [\&bytes_sent],
    read            => [\&bytes_taken],
    mq_timedsend    => [\&mq_sent],
    mq_timedreceive => [\&mq_taken],
    mq_notify       => [\&mq_registered],
    msgsnd          => [\&sysv_sent],
    msgrcv          => [\&sysv_taken],
    kill            => [\&kill_sent],
    wait4           => [\&exit_collected],
    map { $_ => [\&task_made] } qw(clone clone3 fork vfork),
);

sub find_arrows {
    my ($m) = @_;
    my $s = { m => $m, arrows => [], waiting => {}, kills => [], mq_sends => [], notified => {}, notify_used => {} };
    for my $r (@{ $m->{rows} }) {
        if ($r->{kind} eq 'kill') {
            kill_line($s, $r);
            next;
        }
        my $e = $r->{event} or next;
        if ($e->{kind} eq 'signal') {
            my ($code) = $e->{info} =~ /si_code=(\w+)/;
            $code //= '';
            if ($code eq 'SI_MESGQ') { mq_signalled($s, $r, $e) }
            elsif ($code =~ /^SI_(USER|TKILL|QUEUE)$/) { signal_delivered($s, $r, $e) }
            next;
        }
        next unless $e->{kind} eq 'call';
        $_->($s, $r, $e) for @{ $ON_CALL{ $e->{name} } // [] };
    }
    return $s->{arrows};
}

sub add_arrow {
    my ($s, $kind, $from, $to, $what) = @_;
    push @{ $s->{arrows} }, new_arrow(kind => $kind, from => $from->{lane}, to => $to->{lane},
        from_n => $from->{n}, to_n => $to->{n}, what => $what);
    return;
}

sub tgid_of_row { my ($s, $r) = @_; return tgid_of($s->{m}, $r->{event}{pid}) }

# A send of KIND waits under KEY for its receive.
sub wait_for_receive { my ($s, $kind, $key, $r) = @_; push @{ $s->{waiting}{$kind} }, [$key, $r]; return }

# The first waiting send of KIND under KEY from another process than row R's, taken.
sub take_send {
    my ($s, $kind, $key, $r) = @_;
    my $q = $s->{waiting}{$kind} //= [];
    for my $k (0 .. $#$q) {
        next unless $q->[$k][0] eq $key && tgid_of_row($s, $q->[$k][1]) != tgid_of_row($s, $r);
        return (splice @$q, $k, 1)[0][1];
    }
    return;
}

# The pid that sent the signal of event E (its si_pid), -1 where it does not say.
sub signal_sender { my ($e) = @_; my ($pid) = $e->{info} =~ /si_pid=(\d+)/; return $pid // -1 }

sub on_stream { my ($e) = @_; return ($e->{fd_kind} // '') eq 'socket' }

# datagram: a sendto on a socket without a connection, to the recvfrom of as many bytes
sub datagram_sent {
    my ($s, $r, $e) = @_;
    wait_for_receive($s, 'datagram', $e->{ret}, $r) if !on_stream($e) && $e->{ret} =~ /^\d+$/;
    return;
}

sub datagram_taken {
    my ($s, $r, $e) = @_;
    return if on_stream($e) || $e->{ret} !~ /^\d+$/;
    my $from = take_send($s, 'datagram', $e->{ret}, $r) or return;
    add_arrow($s, 'datagram', $from, $r, "$e->{ret} bytes");
    return;
}

# stream: bytes written on a connection, to the read that took as many
sub bytes_sent {
    my ($s, $r, $e) = @_;
    wait_for_receive($s, 'stream', $e->{ret}, $r) if on_stream($e) && $e->{ret} =~ /^\d+$/ && $e->{ret} > 0;
    return;
}

sub bytes_taken {
    my ($s, $r, $e) = @_;
    return unless on_stream($e) && $e->{ret} =~ /^\d+$/ && $e->{ret} > 0;
    my $from = take_send($s, 'stream', $e->{ret}, $r) or return;
    add_arrow($s, 'stream', $from, $r, "$e->{ret} bytes");
    return;
}

# message: a POSIX queue's message, from mq_timedsend to the mq_timedreceive of its size
sub mq_sent {
    my ($s, $r, $e) = @_;
    return unless $e->{ret} eq '0';
    wait_for_receive($s, 'mq', call_arg($e, 2), $r);
    push @{ $s->{mq_sends} }, $r;
    return;
}

sub mq_taken {
    my ($s, $r, $e) = @_;
    return unless $e->{ret} =~ /^\d+$/;
    my $from = take_send($s, 'mq', $e->{ret}, $r) or return;
    add_arrow($s, 'message', $from, $r, "$e->{ret} bytes");
    return;
}

# message: a System V message, from msgsnd to the msgrcv of its type
sub sysv_type { my ($e) = @_; my ($type) = $e->{args} =~ /^\S+, \{(?:mtype=)?(\d+),/; return $type }

sub sysv_sent {
    my ($s, $r, $e) = @_;
    my $type = sysv_type($e);
    wait_for_receive($s, 'sysv', $type, $r) if $e->{ret} eq '0' && defined $type;
    return;
}

sub sysv_taken {
    my ($s, $r, $e) = @_;
    my $type = sysv_type($e);
    return unless $e->{ret} =~ /^\d+$/ && defined $type;
    my $from = take_send($s, 'sysv', $type, $r) or return;
    add_arrow($s, 'message', $from, $r, "type $type, $e->{ret} bytes");
    return;
}

# notify: a message on an empty queue, from its send to the signal (SI_MESGQ) or the thread the
# kernel started for it in the process that registered with mq_notify
sub mq_registered {
    my ($s, $r, $e) = @_;
    $s->{notified}{ tgid_of_row($s, $r) } = 1 if $e->{ret} eq '0';
    return;
}

sub mq_signalled {
    my ($s, $r, $e) = @_;
    my $from = signal_sender($e);
    my ($send) = grep { tgid_of_row($s, $_) == $from } reverse @{ $s->{mq_sends} };
    add_arrow($s, 'notify', $send, $r, "$e->{sig} for a message on an empty queue") if $send;
    return;
}

# a notification thread: started for the last message sent by another process, the arrow going
# to the thread's first row
sub mq_thread_started {
    my ($s, $r, $kid) = @_;
    my $tgid = tgid_of_row($s, $r);
    return unless $s->{notified}{$tgid};
    my ($send) = grep { !$s->{notify_used}{ $_->{n} } && tgid_of_row($s, $_) != $tgid } reverse @{ $s->{mq_sends} };
    return unless $send;
    my $lane = $s->{m}{lanes}{$kid};
    my ($first) = grep { $_->{lane} == $lane && $_->{n} > $r->{n} } @{ $s->{m}{rows} };
    $s->{notify_used}{ $send->{n} } = 1;
    add_arrow($s, 'notify', $send, $first // $r, "thread $kid for a message on an empty queue");
    return;
}

# signal: from a kill call (or the tour's kill line) to the delivery it caused
sub kill_line {
    my ($s, $r) = @_;
    push @{ $s->{kills} }, { row => $r, sig => $r->{entry}{sig}, target => $r->{entry}{pid}, by => undef };
    return;
}

sub kill_sent {
    my ($s, $r, $e) = @_;
    return unless $e->{ret} eq '0' && $e->{args} =~ /^(\d+), (SIG\w+)/;
    push @{ $s->{kills} }, { row => $r, target => $1, sig => $2, by => tgid_of_row($s, $r) };
    return;
}

sub signal_delivered {
    my ($s, $r, $e) = @_;
    my $from = signal_sender($e);
    my $tgid = tgid_of_row($s, $r);
    my ($k) = grep {
        !$_->{used} && $_->{sig} eq $e->{sig} && ($_->{target} == $tgid || $_->{target} == $e->{pid})
            && (!defined $_->{by} || $_->{by} == $from)
    } @{ $s->{kills} };
    return unless $k;
    $k->{used} = 1;
    add_arrow($s, 'signal', $k->{row}, $r, $e->{sig});
    return;
}

# fork, thread: from the call that made a child or a thread to its lane, which begins there
sub task_made {
    my ($s, $r, $e) = @_;
    my $m   = $s->{m};
    my $kid = $e->{child};
    return unless defined $kid && $m->{lanes}{$kid};
    my $at = { lane => $m->{lanes}{$kid}, n => $r->{n} };
    if ($m->{procs}{$kid}{thread}) {
        add_arrow($s, 'thread', $r, $at, "thread $kid");
        mq_thread_started($s, $r, $kid);
    } else {
        add_arrow($s, 'fork', $r, $at, "child $kid");
    }
    return;
}

# exit: from the child's end (or its lane, where it ran no program of ours) to the wait4 that
# collected its status
sub exit_collected {
    my ($s, $r, $e) = @_;
    my $m = $s->{m};
    return unless $e->{ret} =~ /^(\d+)$/ && $m->{lanes}{$1};
    my $kid = $1;
    my ($end) = grep { $_->{event} && $_->{event}{kind} eq 'exit' && $_->{event}{pid} == $kid } @{ $m->{rows} };
    my $what = $end ? $end->{event}{status}
        : $e->{args} =~ /WEXITSTATUS\(s\) == (\d+)/ ? "exited with $1"
        : $e->{args} =~ /WTERMSIG\(s\) == (SIG\w+)/ ? "killed by $1" : 'status';
    add_arrow($s, 'exit', $end // { lane => $m->{lanes}{$kid}, n => $r->{n} }, $r, $what);
    return;
}

1;
