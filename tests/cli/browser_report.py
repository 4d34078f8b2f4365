#!/usr/bin/python3
"""The report pages of a run, an ensemble, a comparison and a calibration opened in headless
Chromium: each renders with no console message and no script error, every
picture loads (complete, with a width), and nothing refers outside the page.

    browser_report.py TOWNGROW_EXE WORK_FOLDER
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

CHROMIUM = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
            "--no-first-run", "--disable-background-networking", "--disable-component-update",
            "--disable-sync", "--enable-logging=stderr", "--v=0", "--virtual-time-budget=5000"]

# Added to a copy of the page: records, once loaded, every image's state and
# every script error into an element the DOM dump shows.
CHECKER = """<script>
var errors = [];
window.onerror = function (m) { errors.push(String(m)); };
window.addEventListener('load', function () {
  var out = document.createElement('pre');
  out.id = 'check';
  var imgs = Array.prototype.slice.call(document.images);
  out.textContent = 'images ' + imgs.length + ' loaded ' +
      imgs.filter(function (i) { return i.complete && i.naturalWidth > 0; }).length +
      ' errors ' + errors.length;
  document.body.appendChild(out);
});
</script>"""


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=180, **kw)


def chromium(url):
    profile = tempfile.mkdtemp(prefix="chromium-profile-")
    try:
        return run(CHROMIUM + ["--user-data-dir=" + profile, "--dump-dom", url])
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def check(page, pictures):
    failures = []
    html = open(page, encoding="utf-8").read()
    for attr in re.findall(r'(?:src|href)="([^"]*)"', html):
        if not attr.startswith("data:"):
            failures.append("refers outside the page: " + attr[:80])
    if re.search(r"<(script|link|iframe|object)\b", html):
        failures.append("holds a script, link or frame")
    shown = len(re.findall(r"<img\b", html))
    if shown != pictures:
        failures.append("shows %d pictures, not %d" % (shown, pictures))

    plain = chromium("file://" + page)
    if "CONSOLE" in plain.stderr or plain.returncode != 0:
        failures.append("console: " + plain.stderr[-800:])
    checked = page.replace(".html", "-checked.html")
    with open(checked, "w", encoding="utf-8") as f:
        f.write(html.replace("</body>", CHECKER + "</body>"))
    dom = chromium("file://" + checked).stdout
    want = "images %d loaded %d errors 0" % (pictures, pictures)
    if want not in dom:
        found = re.search(r'<pre id="check">([^<]*)</pre>', dom)
        failures.append("expected '%s', the page says '%s'" % (want, found.group(1) if found else dom[-300:]))
    return failures


def main():
    exe, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    commands = [
        "run --rows 60 --cols 70 --steps 12 --quiet --format asc --every 100 --out run",
        "run --rows 60 --cols 70 --steps 12 --seed 2 --quiet --no-gif --out other",
        "ensemble --runs 3 --rows 40 --cols 50 --steps 6 --quiet --out ens",
        "compare run/final.asc other/final.asc --start run/step-0000.asc --quiet --out cmp",
        "calibrate --start town --rows 60 --cols 70 --observed other/final.asc:12 "
        "--space space.json --runs 1 --quiet --out cal",
    ]
    with open(os.path.join(work, "space.json"), "w") as f:
        f.write('[{"id": 1, "field": "minStep", "values": [1, 4, 7]}]')
    for c in commands:
        r = run([exe] + c.split(), cwd=work)
        if r.returncode != 0:
            print("FAILED: towngrow " + c + ": " + r.stderr)
            return 1
    # run: final.png, growth.png, growth.gif; ensemble: chart and five heat maps; compare: agreement
    # map and resolution chart; calibrate: the rounds and the one parameter's chart.
    pages = {"run": 3, "other": 2, "ens": 6, "cmp": 2, "cal": 2, "cal/best/step-12": 6}
    failed = 0
    for folder, pictures in pages.items():
        for failure in check(os.path.join(os.path.abspath(work), folder, "report.html"), pictures):
            print("FAILED: %s/report.html: %s" % (folder, failure))
            failed += 1
    print("%d passed, %d failed" % (len(pages) if failed == 0 else 0, min(failed, len(pages))))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
