#!/usr/bin/env bash
# What suite costs over the nine Release programs, and whether it tells real
# differences from noise:
#   - suite -j 1 against a plain sh loop that runs the same nine with
#     standard input from /dev/null and their output to /dev/null
#     (goal: at most 1.10), and the same with --repeat 20 against twenty
#     such loops (goal: at most 1.10);
#   - one call over five build folders against five calls, one a folder
#     (goal: at most 1.0);
#   - the nine under valgrind's memcheck with the default jobs against -j 1
#     (goal: at most 0.6 on two processors);
#   - A/A: the build against an identical copy of itself, --repeat 20, twenty
#     times (goal: no real difference in at least 19 of 20 checks);
#   - a mardune made 30% slower (bench/slow.c), --repeat 20, twenty times
#     (goal: reported slower in at least 19 of 20 checks).
# Each ratio is of medians over runs taken in turn, so that both sides see
# the same machine.
#
#   bench/suite.sh [RUNS [MEMCHECK_RUNS [CHECKS]]]      (defaults 60, 9 and 20)
#
# Builds the release preset first.  Exits 1 when a goal is missed.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
runs=${1:-60}
memcheck_runs=${2:-9}
checks=${3:-20}
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
bin=$PWD/build/release/bin
suite=$bin/suite
programs=$("$suite" --help | sed -n 's/^Programs: //p')
memcheck="valgrind -q --error-exitcode=1 --leak-check=full"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# us COMMAND...: microseconds that one run of COMMAND took.
us() {
  local t0=${EPOCHREALTIME/./}
  "$@" >/dev/null 2>&1 || true
  echo $((${EPOCHREALTIME/./} - t0))
}

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# loop ROUNDS: the nine programs, ROUNDS times over, from sh.
loop() { sh -c 'for r in $(seq "$3"); do for p in $2; do "$1/$p" </dev/null >/dev/null 2>&1; done; done' sh "$bin" "$programs" "$1"; }
# calls DIR...: suite once for each folder.
calls() { local d; for d; do "$suite" "$d"; done; }

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

# Five build folders: the release build and four copies of it.
folders=("$bin")
for i in 2 3 4 5; do
  mkdir -p "$tmp/build$i" && cp -r "$bin" "$tmp/build$i/bin"
  folders+=("$tmp/build$i/bin")
done

printf '%-30s %-22s %12s   %-22s %12s   %6s   %s\n' comparison baseline median measured median ratio goal
row "start-up and checking" 1.10 "$runs" "sh loop" "suite -j 1" loop 1 -- "$suite" -j 1
row "20 runs each" 1.10 $((runs / 4)) "20 sh loops" "suite -j 1 --repeat 20" loop 20 -- "$suite" -j 1 --repeat 20
row "five builds" 1.0 $((runs / 2)) "five calls" "one call" calls "${folders[@]}" -- "$suite" "${folders[@]}"
row "memcheck, default jobs ($(nproc))" 0.6 "$memcheck_runs" "suite -j 1" "suite" \
  "$suite" -j 1 --timeout 300 --runner "$memcheck" -- "$suite" --timeout 300 --runner "$memcheck"

# count GOAL WHAT CHECKS... : how many of the checks' JSON reports say WHAT.
# WHAT is "none": no comparison found a real difference; or "slower": the
# mardune of the second build was found slower in wall time.
count() {
  python3 - "$@" <<'PY'
import json, sys
what, files = sys.argv[1], sys.argv[2:]
def says(path):
    c = json.load(open(path))["comparisons"]
    if what == "none":
        return all(x["verdict"] == "same" for x in c)
    return any(x["program"] == "mardune" and x["metric"] == "wall_time" and x["verdict"] == "higher" for x in c)
print(sum(says(f) for f in files))
PY
}

# judged NAME WHAT ARGS...: CHECKS checks of suite --repeat 20 ARGS, and how
# many of them say WHAT; the goal is all but one of twenty.
judged() {
  local name=$1 what=$2 i files=() got goal
  shift 2
  for ((i = 0; i < checks; i++)); do
    "$suite" --repeat 20 --json "$tmp/check$i.json" "$@" >/dev/null 2>&1 || true
    files+=("$tmp/check$i.json")
  done
  got=$(count "$what" "${files[@]}")
  goal=$(((checks * 19 + 19) / 20))
  printf '%-30s %-72s %2d of %2d   >= %d  %s\n' "$name" \
    "$([[ $what == none ]] && echo "checks that found no real difference" || echo "checks that found mardune slower")" \
    "$got" "$checks" "$goal" "$( ((got >= goal)) && echo met || echo MISSED)"
  ((got >= goal)) || missed=$((missed + 1))
}

# A mardune whose busy loop is 30% longer, beside one that is not.
mkdir -p "$tmp/base" "$tmp/slower"
for p in $programs; do cp "$bin/$p" "$tmp/base/" && cp "$bin/$p" "$tmp/slower/"; done
cc -O2 -DLOOPS=100000000UL bench/slow.c -o "$tmp/base/mardune"
cc -O2 -DLOOPS=130000000UL bench/slow.c -o "$tmp/slower/mardune"
judged "A/A, --repeat 20" none "$bin" "${folders[1]}"
judged "30% slower, --repeat 20" slower "$tmp/base" "$tmp/slower"
exit $((missed > 0))
