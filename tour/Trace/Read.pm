package Trace::Read;
# The parse stage of tour/trace.pl, and the one Perl reader of the tour's text formats: the
# stamped log of a traced play (written in tour/tour's play_traced), the tour's lines in it
# (written by tour-pty and by tour/lib.sh's note, signal and page functions), and strace's
# records. Each format's grammar is given beside its writer; this file turns the text into the
# records below and knows nothing of what they mean.
use strict;
use warnings;
use Exporter 'import';

our @EXPORT_OK = qw(read_play read_strace call_arg call_string);

# read_play(FILE) -> (\@entries, \%marks)
# FILE is a traced play's stamped log: each line "SECONDS LINE", SECONDS since the play's start
# when the tour showed LINE. An entry is one line of the tour, a hash with:
#   stamp    the SECONDS it came
#   raw      the LINE as the tour showed it (the text view prints it unchanged)
#   kind     'line': a program's line (tour-pty.cpp), with
#              head     raw up to and with the space after the mark ("|…" for the rest of a
#                       line shown earlier in part); the text view puts a writer's name after it
#              label    the program's label
#              mark     '|' output, '!' standard error, '<' typed, '$' started, '=' ended
#              text     the line's text (control bytes already as \xNN)
#              pid      for '$': the pid the program was started with
#            'kill': the tour's "⚡ kill" line (lib.sh's signal), with sig ("SIGTERM"), pid
#              (the target) and text (raw without its indent)
#            'note': any other line of the tour ("──" notes, "⏸" pauses), with text
# The page marks, lines a scenario writes in a traced play only (lib.sh's page_lane,
# page_band and page_span), are not entries; they come back in %marks:
#   lanes    [{label, holding, lane}]: LABEL's lines holding HOLDING go to the lane LANE
#   bands    [{label, from, to, inside, title}]: a band from LABEL's first line holding FROM to
#            its next one holding TO, titled TITLE; lines in it holding INSIDE are marked
#   spans    [{label, from, to, title}]: a span from each of LABEL's lines holding FROM to its
#            next one holding TO, in the first one's lane, titled TITLE
sub read_play {
    my ($file) = @_;
    my (@entries, %marks);
    $marks{$_} = [] for qw(lanes bands spans);
    open my $in, '<', $file or die "trace.pl: $file: $!\n";
    while (my $record = <$in>) {
        chomp $record;
        my ($stamp, $raw) = $record =~ /^(\d+\.\d+) (.*)$/ or next;
        if (my ($mark, $fields) = $raw =~ /^\@page (lane|band|span)\t(.*)$/) {
            my @f = split /\t/, $fields, -1;
            push @{ $marks{lanes} }, { label => $f[0], holding => $f[1], lane => $f[2] } if $mark eq 'lane' && @f == 3;
            push @{ $marks{bands} }, { label => $f[0], from => $f[1], to => $f[2], inside => $f[3], title => $f[4] }
                if $mark eq 'band' && @f == 5;
            push @{ $marks{spans} }, { label => $f[0], from => $f[1], to => $f[2], title => $f[3] } if $mark eq 'span' && @f == 4;
            next;
        }
        push @entries, tour_line($raw, $stamp);
    }
    close $in;
    return (\@entries, \%marks);
}

# tour_line(RAW, STAMP) -> the entry for one line of the tour (see read_play)
sub tour_line {
    my ($raw, $stamp) = @_;
    my %entry = (stamp => $stamp, raw => $raw);
    if ($raw =~ /^(\s*\d+\.\d+s  (\S+) +([|!<\$=])(?:…)? )(.*)$/) {
        @entry{qw(kind head label mark text)} = ('line', $1, $2, $3, $4);
        ($entry{pid}) = $entry{text} =~ /\(pid (\d+)\)$/ if $entry{mark} eq '$';
    } elsif ($raw =~ /^\s+⚡ kill -(\w+) (\d+)/) {
        @entry{qw(kind sig pid text)} = ('kill', "SIG$1", $2, trim($raw));
    } else {
        @entry{qw(kind text)} = ('note', trim($raw));
    }
    return \%entry;
}

