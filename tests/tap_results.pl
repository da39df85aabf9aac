# tap_results.pl < TAP
# Reads TAP as Perl's own parser does (the one prove uses) and prints what it
# found as JSON: the version, the plan, each test with the YAML block under
# it, whether it bailed out, and any parse errors.
use strict;
use warnings;
use JSON::PP;
use TAP::Parser;

my $tap = do { local $/; <STDIN> };
my $parser = TAP::Parser->new({ tap => $tap });
my (@tests, $bailout);
while (my $r = $parser->next) {
    if ($r->is_test) {
        push @tests, { number => $r->number, ok => $r->is_ok ? JSON::PP::true : JSON::PP::false,
                       actual_ok => $r->is_actual_ok ? JSON::PP::true : JSON::PP::false,
                       name => $r->description =~ s/^- //r, skip => $r->has_skip ? $r->explanation : undef };
    } elsif ($r->is_yaml && @tests) {
        $tests[-1]{yaml} = $r->data;
    } elsif ($r->is_bailout) {
        $bailout = $r->explanation;
    }
}
print JSON::PP->new->canonical->encode({
    version => $parser->version, plan => $parser->plan, tests => \@tests, bailout => $bailout,
    parse_errors => [ $parser->parse_errors ],
});
