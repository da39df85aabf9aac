# suite_usage.sh SUITE BIN PROGRAMS
# Bad command lines, and report files that cannot be written, end with status
# 2 and one clear message before anything runs; --help and --list with 0.
set -u
suite=$1 bin=$2 programs=$3
here=$(dirname "$0")
. "$here/need.sh"
need xmllint python3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
ln -s "$bin" "$tmp/link"

# u WANT_STATUS WANT_FIRST_LINE_OF_STDERR ARGS...
u() {
  local want=$1 msg=$2 status=0 first
  shift 2
  "$suite" "$@" >"$tmp/out" 2>"$tmp/err" || status=$?
  first=$(head -n 1 "$tmp/err")
  if ((status != want)) || [[ $first != "$msg" || -s $tmp/out ]]; then
    failures=$((failures + 1))
    printf 'FAIL suite %s: status %s, stderr %q, stdout %s bytes\n' "$*" "$status" "$first" "$(wc -c <"$tmp/out")"
  else
    printf 'ok   suite %s\n' "$*"
  fi
}

timeout_msg='suite: --timeout takes a number of seconds, more than 0 and at most 86400'
jobs_msg='suite: --jobs takes a whole number of programs, at least 1'
u 2 "suite: unknown option '--bogus'"         --bogus
u 2 "suite: no such folder: /no/such/folder"  /no/such/folder
u 2 "suite: no such folder: $bin/skerrow"     "$bin/skerrow"
u 2 "suite: no program named 'nine'"          "$bin" nine
u 2 "suite: no program or folder named 'nine'" nine

# Several builds: each folder once, labels unique and not empty, the
# reference one of them, and no word read two ways.
mkdir -p "$tmp/w/skerrow" "$tmp/w/a=b" "$tmp/w/b"
u 2 "suite: $bin and $bin/ are the same folder" "$bin" "$bin/"
u 2 "suite: $bin and $tmp/link are the same folder" "$bin" "$tmp/link"
u 2 "suite: two builds are labelled 'x'; label one as LABEL=DIR" "x=$bin" "x=$tmp/w/b"
u 2 "suite: '=$bin' gives an empty label"      "=$bin"
u 2 "suite: --reference other names no build; the builds are $(basename "$(dirname "$bin")"), b" --reference other "$bin" "$tmp/w/b"
u 2 "suite: the folder $tmp/w/b comes after a program's name; give the folders first" "$bin" skerrow "$tmp/w/b"
(cd "$tmp/w" && u 2 "suite: 'skerrow' is both a program's name and a folder here; write ./skerrow for the folder, or run suite from another folder to check the program" "$bin" skerrow)
(cd "$tmp/w" && u 2 "suite: 'a=b' is a folder and reads as LABEL=DIR too; write ./a=b for the folder" a=b)
for r in 0 1001 1.5 x ''; do
  u 2 "suite: --repeat takes a whole number of runs, from 1 to 1000" "--repeat=$r"
done
for e in -1 x 1001 ''; do
  u 2 "suite: --min-effect takes a per cent, a plain decimal number from 0 to 1000" "--min-effect=$e"
done
for t in '' 0 -1 10s nan inf 1e3 0x10 '  5' '5 ' '+5' . 86401; do
  u 2 "$timeout_msg" "--timeout=$t"
done
u 2 "$timeout_msg"                            --timeout
for j in 0 -1 x 1.5 ' 2'; do
  u 2 "$jobs_msg" -j "$j"
done
u 2 "$jobs_msg"                               --jobs
u 2 "suite: --runner names no command"        --runner ''
u 2 "suite: --runner 'valgrind | tee' holds an unquoted | & ; < > ( ) { } or newline" --runner 'valgrind | tee'
u 2 "suite: --runner 'x \$(rm y)' holds a command substitution, which suite does not run" --runner 'x $(rm y)'
u 2 "suite: --runner 'x \"y' holds a quote left open, or another syntax error" --runner 'x "y'
u 2 "suite: --junit needs a value"            --junit
u 2 "suite: --junit and --json name the same file" --junit "$tmp/r" --json "$tmp/r"
u 2 "suite: --json and --markdown name the same file" --json "$tmp/r" --markdown "$tmp/r"
u 2 "suite: cannot write the JUnit report: $tmp is a folder" --junit "$tmp" "$bin"
u 2 "suite: cannot write the JSON report: cannot write in /no/such: No such file or directory" --json /no/such/r.json "$bin"

# A report that cannot be written at the end is an error too.
"$suite" --junit /dev/full "$bin" skerrow >"$tmp/out" 2>"$tmp/err"
status=$?
if ((status == 2)) && [[ $(cat "$tmp/err") == 'suite: cannot write the JUnit report: cannot write /dev/full: No space left on device' ]]; then
  echo 'ok   suite --junit /dev/full'
else
  failures=$((failures + 1)); echo "FAIL suite --junit /dev/full: status $status, $(cat "$tmp/err")"
fi
for out in /dev/full closed; do
  if [[ $out == closed ]]; then "$suite" "$bin" skerrow >&- 2>"$tmp/err"; else "$suite" "$bin" skerrow >$out 2>"$tmp/err"; fi
  status=$?
  if ((status == 2)) && [[ $(cat "$tmp/err") == 'suite: could not write the report on standard output' ]]; then
    echo "ok   suite with standard output $out"
  else
    failures=$((failures + 1)); echo "FAIL suite with standard output $out: status $status, $(cat "$tmp/err")"
  fi
done

