"""Renders a page of suite's in headless Chromium with scripts off, as a
reader would open it from disk, and reports what the browser made of it.

    page.py HTML SCREENSHOT.png > facts.json

It speaks the DevTools protocol over a pipe (--remote-debugging-pipe), so
that it needs no network and no library.  The facts: every element's tag
name counted, the matrix's rows and cells as text, each chart's id and
rendered size, the number of <details> and their summaries, the requests the
page made, the console's messages (a refused load shows there), the page's
width in a 360-pixel window, its background in the dark and the light, and
the size of its print as PDF.
"""
import base64
import json
import os
import subprocess
import sys
import tempfile

html, shot = os.path.abspath(sys.argv[1]), sys.argv[2]
profile = tempfile.mkdtemp()
to_chrome_r, to_chrome_w = os.pipe()
from_chrome_r, from_chrome_w = os.pipe()


def start():
    # Chromium reads fd 3 and writes fd 4; moved out of the way first, in
    # case a pipe already has one of those numbers.
    r, w = os.dup(to_chrome_r), os.dup(from_chrome_w)
    os.dup2(r, 3)
    os.dup2(w, 4)


chrome = subprocess.Popen(
    ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
     "--disable-background-networking", "--disable-component-update", "--disable-sync", "--disable-extensions",
     "--remote-debugging-pipe", f"--user-data-dir={profile}", "--window-size=1000,1400", "about:blank"],
    preexec_fn=start, close_fds=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
os.close(to_chrome_r)
os.close(from_chrome_w)
out = os.fdopen(to_chrome_w, "wb")
inp = os.fdopen(from_chrome_r, "rb")
events, pending, next_id = [], b"", 0


def read_message():
    global pending
    while b"\0" not in pending:
        chunk = inp.read1(1 << 16)
        if not chunk:
            sys.exit("FAIL Chromium closed its pipe")
        pending += chunk
    raw, pending = pending.split(b"\0", 1)
    return json.loads(raw)


def call(method, session=None, **params):
    global next_id
    next_id += 1
    message = {"id": next_id, "method": method, "params": params}
    if session:
        message["sessionId"] = session
    out.write(json.dumps(message).encode() + b"\0")
    out.flush()
    while True:
        m = read_message()
        if m.get("id") == next_id:
            if "error" in m:
                sys.exit(f"FAIL {method}: {m['error']}")
            return m["result"]
        events.append(m)


def wait_for(event):
    while True:
        for i, e in enumerate(events):
            if e.get("method") == event:
                return events.pop(i)
        events.append(read_message())


try:
    target = call("Target.createTarget", url="about:blank")["targetId"]
    session = call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
    for domain in ("Page", "Network", "Log", "Runtime"):
        call(f"{domain}.enable", session)
    call("Emulation.setScriptExecutionDisabled", session, value=True)
    call("Page.navigate", session, url="file://" + html)
    wait_for("Page.loadEventFired")
    # The DevTools' own evaluation runs with the page's scripts off.
    facts = call("Runtime.evaluate", session, returnByValue=True, expression="""(() => {
        const tags = {};
        for (const e of document.querySelectorAll('*')) tags[e.localName] = (tags[e.localName] || 0) + 1;
        const text = e => e.textContent.replace(/\\s+/g, ' ').trim();
        const matrix = document.querySelector('table.matrix');
        return {
          title: document.title,
          tags,
          matrix: matrix ? [...matrix.rows].map(r => [...r.cells].map(text)) : null,
          charts: [...document.querySelectorAll('svg')].map(s => {
            const b = s.getBoundingClientRect();
            return {id: s.getAttribute('aria-labelledby'), title: text(s.querySelector('title')),
                    width: b.width, height: b.height};
          }),
          details: [...document.querySelectorAll('details')].map(d => text(d.querySelector('summary'))),
          details_text: [...document.querySelectorAll('details')].map(text),
          body_text: document.body.innerText,
        };
    })()""")["result"]["value"]
    facts["requests"] = [e["params"]["request"]["url"] for e in events if e.get("method") == "Network.requestWillBeSent"]
    facts["console"] = [e["params"]["entry"]["text"] for e in events if e.get("method") == "Log.entryAdded"]
    # A narrow window scrolls only inside the wide tables; the reader's dark
    # preference is followed; the page prints.
    look = "({width: document.documentElement.scrollWidth, background: getComputedStyle(document.body).backgroundColor})"
    call("Emulation.setDeviceMetricsOverride", session, width=360, height=800, deviceScaleFactor=1, mobile=False)
    facts["narrow"] = call("Runtime.evaluate", session, returnByValue=True, expression=look)["result"]["value"]
    call("Emulation.clearDeviceMetricsOverride", session)
    call("Emulation.setEmulatedMedia", session, features=[{"name": "prefers-color-scheme", "value": "dark"}])
    facts["dark"] = call("Runtime.evaluate", session, returnByValue=True, expression=look)["result"]["value"]
    call("Emulation.setEmulatedMedia", session, features=[{"name": "prefers-color-scheme", "value": "light"}])
    facts["light"] = call("Runtime.evaluate", session, returnByValue=True, expression=look)["result"]["value"]
    facts["pdf_bytes"] = len(base64.b64decode(call("Page.printToPDF", session)["data"]))
    metrics = call("Page.getLayoutMetrics", session)["cssContentSize"]
    shot_data = call("Page.captureScreenshot", session, format="png", captureBeyondViewport=True,
                     clip={"x": 0, "y": 0, "width": 1000, "height": min(metrics["height"], 1400), "scale": 1})
    with open(shot, "wb") as f:
        f.write(base64.b64decode(shot_data["data"]))
    call("Browser.close")
finally:
    chrome.wait(timeout=30) if chrome.poll() is None else None
print(json.dumps(facts))
