# suite_lifecycle.sh SUITE BIN
# Nothing a program starts outlives its run: not when it ends, not when it
# times out, and not when suite is stopped by SIGINT, SIGTERM or SIGHUP, even
# processes that left its process group.  Stopped, suite finishes its reports
# and ends by the signal it got.  A failure of suite itself is its own error,
# and suite works whatever signal handling it inherits.
set -u
suite=$1 bin=$2
here=$(dirname "$0")
. "$here/need.sh"
need xmllint python3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
bad() { echo "FAIL $*"; fail=1; }
ok() { echo "ok   $*"; }

# A program that starts five processes and records their ids in $PIDS: two in
# its process group, one that calls setsid, one that calls setsid and is
# orphaned at once, and one in a new group of its own.  Then it runs $1.
leaver() {
  printf '#!/bin/sh
sleep 300 & echo $! >>"$PIDS"
sleep 300 & echo $! >>"$PIDS"
setsid sleep 300 & echo $! >>"$PIDS"
sh -c '"'"'setsid sleep 300 & echo $! >>"$PIDS"'"'"'
perl -e '"'"'setpgrp; sleep 300'"'"' & echo $! >>"$PIDS"
echo $$ >>"$PIDS"
%s
' "$1" >"$2" && chmod +x "$2"
}

# alive PIDFILE: the processes recorded in PIDFILE that still run.
alive() {
  local pid
  for pid in $(cat "$1" 2>/dev/null); do
    [[ -d /proc/$pid ]] && [[ $(cat /proc/$pid/stat 2>/dev/null) != *") Z "* ]] && echo $pid
  done
}

# none_alive PIDFILE WHAT: no process recorded in PIDFILE is still running.
none_alive() {
  local left
  left=$(alive "$1")
  if [[ -n $left ]]; then
    bad "$2: still running:" $left
    kill -KILL $left 2>/dev/null
    return 1
  fi
}

# Wait until the program has recorded all six ids.
await() {
  for _ in $(seq 200); do
    [[ -f $1 && $(wc -l <"$1") -ge 6 ]] && return 0
    sleep 0.05
  done
  return 1
}

