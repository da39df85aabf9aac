"""Reads back the reports of a check of three builds (see suite_builds.sh).

    builds.py TEXT JUNIT JSON MARKDOWN_HTML TAPJSON REF SLOW ODD
    builds.py --scipy JSON      the p-values and ratios, against SciPy's
"""
import json
import os
import statistics
import sys
import xml.etree.ElementTree as ET
from html.parser import HTMLParser

PROGRAMS = "skerrow ombrel pellick mardune tovash1 tovash2 brellow zarvin lokett".split()
# The reference is a build tree's bin, labelled by its preset's folder.
LABELS = [os.path.basename(os.path.dirname(sys.argv[-3])), "slow", 'odd |<i>&"x']
FAILED = {('odd |<i>&"x', "skerrow"): "missing", ('odd |<i>&"x', "zarvin"): "flaky"}
METRICS = ["wall_time", "exec_time", "peak_rss_kib"]
errors = []


def check(good, what):
    if not good:
        errors.append(what)


def text(path):
    lines = open(path, encoding="utf-8").read().split("\n")
    check(lines[-2] == "25 passed, 2 failed", f"text: last line {lines[-2]!r}")
    rows = {l.split()[0]: l for l in lines if l.startswith("  ") and l.split()[0] in PROGRAMS}
    check(len(rows) == 9, "text: a row per program")
    wall = lines[lines.index("wall time, median of 9 runs, and ratio to " + LABELS[0]) + 2:][:9]
    walls = {l.split()[0]: l for l in wall}
    check("x slower " in walls["lokett"], f"text: lokett is not slower: {walls['lokett']!r}")
    check("flaky: 3 of 9 runs failed" in walls["zarvin"], f"text: zarvin is not flaky: {walls['zarvin']!r}")
    check(walls["skerrow"].rstrip().endswith("  missing"), f"text: skerrow is not missing: {walls['skerrow']!r}")
    widths = {len(l) for l in lines if l.startswith("  program")}
    check(len(widths) == 1 and max(len(l) for l in lines[:lines.index("failures")] if "±" in l) <= 100,
          "text: the tables are not aligned within 100 columns")
    fails = lines[lines.index("failures") + 1:-2]
    path = '"' + (sys.argv[8] + "/skerrow").replace("\\", "\\\\").replace('"', '\\"') + '"'
    check(fails[0] == '  odd |<i>&"x :: skerrow: missing: ' + path, f"text: {fails[0]!r}")
    check(fails[1] == '  odd |<i>&"x :: zarvin: flaky: failed 3 of 9 runs; run 3: wrong output', f"text: {fails[1]!r}")
    check(fails[2] == '      line 1: expected "1234", got "4321"', f"text: {fails[2]!r}")


def junit(path, dirs):
    suites = ET.parse(path).getroot().findall("testsuite")
    check([s.get("name") for s in suites] == LABELS, "JUnit: a suite per build, named by its label")
    for s, d in zip(suites, dirs):
        props = {p.get("name"): p.get("value") for p in s.find("properties")}
        check(props["dir"] == d, f"JUnit {s.get('name')}: dir {props['dir']!r}")
        want = [f for (l, _), f in FAILED.items() if l == s.get("name")]
        check(int(s.get("failures")) == len(want) and int(s.get("tests")) == 9, f"JUnit {s.get('name')}: counts")
        types = sorted(f.get("type") for f in s.iter("failure"))
        check(types == sorted(want), f"JUnit {s.get('name')}: failure types {types}")


def lit(path, dirs):
    data = json.load(open(path))
    names = [t["name"] for t in data["tests"]]
    check(names == [f"{l} :: {p}" for p in PROGRAMS for l in LABELS], "JSON: a test per cell, named LABEL :: NAME")
    check(len(set(names)) == len(names), "JSON: a name twice")
    check(data["builds"] == [{"label": l, "dir": d, "reference": l == LABELS[0]} for l, d in zip(LABELS, dirs)],
          f"JSON builds {data['builds']}")
    for t in data["tests"]:
        label, program = t["name"].split(" :: ")
        want = "FAIL" if (label, program) in FAILED else "PASS"
        check(t["code"] == want and len(t["runs"]) == 9, f"JSON {t['name']}: {t['code']}, {len(t['runs'])} runs")
        if "metrics" not in t:
            continue
        for m in METRICS + ["sys_time"]:
            median = statistics.median(r[m] for r in t["runs"])
            check(abs(t["metrics"][m] - median) <= 0.51e-6 * (1 if m != "peak_rss_kib" else 1e6),
                  f"JSON {t['name']}: {m} {t['metrics'][m]} is not the median of its runs, {median}")
    got = {(c["build"], c["program"], c["metric"]) for c in data["comparisons"]}
    want = {(l, p, m) for l in LABELS[1:] for p in PROGRAMS for m in METRICS if (l, p) not in FAILED}
    check(got == want and len(data["comparisons"]) == len(want), "JSON: not one comparison per cell and metric")
    verdicts = {(c["build"], c["program"], c["metric"]): c["verdict"] for c in data["comparisons"]}
    check(verdicts[("slow", "lokett", "wall_time")] == "higher", "JSON: slow lokett is not higher")
    check(set(verdicts.values()) <= {"higher", "lower", "same"}, "JSON: a verdict that is not higher, lower, same")


