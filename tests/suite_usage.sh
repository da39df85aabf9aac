# suite_usage.sh SUITE BIN
# Bad command lines end with status 2 and one clear message; --help with 0.
set -u
suite=$1 bin=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

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
u 2 "suite: unknown option '--bogus'"         --bogus
u 2 "suite: no such folder: /no/such/folder"  /no/such/folder
u 2 "suite: no such folder: $bin/skerrow"     "$bin/skerrow"
u 2 "suite: no program named 'nine'"          "$bin" nine
u 2 "$timeout_msg"                            --timeout
u 2 "$timeout_msg"                            --timeout 0
u 2 "$timeout_msg"                            --timeout=-1
u 2 "$timeout_msg"                            --timeout 10s
u 2 "$timeout_msg"                            --timeout nan

if "$suite" --help >"$tmp/out" 2>"$tmp/err" && [[ $(head -n 1 "$tmp/out") == 'usage: suite '* && ! -s $tmp/err ]]; then
  echo 'ok   suite --help'
else
  echo 'FAIL suite --help'
  failures=$((failures + 1))
fi
((failures == 0))