# Report files: a stream named as a file is written through where the
# stream stands, appending where it appends; a FIFO is written as it is; a
# dangling link gets its target written; a name as long as a name may be
# works; two names for one file are refused before the run.
files() {
  local what=$1 status=$2 err=$3
  if [[ $status != 0 || -s $err ]]; then
    failures=$((failures + 1)); echo "FAIL $what: status $status, $(cat "$err")"; return 1
  fi
}
printf 'before\n' >"$tmp/log"
"$suite" --junit /dev/stdout "$bin" skerrow >>"$tmp/log" 2>"$tmp/err"
files "--junit /dev/stdout >>log" $? "$tmp/err" &&
  if [[ $(head -n 2 "$tmp/log" | tail -n 1) == "checking 1 program in \"$bin\", time limit 10 s each" &&
        $(head -n 1 "$tmp/log") == before && $(tail -n 1 "$tmp/log") == '</testsuites>' ]] &&
     sed -n '/^<?xml/,$p' "$tmp/log" | xmllint --noout - 2>/dev/null; then
    echo 'ok   suite --junit /dev/stdout >>log: appended after the text report'
  else
    failures=$((failures + 1)); echo 'FAIL --junit /dev/stdout >>log'; cat "$tmp/log"
  fi
mkfifo "$tmp/fifo"
cat "$tmp/fifo" >"$tmp/from-fifo" &
"$suite" --json "$tmp/fifo" "$bin" skerrow >/dev/null 2>"$tmp/err"
files "--json FIFO" $? "$tmp/err"
wait
python3 -c 'import json, sys; json.load(open(sys.argv[1]))' "$tmp/from-fifo" && [[ -p $tmp/fifo ]] &&
  echo 'ok   suite --json FIFO: written through' || { failures=$((failures + 1)); echo 'FAIL --json FIFO'; }
ln -s "$tmp/target.xml" "$tmp/dangling"
long=$tmp/$(printf 'a%.0s' $(seq 254))
"$suite" --junit "$tmp/dangling" --json "$long" "$bin" skerrow >/dev/null 2>"$tmp/err"
files "a dangling link and a 254-byte name" $? "$tmp/err" &&
  if [[ -L $tmp/dangling && -f $tmp/target.xml && -s $long ]] && ! ls -A "$tmp" | grep -q '^\.suite-'; then
    echo 'ok   a dangling link gets its target written; a 254-byte name works'
  else
    failures=$((failures + 1)); echo 'FAIL dangling link or long name'; ls -la "$tmp"
  fi
u 2 "suite: --junit and --json name the same file" --junit "$tmp/r2" --json "$tmp/./r2"
u 2 "suite: --junit and --markdown name the same file" --junit "$tmp/target.xml" --markdown "$tmp/dangling"
ln -s "$tmp/none.xml" "$tmp/dangling2"
u 2 "suite: --json and --html name the same file" --json "$tmp/dangling2" --html "$tmp/none.xml"
u 2 "suite: cannot write the JUnit report: cannot write $long.x: File name too long" --junit "$long.x" "$bin"

# A folder's name cannot forge a line of the report: it shows quoted, its
# control bytes as \xNN.
forged="$tmp/x
  skerrow    0.001 s    0.001 s    1.0 MiB  passed"
mkdir "$forged"
cp "$bin/skerrow" "$forged/"
"$suite" "$forged" skerrow >"$tmp/out" 2>"$tmp/err"
if (($? == 0)) && [[ $(wc -l <"$tmp/out") == 4 && $(head -n 1 "$tmp/out") == "checking 1 program in \"$tmp/x\\x0a  skerrow"* ]]; then
  echo 'ok   a folder named with a newline shows on one line, quoted'
else
  failures=$((failures + 1)); echo 'FAIL a folder named with a newline'; cat "$tmp/out"
fi

# --help and --list that cannot be written say so.
for how in 'help >&-' 'help >/dev/full' 'list >&-' 'list >/dev/full'; do
  eval "\"\$suite\" --$how 2>\"\$tmp/err\""
  status=$?
  if ((status == 2)) && [[ $(cat "$tmp/err") == "suite: the ${how%% *} could not be written on standard output" ]]; then
    echo "ok   suite --$how"
  else
    failures=$((failures + 1)); echo "FAIL suite --$how: status $status, $(cat "$tmp/err")"
  fi
done

if "$suite" --help >"$tmp/out" 2>"$tmp/err" && [[ $(head -n 1 "$tmp/out") == 'usage: suite '* && ! -s $tmp/err ]]; then
  echo 'ok   suite --help'
else
  echo 'FAIL suite --help'
  failures=$((failures + 1))
fi

# --list shows each contract as its reference output holds it.
for name in $("$suite" --help | sed -n 's/^Programs: //p'); do
  ref=$programs/$name.reference_output
  status=$(sed -n '$s/^exit \([0-9]*\)$/\1/p' "$ref")
  if [[ -n $status ]]; then
    echo "$name: exit status $status"
    sed '$d; s/^/  /' "$ref"
  else
    echo "$name: exit status not checked"
    sed 's/^/  /' "$ref"
  fi
done >"$tmp/want"
if "$suite" --list >"$tmp/out" 2>"$tmp/err" && cmp -s "$tmp/want" "$tmp/out" && [[ ! -s $tmp/err ]]; then
  echo 'ok   suite --list'
else
  echo 'FAIL suite --list'; diff "$tmp/want" "$tmp/out"
  failures=$((failures + 1))
fi
((failures == 0))
