#!/usr/bin/env python3
"""Opens URL in headless Chromium and prints the text of #selftest once the
page has written it. Driven over the DevTools pipe in real time: a virtual
time budget would stand still while the format's request is open, so the
progress bar could not be seen moving.
   selftest_page.py URL [SECONDS]"""
import json, os, subprocess, sys, tempfile, time

url = sys.argv[1]
limit = float(sys.argv[2]) if len(sys.argv) > 2 else 60
to_browser_r, to_browser_w = os.pipe()
from_browser_r, from_browser_w = os.pipe()


def fds():
    # The DevTools pipe is fd 3 (commands in) and fd 4 (answers out).
    # Copies first: a pipe end that is already fd 3 would keep its close-on-exec.
    commands, answers = os.dup(to_browser_r), os.dup(from_browser_w)
    os.dup2(commands, 3)
    os.dup2(answers, 4)


profile = tempfile.mkdtemp()
browser = subprocess.Popen(
    ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
     "--disable-background-networking", "--disable-component-update", "--disable-sync",
     "--user-data-dir=" + profile, "--remote-debugging-pipe", "about:blank"],
    preexec_fn=fds, close_fds=False, stdout=subprocess.DEVNULL, stderr=open(os.environ.get("CHROMIUM_LOG", os.devnull), "w"))
os.close(to_browser_r)
os.close(from_browser_w)
pending = b""
next_id = 0


def ask(method, params=None, session=None):
    global pending, next_id
    next_id += 1
    message = {"id": next_id, "method": method, "params": params or {}}
    if session:
        message["sessionId"] = session
    os.write(to_browser_w, json.dumps(message).encode() + b"\0")
    while True:
        while b"\0" not in pending:
            chunk = os.read(from_browser_r, 65536)
            if not chunk:
                raise RuntimeError("the browser went away")
            pending += chunk
        text, pending = pending.split(b"\0", 1)
        reply = json.loads(text)
        if reply.get("id") == next_id:
            if "error" in reply:
                raise RuntimeError(f"{method}: {reply['error']}")
            return reply["result"]


result = ""
try:
    # The page's downloads are checked by size; none is written to disk.
    ask("Browser.setDownloadBehavior", {"behavior": "deny"})
    target = ask("Target.createTarget", {"url": url})["targetId"]
    session = ask("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
    until = time.time() + limit
    while not result and time.time() < until:
        time.sleep(0.5)
        value = ask("Runtime.evaluate", {"expression": "(document.getElementById('selftest') || {}).textContent || ''"},
                    session)
        result = value.get("result", {}).get("value", "")
    try:
        ask("Browser.close")
    except RuntimeError:
        pass
finally:
    try:
        browser.wait(timeout=10)
    except subprocess.TimeoutExpired:
        browser.kill()
        browser.wait()
    subprocess.run(["rm", "-rf", profile])
print(result or f"no result line within {limit:.0f} s")
sys.exit(0 if result.startswith("SELFTEST PASS") else 1)
