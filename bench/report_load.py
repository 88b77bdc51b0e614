#!/usr/bin/python3
"""Loads an HTML report in headless Chromium and measures what a reader waits for.

Chromium is driven through its DevTools protocol over a pipe (--remote-debugging-pipe: commands
on descriptor 3, answers on descriptor 4, each a JSON message ended by a NUL byte), so nothing
but the Python standard library is needed. Every run starts a fresh browser with an empty
profile at a 1400 x 900 window and measures, from the start of the navigation:
- first paint and first contentful paint (the paint timing entries);
- top: the report's heading painted (an element timing entry: the measured copy of the report
  marks the <h1> with elementtiming);
- largest contentful paint (the last entry before the sort);
- load: the end of the load event;
- sort: with the table scrolled to, a click on a header of table#pages until the second
  animation frame after it (the re-sorted table laid out and painted), for three columns
  (names, numbers, mostly empty) once ascending and once descending; the median and the
  slowest;
- loaded: the cards' pictures loaded (complete, with a natural width) two frames after the
  load, against the cards that have pictures;
- decoded: the distinct pictures the renderer decoded during the load and the sorts (the
  trace's image decoding events);
- shown: after a scroll to the card in the middle of the book, the cards on screen whose picture
  is there (complete, with a natural width) once a few frames have passed;
- wall: the wall-clock time of a separate `chromium --headless --dump-dom` of the report, from
  the process's start to its end (browser start, load and the dump).

Usage: report_load.py REPORT.html RUNS [CHROMIUM]
Prints one line a run and the medians, in milliseconds.
"""
import fcntl
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--disable-extensions", "--mute-audio", "--window-size=1400,900",
]

# Runs in the page after its load: waits two frames, then takes the paint figures and the
# table's sort times.
MEASURE = r"""
(async () => {
  const frames = (n) => new Promise((done) => {
    const step = () => (--n <= 0 ? done() : requestAnimationFrame(step));
    requestAnimationFrame(step);
  });
  await frames(2);
  const pictures = Array.from(document.querySelectorAll("article.card .thumb img"));
  const loaded = pictures.filter((img) => img.complete && img.naturalWidth > 0).length;
  const paint = {};
  for (const entry of performance.getEntriesByType("paint")) paint[entry.name] = entry.startTime;
  const element = (name) => new Promise((done) => {
    new PerformanceObserver((list, observer) => {
      for (const entry of list.getEntries())
        if (entry.identifier === name) { observer.disconnect(); done(entry.renderTime || entry.loadTime); }
    }).observe({type: "element", buffered: true});
    setTimeout(() => done(null), 1000);
  });
  const lcpTime = () => new Promise((done) => {
    let last = null;
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) last = entry.startTime;
    }).observe({type: "largest-contentful-paint", buffered: true});
    setTimeout(() => done(last), 50);
  });
  const top = await element("top");
  const lcp = await lcpTime();
  const nav = performance.getEntriesByType("navigation")[0];
  // A reader clicks a header they see: the table is scrolled to first.
  const table = document.getElementById("pages");
  table.scrollIntoView();
  await frames(3);
  const heads = Array.from(table.tHead.rows[0].cells);
  const sorts = [];
  for (const name of SORTED) {
    const head = heads.find((h) => h.textContent.trim() === name);
    for (let k = 0; k < 2; ++k) {
      const start = performance.now();
      head.click();
      await frames(2);
      sorts.push(performance.now() - start);
    }
  }
  return JSON.stringify({fp: paint["first-paint"], fcp: paint["first-contentful-paint"], top, lcp,
                         dcl: nav.domContentLoadedEventEnd, load: nav.loadEventEnd, sorts, loaded,
                         cards: pictures.length});
})()
"""
# The columns sorted: names (text), widths (numbers), the extremes a page sets (mostly empty).
SORTED = ["name", "width", "sets"]

# After the measures: scrolls to the card in the middle of the book and counts the pictures on
# screen that are shown (decoded to a size) once a few frames have passed.
SCROLL_CHECK = r"""
(async () => {
  const frames = (n) => new Promise((done) => {
    const step = () => (--n <= 0 ? done() : requestAnimationFrame(step));
    requestAnimationFrame(step);
  });
  const articles = document.querySelectorAll("article.card");
  articles[Math.floor(articles.length / 2)].scrollIntoView();
  await frames(3);
  await new Promise((done) => setTimeout(done, 300));
  let shown = 0, onScreen = 0;
  for (const img of document.querySelectorAll("article.card .thumb img")) {
    const r = img.getBoundingClientRect();
    if (r.bottom < 0 || r.top > innerHeight) continue;
    ++onScreen;
    if (img.complete && img.naturalWidth > 0) ++shown;
  }
  return JSON.stringify({onScreen, shown});
})()
"""


