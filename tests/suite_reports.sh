# suite_reports.sh SUITE BIN
# On a good build every report says so to the tools that read it: JUnit to
# xmllint and Python, JSON to Python, TAP to Perl's TAP::Parser and to prove
# reading it from a pipe, as the README shows.
set -u
suite=$1 bin=$2
here=$(dirname "$0")
. "$here/need.sh"
need xmllint python3 prove
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

"$suite" --junit "$tmp/r.xml" --json "$tmp/r.json" "$bin" >"$tmp/out" 2>&1 || { cat "$tmp/out"; fail=1; }
"$suite" --tap "$bin" >"$tmp/tap" 2>&1 || fail=1
xmllint --noout --schema "$here/junit.xsd" "$tmp/r.xml" || fail=1
perl "$here/tap_results.pl" <"$tmp/tap" >"$tmp/tap.json" || fail=1
names=$("$suite" --help | sed -n 's/^Programs: //p')
python3 "$here/reports.py" check "$tmp/out" "$tmp/r.xml" "$tmp/r.json" "$tmp/tap.json" \
  $(for name in $names; do echo "$name=pass"; done) || fail=1
"$suite" --tap "$bin" | prove --exec cat /dev/stdin >"$tmp/prove" 2>&1 && grep -qx 'All tests successful.' "$tmp/prove" ||
  { cat "$tmp/prove"; echo "FAIL prove"; fail=1; }
((fail == 0)) && echo "ok   a good build passes in every report, and prove agrees"
exit $fail
