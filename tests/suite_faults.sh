# suite_faults.sh SUITE BIN EXPECTED
# suite against a folder where the programs are wrong in each way it names.
# Its whole report must match EXPECTED (with DIR for the folder), it must exit
# 1, and the hung program must not hold it past its time limit.
set -u
suite=$1 bin=$2 expected=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dir=$tmp/bin
mkdir "$dir"

fake() { printf '#!/bin/sh\n%s\n' "$2" >"$dir/$1" && chmod +x "$dir/$1"; }
fake skerrow 'echo 4; exit 3'                             # wrong exit status
fake ombrel  "printf 'negative index exception'"          # no newline at end
fake pellick "printf '1024\n1023\n5\n'"                   # a wrong line, one too many
fake mardune 'echo 0; kill -SEGV $$'                      # killed by a signal
fake tovash1 'echo 3; sleep 30 & exit 4'                  # passes: status not in the contract,
                                                          # and its straggler holds the pipe
fake tovash2 'sleep 30'                                   # timed out
# brellow is missing
fake zarvin  'echo 1234; echo "zarvin: warning" >&2'      # wrote to standard error
cp "$bin/lokett" "$dir/lokett" && chmod -x "$dir/lokett"  # not executable

start=$SECONDS
"$suite" --timeout 1 "$dir" skerrow ombrel pellick mardune tovash1 tovash2 brellow zarvin lokett \
  >"$tmp/out" 2>"$tmp/err"
status=$?
took=$((SECONDS - start))

sed "s|$dir|DIR|g" "$tmp/out" >"$tmp/report"
fail=0
if ! diff -u "$expected" "$tmp/report"; then echo 'FAIL report differs (above)'; fail=1; fi
if ((status != 1)); then echo "FAIL exit status $status, expected 1"; fail=1; fi
if [[ -s $tmp/err ]]; then echo "FAIL wrote to standard error:"; cat "$tmp/err"; fail=1; fi
if ((took > 6)); then echo "FAIL took ${took} s with a 1 s limit"; fail=1; fi
((fail == 0)) && echo "ok   report, exit status 1, ${took} s"
exit $fail
