# suite_faults.sh SUITE BIN EXPECTED
# suite against a folder where the programs are wrong in each way it names,
# in a folder whose name holds characters that XML and JSON must escape and
# a byte that is not UTF-8.  The text report must match EXPECTED (figures
# masked, DIR for the folder) and suite must exit 1; JUnit, JSON and TAP, read
# by xmllint, Python, and Perl's TAP::Parser and prove, must say the same;
# with every program at once the reports are the same but for the figures.
set -u
suite=$1 bin=$2 expected=$3
here=$(dirname "$0")
. "$here/need.sh"
need xmllint python3 prove
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C
dir="$tmp/faults <&\"'$(printf '\377')"
mkdir "$dir"
fail=0
bad() { echo "FAIL $*"; fail=1; }

fake() { printf '#!/bin/sh\n%s\n' "$2" >"$dir/$1" && chmod +x "$dir/$1"; }
fake skerrow 'echo 4; exit 3'                                 # wrong exit status
fake ombrel  "printf 'negative index exception'"              # no newline at end
fake pellick "printf '1024\n<&]]>\\001\\377\"\n5\n'"          # odd bytes, one line too many
fake mardune 'echo 0; kill -SEGV $$'                          # killed by a signal
fake tovash1 'echo 3; exit 4'                                 # passes: status not in the contract
fake tovash2 'sleep 30'                                       # timed out
# brellow is missing
fake zarvin  'echo 1234; echo "zarvin: warning" >&2'          # wrote to standard error
cp "$bin/lokett" "$dir/lokett" && chmod -x "$dir/lokett"      # not executable
kinds=(skerrow=wrong-exit-status ombrel=wrong-output pellick=wrong-output mardune=signal tovash1=pass
       tovash2=timeout brellow=missing zarvin=standard-error lokett=not-executable)

# Figures vary from run to run; the folder, given with a trailing slash, is
# shown as DIR, as the report escapes it: a backslash before its quote, and
# its odd byte as \xff.
mask() {
  DIR=$(printf '%s' "$dir" | perl -pe 's/"/\\"/g; s/\xff/\\xff/g') perl -pe 's/\Q$ENV{DIR}\E/DIR/g; s/[ 0-9]{2}[0-9]\.[0-9]{3} s/  ~.~~~ s/g; s/[ 0-9]{2}[0-9]\.[0-9] MiB/  ~.~ MiB/g' "$1"
}

for jobs in 1 9; do
  start=$SECONDS
  "$suite" -j $jobs --timeout 1 --junit "$tmp/r$jobs.xml" --json "$tmp/r$jobs.json" "$dir/" \
    >"$tmp/out$jobs" 2>"$tmp/err"
  status=$?
  took=$((SECONDS - start))
  mask "$tmp/out$jobs" >"$tmp/report$jobs"
  diff -u "$expected" "$tmp/report$jobs" || bad "-j $jobs: report differs (above)"
  ((status == 1)) || bad "-j $jobs: exit status $status, expected 1"
  [[ -s $tmp/err ]] && bad "-j $jobs: wrote to standard error: $(cat "$tmp/err")"
  ((took <= 6)) || bad "-j $jobs: took ${took} s with a 1 s limit"
  xmllint --noout --schema "$here/junit.xsd" "$tmp/r$jobs.xml" 2>"$tmp/err" || bad "$(cat "$tmp/err")"
done
python3 "$here/reports.py" same "$tmp/r1.xml" "$tmp/r1.json" "$tmp/r9.xml" "$tmp/r9.json" || fail=1

"$suite" --tap --timeout 1 "$dir" >"$tmp/tap" 2>"$tmp/err"
status=$?
((status == 1)) && [[ ! -s $tmp/err ]] || bad "--tap: exit status $status, stderr $(cat "$tmp/err")"
perl "$here/tap_results.pl" <"$tmp/tap" >"$tmp/tap.json" || bad "TAP::Parser could not read the TAP"
python3 "$here/reports.py" check "$tmp/out1" "$tmp/r1.xml" "$tmp/r1.json" "$tmp/tap.json" "${kinds[@]}" || fail=1
# prove reads the TAP from a pipe and names the failures.
prove -v --exec cat /dev/stdin <"$tmp/tap" >"$tmp/prove" 2>&1 && bad "prove passed a failing folder"
grep -qx 'not ok 3 - pellick' "$tmp/prove" && grep -q 'Failed tests:  1-4, 6-9' "$tmp/prove" ||
  { cat "$tmp/prove"; bad "prove does not name the failures"; }

((fail == 0)) && echo "ok   faults reported alike as text, JUnit, JSON and TAP, with -j 1 and -j 9"
exit $fail
