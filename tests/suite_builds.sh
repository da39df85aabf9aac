# suite_builds.sh SUITE BIN
# Several builds in one call, each program run six times in turn: the
# reference, a build whose lokett is 50 ms slower, and one, in a folder whose
# name no report may carry raw, whose zarvin fails one run in three and whose
# skerrow is missing.  The text matrix, JUnit (to xmllint and Python), JSON
# (to Python, and its p-values to SciPy), TAP (to prove) and Markdown (to
# cmark-gfm) must each say so, with the same counts.
set -u
suite=$1 bin=$2
here=$(dirname "$0")
. "$here/need.sh"
need xmllint python3 prove cmark-gfm scipy
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C
fail=0
bad() { echo "FAIL $*"; fail=1; }

slow=$tmp/slow/bin
odd="$tmp/odd |<i>&\"x"
mkdir -p "$slow" "$odd"
names=$("$suite" --help | sed -n 's/^Programs: //p')
for name in $names; do cp "$bin/$name" "$slow/" && cp "$bin/$name" "$odd/"; done
printf '#!/bin/sh\nsleep 0.05\nexec "$0.real"\n' >"$slow/lokett" && chmod +x "$slow/lokett"
cp "$bin/lokett" "$slow/lokett.real"
printf '#!/bin/sh\nn=$(cat "$COUNT" 2>/dev/null || echo 0)\necho $((n + 1)) >"$COUNT"\n[ $((n %% 3)) = 2 ] && echo 4321 || echo 1234\n' \
  >"$odd/zarvin"
rm "$odd/skerrow"
export COUNT=$tmp/count

"$suite" --repeat 9 -j 2 --junit "$tmp/r.xml" --json "$tmp/r.json" --markdown "$tmp/r.md" "$bin" "$slow" "$odd" \
  >"$tmp/out" 2>"$tmp/err"
status=$?
((status == 1)) && [[ ! -s $tmp/err ]] || bad "exit status $status, expected 1; stderr: $(cat "$tmp/err")"
xmllint --noout --schema "$here/junit.xsd" "$tmp/r.xml" 2>"$tmp/err" || bad "JUnit: $(cat "$tmp/err")"
cmark-gfm --extension table "$tmp/r.md" >"$tmp/r.html" || bad "cmark-gfm could not read the Markdown"
rm "$COUNT"
"$suite" --repeat 9 -j 2 --tap "$bin" "$slow" "$odd" >"$tmp/tap" 2>"$tmp/err"
perl "$here/tap_results.pl" <"$tmp/tap" >"$tmp/tap.json" || bad "TAP::Parser could not read the TAP"
prove --exec cat /dev/stdin <"$tmp/tap" >"$tmp/prove" 2>&1 && bad "prove passed a failing check"
grep -q '^Failed 2/27 subtests' "$tmp/prove" || { cat "$tmp/prove"; bad "prove does not count 2 of 27 failed"; }
python3 "$here/builds.py" "$tmp/out" "$tmp/r.xml" "$tmp/r.json" "$tmp/r.html" "$tmp/tap.json" "$bin" "$slow" "$odd" ||
  { cat "$tmp/out"; fail=1; }
"$scipy_python" "$here/builds.py" --scipy "$tmp/r.json" || fail=1
exit $fail
