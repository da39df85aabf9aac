#!/usr/bin/env bash
# What the programs cost, whole process from start to exit, against an empty C
# program built and linked the same way; and what mardune's loop costs per
# call of max, in a -O0 build (every call made) and in the Release build.
#
#   bench/cost.sh [RUNS]
#
# Builds the release and gcc-o0 presets first.  Instructions are counted by
# callgrind, so they repeat on a busy machine; wall time is the best of five
# batches of RUNS runs (default 200), fork and exec included.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
runs=${1:-200}
calls=200000000
goal=1.06

for preset in release gcc-o0; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done
programs=$(build/release/bin/suite --help | sed -n 's/^Programs: //p')

# The program's own exit status is not a failure here.
instructions() {
  { valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" 2>&1 >/dev/null || true; } |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

# Microseconds per run of $1 and of $2, each the best of five batches; the
# batches alternate so that both see the same machine.
wall_us() {
  local best1=0 best2=0 batch
  for batch in 1 2 3 4 5; do
    best1=$(best_batch "$1" "$3" "$best1")
    best2=$(best_batch "$2" "$3" "$best2")
  done
  echo "$best1 $best2"
}

best_batch() {
  local i t0 t1 us
  t0=${EPOCHREALTIME/./}
  for ((i = 0; i < $2; i++)); do "$1" >/dev/null || true; done
  t1=${EPOCHREALTIME/./}
  us=$(((t1 - t0) / $2))
  if (($3 == 0 || us < $3)); then echo "$us"; else echo "$3"; fi
}

libraries() {
  readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | paste -sd ' '
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

bin=build/release/bin
empty=build/release/bench/empty
empty_i=$(instructions "$empty")

echo "Whole process, Release build (gcc -O3), against an empty C program"
echo "(goal: at most $goal times its instructions; only libc.so.6 loaded)"
echo
printf '%-8s %13s %7s %9s %9s %7s  %s\n' program instructions ratio 'us/run' 'empty us' ratio libraries
printf '%-8s %13s %7s %9s %9s %7s  %s\n' empty "$empty_i" 1.000 '' '' '' "$(libraries "$empty")"
missed=0
for p in $programs; do
  i=$(instructions "$bin/$p")
  read -r us empty_us < <(wall_us "$bin/$p" "$empty" "$runs")
  r=$(ratio "$i" "$empty_i")
  libs=$(libraries "$bin/$p")
  printf '%-8s %13s %7s %9s %9s %7s  %s\n' "$p" "$i" "$r" "$us" "$empty_us" "$(ratio "$us" "$empty_us")" "$libs"
  if awk -v r="$r" -v g="$goal" 'BEGIN { exit !(r > g) }' || [[ $libs != libc.so.6 ]]; then
    missed=$((missed + 1))
  fi
done
echo
if ((missed == 0)); then echo "goal met by every program"; else echo "goal MISSED by $missed program(s)"; fi

# Per call of max: what mardune costs beyond the empty program, spread over
# its calls.  The bound is the four stores that each call makes.
echo
echo "mardune's loop, $calls calls of max"
echo
printf '%-18s %14s %8s   %s\n' build 'instr/call' 'ns/call' 'bound'
for build in gcc-o0 release; do
  m=build/$build/bin/mardune
  e=build/$build/bench/empty
  i=$(instructions "$m")
  ei=$(instructions "$e")
  read -r us eus < <(wall_us "$m" "$e" 1)
  awk -v b="$build" -v i="$i" -v ei="$ei" -v us="$us" -v eus="$eus" -v n="$calls" 'BEGIN {
    per = (i - ei) / n; ns = (us - eus) * 1000 / n; if (ns < 0) ns = 0
    printf "%-18s %14.2f %8.3f   %s\n", (b == "release" ? "Release (gcc -O3)" : "gcc -O0"), per, ns,
           (per >= 4 ? "4 stores a call; every call made" : "below 4 stores a call: the loop was folded")
  }'
done
exit $((missed > 0))
