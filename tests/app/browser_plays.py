#!/usr/bin/python3
"""usage: browser_plays.py ANIMATION [SECONDS]

Shows ANIMATION (an APNG or GIF) in an <img> of a page in headless Chromium,
driven over the DevTools protocol on a pipe, and takes two screenshots
SECONDS apart (default 1). Passes when the picture shows and the two differ:
the browser plays the animation. Prints one line; exit status 0 or 1."""
import base64
import fcntl
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageChops

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--remote-debugging-pipe", "--window-size=400,400"]


class Browser:
    """Chromium on the DevTools pipe: commands in on fd 3, answers and events out on fd 4, NUL-ended JSON."""

    def __init__(self, profile):
        to_browser, self.commands = os.pipe()
        self.answers, from_browser = os.pipe()

        def fds():  # in the child: the pipe's ends on 3 and 4, kept across exec
            high = [fcntl.fcntl(fd, fcntl.F_DUPFD, 10) for fd in (to_browser, from_browser)]
            for target, fd in zip((3, 4), high):
                os.dup2(fd, target)

        self.process = subprocess.Popen(["chromium"] + FLAGS + ["--user-data-dir=" + profile],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, close_fds=False, preexec_fn=fds)
        os.close(to_browser)
        os.close(from_browser)
        self.buffer, self.next_id, self.events = b"", 0, []

    def read(self, deadline):
        while b"\0" not in self.buffer:
            if time.monotonic() > deadline:
                raise TimeoutError("no answer from Chromium")
            chunk = os.read(self.answers, 65536)
            if not chunk:
                raise EOFError("Chromium closed its pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, session=None, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + 30
        while True:
            answer = self.read(deadline)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer["result"]
            self.events.append(answer)

    def wait_for(self, method, deadline):
        while not any(e.get("method") == method for e in self.events):
            self.events.append(self.read(deadline))

    def close(self):
        try:
            self.call("Browser.close")
        except (OSError, RuntimeError, TimeoutError, EOFError):
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


def main(animation, seconds):
    work = tempfile.mkdtemp()
    page = os.path.join(work, "page.html")
    shutil.copy(animation, os.path.join(work, "animation"))
    with open(page, "w", encoding="utf-8") as out:
        out.write('<!doctype html><body style="margin:0;background:#fff"><img src="animation"></body>')
    browser = Browser(os.path.join(work, "profile"))
    try:
        target = browser.call("Target.createTarget", url="about:blank")["targetId"]
        session = browser.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        browser.call("Page.enable", session)
        browser.call("Page.navigate", session, url="file://" + page)
        browser.wait_for("Page.loadEventFired", time.monotonic() + 30)
        shots = []
        for pause in (0.2, seconds):
            time.sleep(pause)
            data = browser.call("Page.captureScreenshot", session, format="png")["data"]
            shots.append(Image.open(io.BytesIO(base64.b64decode(data))).convert("RGB"))
    finally:
        browser.close()
        shutil.rmtree(work, ignore_errors=True)
    with Image.open(animation) as image:
        width, height = image.size
    shown = shots[0].crop((0, 0, width, height)).getcolors(1 << 24)
    changed = sum(1 for p in ImageChops.difference(*shots).getdata() if p != (0, 0, 0))
    if len(shown) < 3 or changed < 20:
        print(f"FAIL: {animation}: {len(shown)} colours shown, {changed} pixels changed in {seconds} s")
        return 1
    print(f"browser plays {animation}: {changed} pixels changed between screenshots {seconds} s apart")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 1.0))
