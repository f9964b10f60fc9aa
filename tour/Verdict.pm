package Verdict;
# The Perl reader of the tour's failure lines, the lines that say what went wrong in a play (their
# writers and grammar: beside _tour_failed in tour/lib.sh). Everything in Perl that reads them
# calls it. It works on bytes, as a case's output comes (UTF-8 undecoded).
use strict;
use warnings;
use Exporter 'import';

our @EXPORT_OK = qw(failure_lines);

# failure_lines(OUTPUT) -> the failure lines of OUTPUT (a play's standard output and error, or a
# test case's output that holds them), in their order: each fact that did not hold with the
# lines that show it, each time the play could not go on, and the play's closing line; none
# when the play went well.
sub failure_lines {
    my ($output) = @_;
    my (@lines, $in_fact);
    for my $line (split /\n/, $output) {
        if ($line =~ /^ {9}✗ /) {
            push @lines, $line;
            $in_fact = 1;
        } elsif ($in_fact && $line =~ /^ {11}/) {
            push @lines, $line;
        } else {
            $in_fact = 0;
            push @lines, $line if $line =~ /^tour: |^━━━ \S+: (?:a fact did not hold|did not complete)/;
        }
    }
    return @lines;
}

1;