class Cells(HTMLParser):
    def __init__(self):
        super().__init__()
        self.tables, self.cell, self.tags = [], None, set()

    def handle_starttag(self, tag, attrs):
        self.tags.add(tag)
        if tag == "table":
            self.tables.append([])
        elif tag == "tr":
            self.tables[-1].append([])
        elif tag in ("td", "th"):
            self.cell = ""

    def handle_endtag(self, tag):
        if tag in ("td", "th"):
            self.tables[-1][-1].append(self.cell)
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data


def markdown(path, dirs):
    p = Cells()
    p.feed(open(path, encoding="utf-8").read())
    check("i" not in p.tags and "script" not in p.tags, f"Markdown: a folder's name made markup: {p.tags}")
    builds, matrix = p.tables
    check(builds[1:] == [[LABELS[0] + " (reference)", dirs[0]], ["slow", dirs[1]], [LABELS[2], dirs[2]]],
          f"Markdown builds {builds}")
    check(matrix[0] == ["program"] + LABELS, f"Markdown header {matrix[0]}")
    rows = {r[0]: r[1:] for r in matrix[1:]}
    check(list(rows) == PROGRAMS and all(len(r) == 3 for r in rows.values()), "Markdown: a row per program")
    check(rows["zarvin"][2] == "flaky: 3 of 9 runs failed" and rows["skerrow"][2] == "missing",
          f"Markdown failed cells {rows['zarvin'][2]!r} {rows['skerrow'][2]!r}")
    check(rows["lokett"][1].startswith("passed, ") and " slower, " in rows["lokett"][1], f"Markdown {rows['lokett']}")


def tap(path):
    t = json.load(open(path))
    check(t["plan"] == "1..27" and not t["parse_errors"], "TAP plan")
    check([x["name"] for x in t["tests"]] == [f"{l} :: {p}" for p in PROGRAMS for l in LABELS], "TAP names")
    bad = [x["name"] for x in t["tests"] if not x["ok"]]
    check(bad == [f"{l} :: {p}" for p in PROGRAMS for l in LABELS if (l, p) in FAILED], f"TAP failures {bad}")


def against_scipy(path):
    from scipy.stats import mannwhitneyu
    data = json.load(open(path))
    runs = {tuple(t["name"].split(" :: ")): t["runs"] for t in data["tests"]}
    reference = next(b["label"] for b in data["builds"] if b["reference"])
    for c in data["comparisons"]:
        x = [r[c["metric"]] for r in runs[(reference, c["program"])]]
        y = [r[c["metric"]] for r in runs[(c["build"], c["program"])]]
        p = mannwhitneyu(x, y, alternative="two-sided", use_continuity=True, method="asymptotic").pvalue
        ratio = statistics.median(y) / statistics.median(x) if statistics.median(x) else None
        check(abs(c["p_value"] - p) <= 1e-5 * p + 1e-12, f"{c}: SciPy's p-value is {p}")
        check(ratio is None or abs(c["ratio"] - ratio) <= 1e-3 * ratio, f"{c}: the ratio of medians is {ratio}")


if sys.argv[1] == "--scipy":
    against_scipy(sys.argv[2])
    what = "the p-values and ratios agree with SciPy's"
else:
    out, xml, lit_json, html, tap_json, *dirs = sys.argv[1:]
    text(out)
    junit(xml, dirs)
    lit(lit_json, dirs)
    markdown(html, dirs)
    tap(tap_json)
    what = "text, JUnit, JSON, Markdown and TAP agree on 3 builds × 9 programs"
for e in errors:
    print("FAIL", e)
print("ok  ", what) if not errors else None
sys.exit(1 if errors else 0)
