"""Reads suite's reports back as their consumers do and checks what they say.

    reports.py check TEXT JUNIT JSON TAPJSON NAME=KIND...
        The text report is the reference (its bytes are checked elsewhere):
        JUnit, JSON and TAP (as tap_results.pl read it) must give each program
        the same verdict, details and counts, in the same order.  KIND is the
        JUnit failure type expected for the program, or "pass", or "skip".

    reports.py same JUNIT1 JSON1 JUNIT2 JSON2
        The two runs' reports are the same but for their times and figures.
"""
import json
import re
import sys
import xml.etree.ElementTree as ET


def fail(message):
    sys.exit(f"FAIL {message}")


def text_of(raw):
    # What the machine reports carry of bytes that are not UTF-8.
    return raw.decode("utf-8", errors="backslashreplace")


def parse_text(path):
    """Each program's verdict, details and whether figures were shown."""
    lines = text_of(open(path, "rb").read()).split("\n")
    assert lines[-1] == "", "report ends with a newline"
    column = lines[1].index("verdict")
    programs, order = {}, []
    for line in lines[2:-1]:
        if line.startswith(" " * (column + 2)):
            programs[order[-1]]["details"].append(line[column + 2:])
        elif line.startswith("  "):
            name = line[2:].split(" ", 1)[0]
            order.append(name)
            programs[name] = {"verdict": line[column:], "details": [],
                              "figures": line[2 + len(name):column].strip() != ""}
        else:
            break
    last = lines[-2]
    counts = re.fullmatch(r"\d+ passed, \d+ failed(, \d+ not run)?", last)
    return order, programs, None if counts else last


def strict_json(path):
    def constant(name):
        fail(f"{path}: {name} is not JSON")
    with open(path, "rb") as f:
        raw = f.read()
    return json.loads(raw.decode("utf-8"), parse_constant=constant)


def check(text, junit, jsonfile, tapjson, expect):
    order, programs, stopped = parse_text(text)
    kinds = dict(e.split("=", 1) for e in expect)
    if list(kinds) != order:
        fail(f"text report lists {order}, expected {list(kinds)}")
    outcomes = [k if k in ("pass", "skip") else "fail" for k in kinds.values()]
    count = {k: outcomes.count(k) for k in ("pass", "skip", "fail")}

    # JUnit
    root = ET.parse(junit).getroot()
    if root.tag != "testsuites" or root.attrib:
        fail("<testsuites> carries attributes or is missing")
    (suite,) = list(root)
    a = suite.attrib
    for key, want in (("tests", len(order)), ("failures", count["fail"]), ("errors", 0), ("skipped", count["skip"])):
        if int(a[key]) != want:
            fail(f"JUnit {key}={a[key]}, expected {want}")
    if not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d", a["timestamp"]):
        fail(f"JUnit timestamp {a['timestamp']}")
    cases = suite.findall("testcase")
    if [c.get("name") for c in cases] != order:
        fail("JUnit test cases are not the programs in order")
    for c in cases:
        name, p = c.get("name"), programs[c.get("name")]
        kind, children = kinds[name], list(c)
        float(c.get("time"))
        if kind == "pass":
            if children:
                fail(f"JUnit {name}: a pass with {children[0].tag}")
            continue
        (child,) = children
        if kind == "skip":
            if child.tag != "skipped" or not child.get("message", "").startswith("not run"):
                fail(f"JUnit {name}: expected <skipped>, got <{child.tag}>")
            continue
        body = "\n".join(p["details"]) or p["verdict"]
        got = (child.tag, child.get("type"), child.get("message"), child.text)
        if got != ("failure", kind, p["verdict"], body):
            fail(f"JUnit {name}: {got!r}, expected {('failure', kind, p['verdict'], body)!r}")

    # JSON, as lit writes it
    data = strict_json(jsonfile)
    if data["__version__"] != [1, 0, 0] or not isinstance(data["elapsed"], float):
        fail("JSON header")
    if [t["name"] for t in data["tests"]] != order:
        fail("JSON tests are not the programs in order")
    for t in data["tests"]:
        name, p, kind = t["name"], programs[t["name"]], kinds[t["name"]]
        code = {"pass": "PASS", "skip": "SKIPPED"}.get(kind, "FAIL")
        output = "" if kind == "pass" else "\n".join([p["verdict"]] + p["details"])
        if kind == "skip":
            output = t["output"] if t["output"].startswith("not run") else None
        if (t["code"], t["output"]) != (code, output):
            fail(f"JSON {name}: {t['code']} {t['output']!r}, expected {code} {output!r}")
        if p["figures"] != ("metrics" in t):
            fail(f"JSON {name}: metrics where the text report shows no figures, or none where it does")
        if "metrics" in t:
            m = t["metrics"]
            if sorted(m) != ["exec_time", "peak_rss_kib", "sys_time", "wall_time"] or not isinstance(m["peak_rss_kib"], int) \
                    or m["peak_rss_kib"] <= 0 or min(m["exec_time"], m["sys_time"]) < 0 or m["wall_time"] != t["elapsed"]:
                fail(f"JSON {name}: metrics {m}")

    # TAP, as Perl's TAP::Parser read it
    tap = json.load(open(tapjson))
    if tap["version"] != 13 or tap["plan"] != f"1..{len(order)}" or tap["parse_errors"]:
        fail(f"TAP version, plan or parse errors: {tap['version']} {tap['plan']} {tap['parse_errors']}")
    if [(t["number"], t["name"]) for t in tap["tests"]] != list(enumerate(order, 1)):
        fail("TAP tests are not the programs in order")
    for t in tap["tests"]:
        name, p, kind = t["name"], programs[t["name"]], kinds[t["name"]]
        if bool(t["actual_ok"]) != (kind in ("pass", "skip")) or (t["skip"] is not None) != (kind == "skip"):
            fail(f"TAP {name}: ok={t['actual_ok']} skip={t['skip']}, expected {kind}")
        if kind in ("pass", "skip"):
            continue
        want = {"message": p["verdict"], **({"details": p["details"]} if p["details"] else {})}
        if t.get("yaml") != want:
            fail(f"TAP {name}: YAML {t.get('yaml')!r}, expected {want!r}")
    if (tap["bailout"] is None) != (stopped is None) or (stopped and tap["bailout"] != stopped):
        fail(f"TAP bail out {tap['bailout']!r}, the text report ends {stopped!r}")
    print(f"ok   JUnit, JSON and TAP agree with the text report on {len(order)} programs")


def same(junit1, json1, junit2, json2):
    def junit(path):
        root = ET.parse(path).getroot()
        for e in root.iter():
            e.attrib.pop("time", None)
            e.attrib.pop("timestamp", None)
        return ET.tostring(root)

    def lit(path):
        data = strict_json(path)
        data.pop("elapsed")
        for t in data["tests"]:
            t.pop("elapsed")
            t.pop("metrics", None)
            t["runs"] = [r["code"] for r in t["runs"]]
        return data

    if junit(junit1) != junit(junit2):
        fail(f"{junit1} and {junit2} differ")
    if lit(json1) != lit(json2):
        fail(f"{json1} and {json2} differ")
    print("ok   JUnit and JSON reports the same but for the figures")


if __name__ == "__main__":
    if sys.argv[1] == "check":
        check(*sys.argv[2:6], sys.argv[6:])
    elif sys.argv[1] == "same":
        same(*sys.argv[2:6])
    else:
        fail(__doc__)
