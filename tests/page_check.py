"""Checks what Chromium made of a page of suite's (see suite_page.sh).

    page_check.py two|one FACTS.json PAGE.html ODD_FOLDER
"""
import json
import os
import sys

PROGRAMS = "skerrow ombrel pellick mardune tovash1 tovash2 brellow zarvin lokett".split()
which, facts_path, page, odd = sys.argv[1:]
f = json.load(open(facts_path))
errors = []


def check(good, what):
    if not good:
        errors.append(f"{which}: {what}")


# Nothing a program printed or a folder holds became an element, and the
# page asked for nothing but itself.
for tag in ("script", "img", "iframe", "object", "embed", "link"):
    check(tag not in f["tags"], f"the page has a <{tag}>")
check(f["requests"] == ["file://" + os.path.abspath(page)], f"the page loaded {f['requests']}")
check(not f["console"], f"the console says {f['console']}")

check(f["narrow"]["width"] <= 360, f"in a 360-pixel window the page is {f['narrow']['width']} wide")
check(f["dark"]["background"] != f["light"]["background"], "the page does not follow a dark preference")
check(f["pdf_bytes"] > 10000, "the page does not print")

odd_label = os.path.basename(odd)
matrix = f["matrix"]
check(len(matrix) == 10 and [r[0] for r in matrix[1:]] == PROGRAMS, "the matrix has not a row per program")
charts = f["charts"]
check(len(charts) == 18 and len({c["id"] for c in charts}) == 18, f"{len(charts)} charts, not one per program and metric")
check(all(c["width"] > 100 and c["height"] > 40 and c["title"] for c in charts), "a chart without size or title")

if which == "two":
    check(matrix[0][2] == odd_label, f"the hostile folder's label shows as {matrix[0][2]!r}")
    cells = {r[0]: r[1:] for r in matrix[1:]}
    check(cells["skerrow"][1] == "\u2717 missing" and cells["pellick"][1] == "\u2717 wrong output",
          f"failed cells {cells['skerrow']} {cells['pellick']}")
    check(all(c[0] == "\u2713 passed" for c in cells.values()), "the reference did not pass")
    check(len(f["details"]) == 2 and f["details"][0].startswith(odd_label + " :: skerrow: missing"),
          f"failure details {f['details']}")
    pellick = f["details_text"][1]
    check('"<script>alert(3)</script>"' in pellick and 'got "\\"><img src=x onerror=alert(4)>"' in pellick,
          f"pellick's output does not show as text: {pellick!r}")
    check(odd in f["body_text"], "the hostile folder's name does not show as text")
    check("ratio to" in f["body_text"], "no ratio to the reference")
else:
    check(all(len(r) == 2 for r in matrix), "one build, but not one column")
    check(all(c[1] == "\u2713 passed" for c in matrix[1:]), "the build did not pass")
    check("ratio to" not in f["body_text"] and not f["details"], "a comparison or a failure with one build")
for e in errors:
    print("FAIL", e)
if not errors:
    print(f"ok   {which}: rendered with scripts off: the matrix, {len(charts)} charts, "
          f"{len(f['details'])} failures, nothing loaded, nothing made of outside text")
sys.exit(1 if errors else 0)