sub trim { my ($s) = @_; $s =~ s/^\s+|\s+$//g; return $s }

# read_strace(FILE, T0) -> \@events, in the order they began
# FILE is the output of strace -f -ttt -T (each record "PID SECONDS.MICROS TEXT"); T0 is the
# play's start in seconds since the epoch. A call that strace shows in two parts ("<unfinished
# ...>", then "<... NAME resumed>") is one event. An event is a hash with:
#   pid      the process or thread it happened in
#   start    when it began, in seconds since T0
#   end      when it ended (a call's start and its time); start for the others
#   kind     'call' with name, args (between the parentheses, as strace shows them) and ret
#            (after " = ": "3", "-1 EAGAIN (...)", "?" for a call that did not return);
#            'signal' (a delivery, "--- SIGNAME {...} ---") with sig, info (the {...}) and text;
#            'exit' (the end of a process or thread, "+++ ... +++") with status ("exited with
#            100") and text
sub read_strace {
    my ($file, $t0) = @_;
    my (@events, %pending);
    open my $in, '<', $file or die "trace.pl: $file: $!\n";
    while (my $line = <$in>) {
        chomp $line;
        my ($pid, $ts, $rest) = $line =~ /^(\d+)\s+(\d+\.\d+)\s+(.*)$/ or next;
        $ts -= $t0;
        my %e = (pid => $pid, start => $ts, end => $ts);
        if ($rest =~ /^(\w+)\((.*?) ?<unfinished \.\.\.>$/) {
            $pending{$pid} = { start => $ts, name => $1, args => $2 };
            next;
        } elsif ($rest =~ /^<\.\.\. (\w+) resumed>(.*)\) += (.*?)(?: <[\d.]+>)?$/) {
            my $p = delete $pending{$pid} or next;
            @e{qw(kind name args ret start)} = ('call', $1, $p->{args} . $2, $3, $p->{start});
        } elsif ($rest =~ /^(\w+)\((.*)\) += (.*?)(?: <([\d.]+)>)?$/) {
            @e{qw(kind name args ret)} = ('call', $1, $2, $3);
            $e{end} = $ts + ($4 // 0);
        } elsif ($rest =~ /^(\w+)\((.*)\) += \?$/) {
            @e{qw(kind name args ret)} = ('call', $1, $2, '?');
        } elsif ($rest =~ /^--- (SIG\w+) (.*) ---$/) {
            @e{qw(kind sig info text)} = ('signal', $1, $2, $rest);
        } elsif ($rest =~ /^\+\+\+ (.*) \+\+\+$/) {
            @e{qw(kind status text)} = ('exit', $1, $rest);
        } else {
            next;
        }
        push @events, \%e;
    }
    close $in;
    return [sort { $a->{start} <=> $b->{start} } @events];
}

# call_arg(EVENT, I) -> the I-th argument of a call (counted from 0), as strace shows it; good
# for the leading numbers and names, not for arguments holding ", " themselves
sub call_arg { my ($e, $i) = @_; return (split /, /, $e->{args})[$i] // '' }

# call_string(TEXT) -> the bytes of a string as strace shows it (in double quotes, C escapes,
# non-printable bytes in octal), and whether strace cut it ("..." after the quote)
sub call_string {
    my ($shown) = @_;
    my ($body, $cut) = $shown =~ /^"((?:[^"\\]|\\.)*)"(\.\.\.)?/ or return;
    my %escape = (n => "\n", t => "\t", r => "\r", v => "\x0b", f => "\f", a => "\a", b => "\b", e => "\e");
    $body =~ s{\\(x[0-9a-fA-F]{2}|[0-7]{1,3}|.)}{
        my $c = $1;
        $c =~ /^x(..)/ ? chr(hex $1) : $c =~ /^[0-7]/ ? chr(oct $c) : $escape{$c} // $c
    }ge;
    return ($body, $cut ? 1 : 0);
}

1;
