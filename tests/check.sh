# Sourced by the test scripts.  `check` runs a command twice, standard output
# once to a file and once into a pipe, and compares each run byte for byte:
# standard output, exit status, and an empty standard error.  RUNNER, when
# set, prefixes every command (for example a valgrind command line).

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

# check NAME WANT_STDOUT WANT_STATUS STDIN_FILE COMMAND...
check() {
  local name=$1 want=$2 want_status=$3 in=$4
  shift 4
  printf '%s' "$want" >"$tmp/want"
  local how status bad=
  for how in file pipe; do
    status=0
    if [[ $how == file ]]; then
      ${RUNNER:-} "$@" <"$in" >"$tmp/out" 2>"$tmp/err" || status=$?
    else
      ${RUNNER:-} "$@" <"$in" 2>"$tmp/err" | cat >"$tmp/out"
      status=${PIPESTATUS[0]}
    fi
    cmp -s "$tmp/want" "$tmp/out" || bad+=" [$how] wrong output;"
    [[ $status == "$want_status" ]] ||
      bad+=" [$how] exit status $status, expected $want_status;"
    [[ -s $tmp/err ]] && bad+=" [$how] wrote to standard error: $(head -c 300 "$tmp/err");"
  done
  if [[ -n $bad ]]; then
    failures=$((failures + 1))
    printf 'FAIL %s:%s\n' "$name" "$bad"
    local got
    got=$(cat "$tmp/out"; printf x)
    printf '  expected: %q\n  actual:   %q\n' "$want" "${got%x}"
  else
    printf 'ok   %s\n' "$name"
  fi
}

finish() {
  if ((failures > 0)); then
    printf '%d case(s) failed\n' "$failures"
    exit 1
  fi
}