class Browser:
    """A headless Chromium driven over its DevTools pipe."""

    def __init__(self, chromium, profile):
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()
        # The child's descriptors 3 and 4 must be the pipe's ends; pass_fds keeps them open.
        def arrange():
            ends = [fcntl.fcntl(fd, fcntl.F_DUPFD, 10) for fd in (to_browser_r, from_browser_w)]
            os.dup2(ends[0], 3)
            os.dup2(ends[1], 4)
        self.process = subprocess.Popen(
            [chromium, *CHROMIUM_FLAGS, "--remote-debugging-pipe", f"--user-data-dir={profile}",
             "about:blank"],
            preexec_fn=arrange, pass_fds=(3, 4),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def read_message(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("chromium closed its pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            answer = self.read_message()
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer["result"]
            self.events.append(answer)

    def wait_for(self, method):
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(i)
            self.events.append(self.read_message())

    def close(self):
        try:
            self.send("Browser.close")
        except (RuntimeError, OSError):
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)


def decoded_pictures(trace):
    """The distinct pictures decoded in a trace: the ids of the decoding events' pictures."""
    return len({event["args"].get("LazyPixelRef") for event in trace
                if event.get("name") == "Decode LazyPixelRef"})


def measure_once(chromium, url):
    profile = tempfile.mkdtemp(prefix="report-load-")
    browser = Browser(chromium, profile)
    try:
        target = next(t for t in browser.send("Target.getTargets")["targetInfos"]
                      if t["type"] == "page")
        session = browser.send("Target.attachToTarget",
                               {"targetId": target["targetId"], "flatten": True})["sessionId"]
        browser.send("Page.enable", session=session)
        browser.send("Tracing.start", {
            "categories": "-*,disabled-by-default-devtools.timeline",
            "transferMode": "ReportEvents"})
        browser.send("Page.navigate", {"url": url}, session=session)
        browser.wait_for("Page.loadEventFired")
        evaluate = lambda script: browser.send("Runtime.evaluate", {
            "expression": script, "awaitPromise": True, "returnByValue": True}, session=session)
        result = evaluate(MEASURE.replace("SORTED", json.dumps(SORTED)))
        browser.send("Tracing.end")
        trace = []
        while True:
            event = browser.read_message()
            if event.get("method") == "Tracing.dataCollected":
                trace += event["params"]["value"]
            elif event.get("method") == "Tracing.tracingComplete":
                break
        if "exceptionDetails" in result:
            raise RuntimeError(json.dumps(result["exceptionDetails"]))
        figures = json.loads(result["result"]["value"])
        figures["decoded"] = decoded_pictures(trace)
        figures.update(json.loads(evaluate(SCROLL_CHECK)["result"]["value"]))
        return figures
    finally:
        browser.close()
        shutil.rmtree(profile, ignore_errors=True)


def wall_once(chromium, url):
    profile = tempfile.mkdtemp(prefix="report-wall-")
    try:
        start = time.monotonic()
        subprocess.run([chromium, *CHROMIUM_FLAGS, f"--user-data-dir={profile}", "--dump-dom", url],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True,
                       timeout=300)
        return (time.monotonic() - start) * 1000
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def main():
    report, runs = sys.argv[1], int(sys.argv[2])
    chromium = sys.argv[3] if len(sys.argv) > 3 else "/usr/bin/chromium"
    # The measured copy: the heading marked for element timing.
    with open(report, encoding="utf-8") as f:
        html = f.read()
    measured = os.path.join(tempfile.mkdtemp(prefix="report-copy-"), "report.html")
    with open(measured, "w", encoding="utf-8") as f:
        f.write(re.sub(r"<h1\b", '<h1 elementtiming="top"', html, count=1))
    url = "file://" + measured
    keys = ["fp", "fcp", "top", "lcp", "dcl", "load", "sort", "sort_max", "wall"]
    rows = []
    print(f"report: {os.path.getsize(report) / 1e6:.2f} MB; runs: {runs}")
    print("run | " + " | ".join(keys) +
          " | loaded/cards | decoded | shown/on screen after scrolling")
    for run in range(runs):
        f = measure_once(chromium, url)
        f["sort"], f["sort_max"] = statistics.median(f["sorts"]), max(f["sorts"])
        f["wall"] = wall_once(chromium, url)
        rows.append(f)
        print(f"{run + 1} | " + " | ".join(
            "-" if f[k] is None else f"{f[k]:.0f}" for k in keys) +
            f" | {f['loaded']}/{f['cards']} | {f['decoded']} | {f['shown']}/{f['onScreen']}")
    print("median | " + " | ".join(
        f"{statistics.median(r[k] for r in rows if r[k] is not None):.0f}"
        if any(r[k] is not None for r in rows) else "-" for k in keys))
    shutil.rmtree(os.path.dirname(measured), ignore_errors=True)


if __name__ == "__main__":
    main()
