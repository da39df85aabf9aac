# suite_runner.sh SUITE BIN FIXTURE
# --runner starts each program as COMMAND ARGS... DIR/NAME, the command split
# as a shell splits words; the time limit and the figures are those of the
# wrapped process as a whole; a runner that cannot start fails each program
# with a verdict that names it.
set -u
suite=$1 bin=$2 fixture=$3
here=$(dirname "$0")
. "$here/need.sh"
need python3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
bad() { echo "FAIL $*"; fail=1; }

# Each program through a shell that records it: quotes, spaces and a $ that
# suite must pass on as they are.
export LOG=$tmp/log
"$suite" --runner "sh -c 'echo \"\$0\" >>\"\$LOG\"; exec \"\$0\"'" "$bin" >"$tmp/out" 2>&1
status=$?
for name in $("$suite" --help | sed -n 's/^Programs: //p'); do echo "$bin/$name"; done | sort >"$tmp/want"
if ((status == 0)) && [[ $(tail -n 1 "$tmp/out") == '9 passed, 0 failed' ]] && sort "$LOG" | cmp -s - "$tmp/want"; then
  echo "ok   9 passed, each started through the runner"
else
  bad "runner: status $status"; cat "$tmp/out" "$LOG"
fi

# The wrapped process as a whole: its time limit, and the figures of the
# children it waited for.
mkdir "$tmp/dir"
cp "$fixture" "$tmp/dir/skerrow"
cp "$fixture" "$tmp/dir/pellick"
"$suite" --json "$tmp/r.json" --runner "sh -c '\"\$0\"; exit 0'" "$tmp/dir" skerrow pellick >"$tmp/out" 2>&1
python3 -c '
import json, sys
m = {t["name"]: t["metrics"] for t in json.load(open(sys.argv[1]))["tests"]}
sys.exit(not (m["skerrow"]["peak_rss_kib"] >= 128 * 1024 and m["pellick"]["exec_time"] + m["pellick"]["sys_time"] >= 0.25))
' "$tmp/r.json" && echo "ok   the figures count what the runner waited for" || { bad "figures under a runner"; cat "$tmp/out"; }
"$suite" --timeout 1 --runner "sh -c 'sleep 30; exec \"\$0\"'" "$bin" lokett >"$tmp/out" 2>&1
grep -q '  timed out after 1 s$' "$tmp/out" && echo "ok   the time limit holds for the runner" || { bad "time limit under a runner"; cat "$tmp/out"; }

# A relative folder whose name starts with '-' reaches the runner as a path,
# not an option.
mkdir "$tmp/-i"
cp "$bin/skerrow" "$tmp/-i/"
(cd "$tmp" && "$suite" --runner env -- -i skerrow) >"$tmp/out" 2>&1 &&
  grep -qx '1 passed, 0 failed' "$tmp/out" && echo "ok   a folder -i is passed to the runner as ./-i" ||
  { bad "folder -i under a runner"; cat "$tmp/out"; }

# A script whose interpreter is missing is said to be so, not "missing".
mkdir "$tmp/interp"
printf '#!/no/such -x\necho 4\n' >"$tmp/interp/skerrow" && cp "$tmp/interp/skerrow" "$tmp/interp/ombrel"
chmod +x "$tmp/interp/skerrow" "$tmp/interp/ombrel"
for jobs in 1 2; do
  "$suite" -j $jobs "$tmp/interp" skerrow ombrel >"$tmp/out" 2>&1
  [[ $(grep -c '  cannot start: interpreter /no/such not found$' "$tmp/out") == 2 ]] &&
    echo "ok   -j $jobs: cannot start: interpreter /no/such not found" || { bad "missing interpreter, -j $jobs"; cat "$tmp/out"; }
done

# A runner that cannot be started.
"$suite" --runner 'no-such-runner --flag' "$bin" >"$tmp/out" 2>"$tmp/err"
status=$?
verdicts=$(grep -c "  could not start the runner 'no-such-runner' (No such file or directory)$" "$tmp/out")
if ((status == 1 && verdicts == 9)) && [[ ! -s $tmp/err && $(tail -n 1 "$tmp/out") == '0 passed, 9 failed' ]]; then
  echo "ok   a missing runner is named in each verdict"
else
  bad "missing runner: status $status, $verdicts verdicts"; cat "$tmp/out" "$tmp/err"
fi
exit $fail