# stop SIGNAL HOW ARGS...: runs suite over the hanging program and its two
# neighbours, stops it by SIGNAL once the program is running, and checks that
# all six processes ended, that the reports were finished, and that suite
# ended by SIGNAL.  Background jobs of a script start with SIGINT ignored, so
# env gives suite the default handling a terminal's job would have.
stop() {
  local sig=$1 how=$2 status want last
  shift 2
  export PIDS=$tmp/pids.$sig.${how// /}
  env --default-signal=INT,QUIT "$suite" "$@" --timeout 60 --junit "$tmp/r.xml" --json "$tmp/r.json" \
    "$tmp/hang" skerrow pellick ombrel >"$tmp/out" 2>"$tmp/err" &
  local suite_pid=$!
  if ! await "$PIDS"; then
    bad "SIG$sig $how: the program did not start"
    kill -KILL $suite_pid
    return
  fi
  kill -s "$sig" $suite_pid
  { wait $suite_pid; } 2>/dev/null
  status=$?
  none_alive "$PIDS" "SIG$sig $how" || return
  want=$((128 + $(kill -l "$sig")))
  last=$(tail -n 2 "$tmp/out" | paste -sd '|')
  # With -j 2 the programs beside the hanging one may or may not be done.
  if ((status != want)) || [[ ! $last =~ ^[0-2]\ passed,\ 0\ failed,\ ([1-3])\ not\ run\|interrupted\ by\ SIG$sig$ ]] ||
    [[ -s $tmp/err ]]; then
    bad "SIG$sig $how: status $status (expected $want), report ends '$last', stderr $(cat "$tmp/err")"
    return
  fi
  local skipped=${BASH_REMATCH[1]}
  xmllint --noout --schema "$here/junit.xsd" "$tmp/r.xml" 2>/dev/null &&
    grep -q "tests=\"3\" failures=\"0\" errors=\"0\" skipped=\"$skipped\"" "$tmp/r.xml" &&
    python3 -c 'import json, sys; t = json.load(open(sys.argv[1]))["tests"]; c = [x["code"] for x in t]; sys.exit(c[1] != "SKIPPED" or not set(c) <= {"PASS", "SKIPPED"})' "$tmp/r.json" ||
    { bad "SIG$sig $how: reports"; return; }
  ok "SIG$sig $how: all six processes ended, reports finished, suite ended by SIG$sig"
}

mkdir "$tmp/hang"
leaver 'exec sleep 300' "$tmp/hang/pellick"
cp "$bin/skerrow" "$bin/ombrel" "$tmp/hang/"
stop INT "with -j 1" -j 1
stop TERM "with -j 2" -j 2
stop HUP "with -j 2" -j 2
stop INT "under a runner" -j 1 --runner "sh -c 'exec \"\$0\"'"
# Every signal that would end suite stops the check the same way.
stop QUIT "with -j 1" -j 1
stop USR1 "with -j 2" -j 2
stop ALRM "with -j 1" -j 1

# Even SIGKILL of suite leaves nothing: the keeper between suite and the
# program sees suite's end and ends the program's tree.
for jobs in 1 2; do
  export PIDS=$tmp/pids.kill.$jobs
  "$suite" -j $jobs --timeout 60 "$tmp/hang" pellick skerrow >/dev/null 2>&1 &
  suite_pid=$!
  if ! await "$PIDS"; then
    bad "-j $jobs, SIGKILL: the program did not start"
    kill -KILL $suite_pid
    continue
  fi
  kill -KILL $suite_pid
  { wait $suite_pid; } 2>/dev/null
  # The keeper's end is its own: give it a moment.
  for _ in $(seq 40); do
    [[ -z $(alive "$PIDS") ]] && break
    sleep 0.05
  done
  none_alive "$PIDS" "-j $jobs, suite killed by SIGKILL" && ok "-j $jobs: SIGKILL of suite leaves none of the six running"
done

# A stop signal ignored when suite starts, as nohup arranges, stays ignored.
export PIDS=$tmp/pids.nohup
(trap '' HUP && exec "$suite" --timeout 2 "$tmp/hang" pellick) >"$tmp/out" 2>&1 &
suite_pid=$!
await "$PIDS" && kill -HUP $suite_pid
{ wait $suite_pid; } 2>/dev/null
status=$?
none_alive "$PIDS" "SIGHUP ignored"
if ((status == 1)) && grep -q 'timed out after 2 s$' "$tmp/out"; then
  ok "SIGHUP ignored on entry stays ignored"
else
  bad "SIGHUP ignored on entry: status $status"; cat "$tmp/out"
fi

# A program that ends leaving processes behind is at fault, and nothing of
# it is left; one that times out leaves nothing either.
mkdir "$tmp/left"
leaver 'echo 10' "$tmp/left/tovash2"
leaver 'exec sleep 300' "$tmp/left/zarvin"
for jobs in 1 2; do
  export PIDS=$tmp/pids.left.$jobs
  start=$SECONDS
  "$suite" -j $jobs --timeout 2 "$tmp/left" tovash2 zarvin >"$tmp/out" 2>&1
  status=$?
  verdicts=$(sed -n 's/^  \(tovash2\|zarvin\) .*  \([a-z].*\)$/\1: \2/p' "$tmp/out" | paste -sd '|')
  none_alive "$PIDS" "-j $jobs, left behind" || continue
  if ((status != 1)) || [[ $verdicts != 'tovash2: left 5 processes running|zarvin: timed out after 2 s' ]] ||
    ((SECONDS - start > 8)); then
    bad "-j $jobs: status $status, verdicts '$verdicts', $((SECONDS - start)) s"
    cat "$tmp/out"
    continue
  fi
  ok "-j $jobs: 'left 5 processes running', and the timed-out program's processes ended too"
done

# A child that had ended, killed but never reaped, when the program ended
# was not left running.
mkdir "$tmp/zombie"
printf '#!/usr/bin/perl\nmy $p = fork // die; if (!$p) { sleep 300; exit } kill 9, $p; sleep 1; print "10\\n";\n' \
  >"$tmp/zombie/tovash2" && chmod +x "$tmp/zombie/tovash2"
for jobs in 1 2; do
  "$suite" -j $jobs "$tmp/zombie" tovash2 >"$tmp/out" 2>&1
  status=$?
  if ((status == 0)) && grep -q '^  tovash2 .*  passed$' "$tmp/out"; then
    ok "-j $jobs: a child killed and left unreaped is not left running"
  else
    bad "-j $jobs, zombie child: status $status"; cat "$tmp/out"
  fi
done

# When standard output's reader goes away, the check stops as on a signal:
# the programs end, the reports are written, and suite ends by SIGPIPE with
# no word on standard error.
for jobs in 1 2; do
  export PIDS=$tmp/pids.pipe.$jobs
  start=$SECONDS
  "$suite" -j $jobs --timeout 60 --json "$tmp/r.json" --tap "$tmp/hang" skerrow pellick 2>"$tmp/err" | head -n 1 >/dev/null
  status=${PIPESTATUS[0]}
  took=$((SECONDS - start))
  none_alive "$PIDS" "-j $jobs, reader gone" || continue
  if ((status == 128 + 13 && took < 10)) && [[ ! -s $tmp/err ]] &&
    python3 -c 'import json, sys; sys.exit(json.load(open(sys.argv[1]))["tests"][1]["code"] != "SKIPPED")' "$tmp/r.json"; then
    ok "-j $jobs: a reader gone stops the check at once, reports written, suite ended by SIGPIPE"
  else
    bad "-j $jobs, reader gone: status $status after $took s, stderr $(cat "$tmp/err")"
  fi
done

# A process outside the program's tree that holds the program's standard
# output open keeps suite waiting a moment, not until the time limit.
mkdir "$tmp/held"
printf '#!/bin/sh\necho $$ >"$HELD"\nsleep 0.5\necho 10\n' >"$tmp/held/tovash2" && chmod +x "$tmp/held/tovash2"
for jobs in 1 2; do
  export HELD=$tmp/held.$jobs
  (for _ in $(seq 100); do [[ -s $HELD ]] && break; sleep 0.02; done
   exec 3>"/proc/$(cat "$HELD")/fd/1" && exec sleep 30) &
  holder=$!
  start=$SECONDS
  "$suite" -j $jobs --timeout 20 "$tmp/held" tovash2 >"$tmp/out" 2>&1
  status=$?
  took=$((SECONDS - start))
  kill $holder 2>/dev/null
  if ((status == 0 && took < 5)); then
    ok "-j $jobs: an outside process holding the output does not hold suite ($took s)"
  else
    bad "-j $jobs, output held from outside: status $status after $took s"; cat "$tmp/out"
  fi
done

# A program that kills or stops the process that runs it, or signals it to
# end: suite notices, ends all that program left, reports it, and goes on
# with the others; the limit holds.
mkdir "$tmp/parent"
printf '#!/bin/sh\nsleep 300 & echo $! >>"$PIDS"\nkill -KILL $PPID\nexec sleep 300\n' >"$tmp/parent/tovash1"
printf '#!/bin/sh\nsleep 300 & echo $! >>"$PIDS"\nkill -STOP $PPID\necho 10\n' >"$tmp/parent/tovash2"
printf '#!/bin/sh\nkill -TERM $PPID\nprintf "3\\n3\\n3\\n"\n' >"$tmp/parent/brellow"
chmod +x "$tmp/parent/"*
cp "$bin/skerrow" "$bin/zarvin" "$tmp/parent/"
for jobs in 1 2; do
  export PIDS=$tmp/pids.parent.$jobs
  start=$SECONDS
  "$suite" -j $jobs --timeout 2 "$tmp/parent" skerrow tovash1 tovash2 brellow zarvin >"$tmp/out" 2>"$tmp/err"
  status=$?
  took=$((SECONDS - start))
  verdicts=$(sed -n 's/^  \([a-z]*[0-9]*\)  .*  \([a-z].*\)$/\1: \2/p' "$tmp/out" | grep -v '^program:' | paste -sd '|')
  none_alive "$PIDS" "-j $jobs, a parent killed or stopped" || continue
  if ((status == 1 && took <= 8)) && [[ ! -s $tmp/err ]] &&
    [[ $verdicts == 'skerrow: passed|tovash1: ended the process that ran it (killed by signal 9 (Killed))|tovash2: stopped the process that ran it|brellow: passed|zarvin: passed' ]]; then
    ok "-j $jobs: a program that kills or stops its keeper is reported, and nothing of it is left ($took s)"
  else
    bad "-j $jobs, parent killed or stopped: status $status after $took s, '$verdicts', $(cat "$tmp/err")"
    cat "$tmp/out"
  fi
done

# A program whose processes leave their session and fork without end, run
# by an unprivileged user held to 300 processes: its run ends on time and
# nothing of it is left.  Becoming that user needs root.
bomb_user=65532
if ((EUID == 0)) && command -v setpriv >/dev/null && ! pgrep -u $bomb_user >/dev/null; then
  chmod 755 "$tmp"
  mkdir -m 755 "$tmp/bomb"
  printf '#!/usr/bin/perl\nuse POSIX;\n$| = 1;\nprint "10\\n";\nwhile (1) { my $p = fork; POSIX::setsid() if defined $p && $p == 0; }\n' \
    >"$tmp/bomb/tovash2"
  cp "$bin/skerrow" "$tmp/bomb/"
  chmod 755 "$tmp/bomb/"*
  for jobs in 1 2; do
    start=$SECONDS
    timeout -s KILL 60 setpriv --reuid $bomb_user --regid $bomb_user --clear-groups \
      bash -c 'ulimit -u 300 && exec "$0" -j "$1" --timeout 2 "$2" tovash2 skerrow' "$suite" $jobs "$tmp/bomb" \
      >"$tmp/out" 2>&1
    status=$?
    took=$((SECONDS - start))
    left=$(pgrep -u $bomb_user | wc -l)
    # Whatever suite left is stopped, then killed, here.
    for _ in $(seq 20); do pkill -STOP -u $bomb_user; done
    pkill -KILL -u $bomb_user
    # Stopping 300 processes that all want the two processors takes a few
    # seconds on a busy machine; without the stop, it took ten minutes.
    if ((status == 1 && took <= 30 && left == 0)) && grep -q '^  tovash2 .*  timed out after 2 s$' "$tmp/out"; then
      ok "-j $jobs: a fork bomb that leaves its session is ended on time, nothing left ($took s)"
    else
      bad "-j $jobs, fork bomb: status $status after $took s, $left processes left"; cat "$tmp/out"
    fi
  done

  # A process left behind that the user may not signal, as a set-user-ID
  # helper that takes root wholly is: reported, and never waited for.
  if printf '#include <unistd.h>\nint main(void) { if (setgid(0) || setuid(0)) return 1; sleep(20); return 0; }\n' |
    cc -x c -o "$tmp/bomb/helper" - 2>/dev/null && chown root "$tmp/bomb/helper" && chmod 4755 "$tmp/bomb/helper"; then
    printf '#!/bin/sh\n"$(dirname "$0")/helper" &\nsleep 0.5\necho 10\n' >"$tmp/bomb/tovash2"
    for jobs in 1 2; do
      start=$SECONDS
      timeout -s KILL 60 setpriv --reuid $bomb_user --regid $bomb_user --clear-groups \
        "$suite" -j $jobs --timeout 10 "$tmp/bomb" tovash2 skerrow >"$tmp/out" 2>&1
      status=$?
      took=$((SECONDS - start))
      pkill -KILL -f "$tmp/bomb/helper"
      if ((status == 1 && took <= 5)) && grep -q '^  tovash2 .*  left 1 process running that could not be ended$' "$tmp/out"; then
        ok "-j $jobs: a process left that cannot be signalled is reported, not waited for ($took s)"
      else
        bad "-j $jobs, unsignallable process: status $status after $took s"; cat "$tmp/out"
      fi
    done
  else
    echo "skip a set-user-ID helper: it cannot be built here"
  fi
else
  echo "skip a fork bomb and a set-user-ID helper run by an unprivileged user: needs root, setpriv and uid $bomb_user unused"
fi

# Stopped by the terminal (SIGTSTP), suite stops its programs first, and
# they go on when it does; the time spent stopped counts neither against the
# limit nor in the figures.  Job control gives suite a process group whose
# stop the kernel does not drop.
mkdir "$tmp/pause"
printf '#!/bin/sh\necho $$ >>"$PIDS"\nsleep 0.8\nprintf "3\\n3\\n3\\n"\n' >"$tmp/pause/brellow"
chmod +x "$tmp/pause/brellow"
cp "$bin/skerrow" "$tmp/pause/"
state() { [[ -n $1 ]] && sed 's/.*) \(.\).*/\1/' "/proc/$1/stat" 2>/dev/null; }
for jobs in 1 2; do
  export PIDS=$tmp/pids.pause.$jobs
  set -m
  "$suite" -j $jobs --timeout 1 "$tmp/pause" brellow skerrow >"$tmp/out" 2>&1 &
  suite_pid=$!
  set +m
  for _ in $(seq 200); do [[ -s $PIDS ]] && break; sleep 0.02; done
  program=$(cat "$PIDS")
  kill -TSTP $suite_pid
  sleep 0.5
  states="suite $(state $suite_pid), program $(state $program), its sleep $(state "$(pgrep -P "$program")")"
  sleep 1
  kill -CONT $suite_pid
  { wait $suite_pid; } 2>/dev/null
  status=$?
  wall=$(sed -n 's/^  brellow  *\([0-9.]*\) s .* passed$/\1/p' "$tmp/out")
  if ((status == 0)) && [[ $states == 'suite T, program T, its sleep T' && -n $wall ]] &&
    awk -v w="$wall" 'BEGIN { exit !(w < 0.5) }'; then
    ok "-j $jobs: stopped, suite stops its programs, and 1.5 s stopped count for nothing (wall $wall s)"
  else
    bad "-j $jobs, stopped: status $status, $states"; cat "$tmp/out"
  fi
done

# A program that writes as fast as it can still times out on time.
mkdir "$tmp/fast"
printf '#!/bin/sh\nexec yes\n' >"$tmp/fast/lokett" && chmod +x "$tmp/fast/lokett"
start=$SECONDS
"$suite" --timeout 1 "$tmp/fast" lokett >"$tmp/out" 2>&1
took=$((SECONDS - start))
if grep -q '  timed out after 1 s$' "$tmp/out" && ((took <= 3)); then
  ok "a program that writes without end times out after its 1 s ($took s)"
else
  bad "fast writer: $took s"; cat "$tmp/out"
fi

# Signal handling inherited from the caller: SIGCHLD ignored would have the
# kernel reap the programs before suite sees them; blocked stop signals.
for how in '$SIG{CHLD} = "IGNORE"' 'use POSIX; sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGTERM, SIGINT))'; do
  start=$SECONDS
  perl -e "$how; exec @ARGV" "$suite" -j 1 "$bin" >"$tmp/out" 2>&1
  status=$?
  if ((status == 0)) && [[ $(tail -n 1 "$tmp/out") == '9 passed, 0 failed' ]] && ((SECONDS - start < 5)); then
    ok "inherited '$how': 9 passed"
  else
    bad "inherited '$how': status $status"; cat "$tmp/out"
  fi
done

# A child that a shell left suite when it ran suite with exec is not one of
# the programs: suite neither blames nor ends it.
sh -c 'sleep 30 & echo $! >"$0"; exec "$@"' "$tmp/other" "$suite" -j 1 "$bin" >"$tmp/out" 2>&1
status=$?
other=$(cat "$tmp/other")
if ((status == 0)) && [[ $(tail -n 1 "$tmp/out") == '9 passed, 0 failed' ]] && kill -0 "$other" 2>/dev/null; then
  ok "a child suite inherited is left alone"
else
  bad "inherited child: status $status"; cat "$tmp/out"
fi
kill "$other" 2>/dev/null

# Out of file descriptors, suite reports its own failure, not the program's.
for jobs in 1 2; do
  (ulimit -n 6 && exec "$suite" -j $jobs "$bin") >"$tmp/out" 2>"$tmp/err"
  status=$?
  if ((status == 2)) && grep -q '^suite: .*Too many open files$' "$tmp/err" &&
    [[ $(tail -n 2 "$tmp/out" | paste -sd '|') == '0 passed, 0 failed, 9 not run|stopped by a failure of suite itself' ]]; then
    ok "-j $jobs without file descriptors: $(cat "$tmp/err")"
  else
    bad "-j $jobs without file descriptors: status $status"; cat "$tmp/out" "$tmp/err"
  fi
done
exit $fail
