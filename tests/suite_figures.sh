# suite_figures.sh SUITE BIN FIXTURE
# Each program's figures are its own: a program that touches 128 MiB shows at
# least that much, and a small program checked after it far less; CPU time
# and wall time tell a busy program from a sleeping one.  With -j 1 suite
# starts the programs itself; with -j 2 through its keepers.
set -u
suite=$1 bin=$2 fixture=$3
here=$(dirname "$0")
. "$here/need.sh"
need python3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
for name in skerrow pellick mardune; do cp "$fixture" "$tmp/$name"; done
cp "$bin/ombrel" "$tmp/ombrel"

for jobs in 1 2; do
  "$suite" -j $jobs --json "$tmp/r.json" "$tmp" skerrow ombrel pellick mardune >"$tmp/out" 2>&1
  python3 - "$tmp/r.json" "$tmp/out" <<'PY' || { fail=1; cat "$tmp/out"; }
import json, re, sys
tests = {t["name"]: t["metrics"] for t in json.load(open(sys.argv[1]))["tests"]}
checks = {
    "skerrow peak >= 128 MiB": tests["skerrow"]["peak_rss_kib"] >= 128 * 1024,
    "ombrel peak < 32 MiB": tests["ombrel"]["peak_rss_kib"] < 32 * 1024,
    "pellick cpu >= 0.25 s": tests["pellick"]["exec_time"] + tests["pellick"]["sys_time"] >= 0.25,
    "pellick wall >= 0.3 s": tests["pellick"]["wall_time"] >= 0.3,
    "mardune wall >= 0.3 s": tests["mardune"]["wall_time"] >= 0.3,
    "mardune cpu < 0.1 s": tests["mardune"]["exec_time"] + tests["mardune"]["sys_time"] < 0.1,
}
# The text report shows the same figures, rounded.
for line in open(sys.argv[2]):
    m = re.match(r"  (\w+) +(\d+\.\d{3}) s +(\d+\.\d{3}) s +(\d+\.\d) MiB  ", line)
    if m:
        t = tests[m[1]]
        checks[f"{m[1]} text figures"] = (abs(float(m[2]) - t["wall_time"]) <= 0.0005 and
            abs(float(m[3]) - t["exec_time"] - t["sys_time"]) <= 0.0015 and abs(float(m[4]) * 1024 - t["peak_rss_kib"]) <= 52)
        del tests[m[1]]
checks["every line has figures"] = not tests
for what, good in checks.items():
    if not good:
        print("FAIL", what)
sys.exit(not all(checks.values()))
PY
  ((fail == 0)) && echo "ok   -j $jobs: $(grep -E '^  (skerrow|ombrel) ' "$tmp/out" | tr -s ' ' | paste -sd ';')"
done
exit $fail
