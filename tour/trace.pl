#!/usr/bin/env perl
# Turns one traced play of a tour scenario into text or into a page (tour/tour --trace, --html).
#   trace.pl text|html --name NAME --summary TEXT --log LOG --strace STRACE --t0 NS
#                      --root DIR --programs DIR --libraries DIR
#       text: the tour's lines with the system calls merged in under the process that made them
#       html: a self-contained page, one lane per process, arrows for what passes between them
#   trace.pl index < lines "NAME<tab>SUMMARY"      the index of the pages
# LOG is the play's stamped log (tour/tour's play_traced), STRACE strace -f -ttt -T output for
# the whole play, NS the play's start in ns since the epoch. A process is shown from the moment
# it runs a program in the folder --programs (not the tour's own tools): the shell, the tour's
# helpers and system tools stay out of the picture. --root is the project's folder, whose paths
# are shown from it on; --libraries the folder of its shared objects.
# Three stages: Trace::Read parses the formats, Trace::Model decides what is shown where, and
# Trace::Text or Trace::Page renders it.
use strict;
use warnings;
use FindBin;
use lib $FindBin::Bin;
use Getopt::Long qw(GetOptionsFromArray);
use Trace::Read qw(read_play read_strace);
use Trace::Model qw(build_model);
use Trace::Text qw(trace_text);
use Trace::Page qw(page index_page);

exit main(@ARGV);

sub main {
    my ($mode, @args) = @_;
    $mode //= '';
    if ($mode eq 'index') {
        print index_page([map { chomp; [split /\t/, $_, 2] } <STDIN>]);
        return 0;
    }
    die "usage: trace.pl text|html --name NAME --summary TEXT --log LOG --strace STRACE --t0 NS --root DIR --programs DIR --libraries DIR\n"
        unless $mode eq 'text' || $mode eq 'html';
    my %o;
    GetOptionsFromArray(\@args, \%o, map {"$_=s"} qw(name summary log strace t0 root programs libraries))
        && !@args && 8 == grep { defined $o{$_} } qw(name summary log strace t0 root programs libraries)
        or die "trace.pl: $mode needs --name, --summary, --log, --strace, --t0, --root, --programs and --libraries\n";
    my ($entries, $marks) = read_play($o{log});
    my $events = read_strace($o{strace}, $o{t0} / 1e9);
    my $model = build_model(entries => $entries, marks => $marks, events => $events,
        programs => $o{programs}, libraries => $o{libraries}, root => $o{root});
    print $mode eq 'text' ? trace_text($model) : page($model, $o{name}, $o{summary});
    return 0;
}
