#!/usr/bin/env bash
# What suite costs over the nine Release programs, in two ratios:
#   - suite -j 1 against a plain sh loop that runs the same nine with
#     standard input from /dev/null and their output to /dev/null
#     (goal: at most 1.10);
#   - the nine under valgrind's memcheck with the default jobs against -j 1
#     (goal: at most 0.6 on two processors).
# Each ratio is of medians over runs taken in turn, so that both sides see
# the same machine.
#
#   bench/suite.sh [RUNS [MEMCHECK_RUNS]]      (defaults 60 and 9)
#
# Builds the release preset first.  Exits 1 when a goal is missed.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
runs=${1:-60}
memcheck_runs=${2:-9}
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
bin=$PWD/build/release/bin
suite=$bin/suite
programs=$("$suite" --help | sed -n 's/^Programs: //p')
memcheck="valgrind -q --error-exitcode=1 --leak-check=full"

# us COMMAND...: microseconds that one run of COMMAND took.
us() {
  local t0=${EPOCHREALTIME/./}
  "$@" >/dev/null 2>&1 || true
  echo $((${EPOCHREALTIME/./} - t0))
}

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

loop() { sh -c 'for p in $2; do "$1/$p" </dev/null >/dev/null 2>&1; done' sh "$bin" "$programs"; }

# row NAME GOAL RUNS A_LABEL B_LABEL A... -- B...: medians of A and B taken in
# turn, and B's over A's.
missed=0
row() {
  local name=$1 goal=$2 n=$3 la=$4 lb=$5 a=() b=() i
  shift 5
  local -a ca=() cb=()
  while [[ $1 != -- ]]; do ca+=("$1"); shift; done
  shift
  cb=("$@")
  for ((i = 0; i < n; i++)); do
    a+=("$(us "${ca[@]}")")
    b+=("$(us "${cb[@]}")")
  done
  local ma mb
  ma=$(median "${a[@]}")
  mb=$(median "${b[@]}")
  awk -v name="$name" -v la="$la" -v lb="$lb" -v ma="$ma" -v mb="$mb" -v n="$n" -v goal="$goal" 'BEGIN {
    r = mb / ma
    printf "%-30s %-22s %9.1f ms   %-22s %9.1f ms   %6.3f   %5s  %s\n", name, la, ma / 1000, lb, mb / 1000, r, "<= " goal, (r <= goal ? "met" : "MISSED") " (" n " runs each)"
    exit !(r <= goal)
  }' || missed=$((missed + 1))
}

printf '%-30s %-22s %12s   %-22s %12s   %6s   %s\n' comparison baseline median measured median ratio goal
row "start-up and checking" 1.10 "$runs" "sh loop" "suite -j 1" loop -- "$suite" -j 1
row "memcheck, default jobs ($(nproc))" 0.6 "$memcheck_runs" "suite -j 1" "suite" \
  "$suite" -j 1 --timeout 300 --runner "$memcheck" -- "$suite" --timeout 300 --runner "$memcheck"
exit $((missed > 0))
