package Trace::Text;
# The text view of a traced play (tour/tour --trace, and the bottom of each page): the tour's
# lines as it showed them, each system call under them at its time as a line
#     <seconds>  <label> ⚙ [child N] <call>
# and each program line that a child or thread of the program wrote with its writer after the
# mark ("| [thread N] Read 14 bytes").
use strict;
use warnings;
use Exporter 'import';

our @EXPORT_OK = qw(trace_text);

sub trace_text {
    my ($m) = @_;
    my $s = '';
    for my $r (@{ $m->{rows} }) {
        my $who = $r->{who} ? "[$r->{who}] " : '';
        if ($r->{kind} eq 'call') {
            $s .= sprintf "%7.2fs  %-8s ⚙ %s%s\n", $r->{t}, $r->{lane}{label}, $who, $r->{text};
        } elsif ($r->{entry}) {
            $s .= $who ? "$r->{entry}{head}$who$r->{entry}{text}\n" : "$r->{entry}{raw}\n";
        }
    }
    return $s;
}

1;
