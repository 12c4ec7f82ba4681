"""Debian's Chromium, headless, driven over the DevTools protocol on a pipe.

    with Browser() as b:
        b.open("http://127.0.0.1:28455/?token=...")
        b.evaluate("document.title")
        png = b.screenshot()          # PNG bytes, with alpha

No port is opened for the browser itself: --remote-debugging-pipe talks JSON messages,
each ended by a NUL byte, over the child's file descriptors 3 (to the browser) and 4
(from it). Events the browser sends while a command waits are kept in `events`.
"""

import base64
import fcntl
import json
import os
import shutil
import subprocess
import tempfile
import time

CHROMIUM = os.environ.get("LUMATAP_CHROMIUM", "/usr/bin/chromium")


class BrowserError(RuntimeError):
    pass


class Browser:
    def __init__(self, width=800, height=600):
        self.width, self.height = width, height
        self.events = []
        self._next_id = 0
        self._buffer = b""
        self._session = None
        self.to_drop = 0

    def __enter__(self):
        self._profile = tempfile.mkdtemp(prefix="lumatap-chromium-")
        to_child_r, self._to_child = os.pipe()
        self._from_child, from_child_w = os.pipe()
        # As root, with nothing of the machine's network: no sandbox, no background traffic.
        args = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                "--no-first-run", "--disable-background-networking", "--disable-component-update",
                "--disable-sync", "--disable-extensions", "--remote-debugging-pipe",
                f"--user-data-dir={self._profile}", f"--window-size={self.width},{self.height}",
                "about:blank"]
        # The browser reads commands on fd 3 and writes answers on fd 4. Both ends are lifted
        # out of the way first, so neither is 3 or 4 already; Python's own descriptors do not
        # pass exec, these two do.
        def place_pipes():
            r = fcntl.fcntl(to_child_r, fcntl.F_DUPFD, 100)
            w = fcntl.fcntl(from_child_w, fcntl.F_DUPFD, 100)
            os.dup2(r, 3)
            os.dup2(w, 4)
            os.close(r)
            os.close(w)
        self._proc = subprocess.Popen(args, preexec_fn=place_pipes, close_fds=False,
                                      stdout=subprocess.DEVNULL,
                                      stderr=None if os.environ.get("LUMATAP_BROWSER_LOG") else subprocess.DEVNULL)
        os.close(to_child_r)
        os.close(from_child_w)
        targets = self._command("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self._session = self._command("Target.attachToTarget", targetId=page["targetId"],
                                      flatten=True)["sessionId"]
        self.command("Page.enable")
        self.command("Runtime.enable")
        self.command("Log.enable")  # failed requests and the like, for a failure's message
        # Where nothing is drawn the screenshot stays transparent, as in OBS.
        self.command("Emulation.setDefaultBackgroundColorOverride",
                     color={"r": 0, "g": 0, "b": 0, "a": 0})
        return self

    def __exit__(self, *exc):
        try:
            self._command("Browser.close", timeout=5)
        except Exception:
            pass
        try:
            self._proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self._proc.kill()
            self._proc.wait()
        for fd in (self._to_child, self._from_child):
            try:
                os.close(fd)
            except OSError:
                pass
        shutil.rmtree(self._profile, ignore_errors=True)

    # ---- Protocol ------------------------------------------------------------------

    def _read_message(self, deadline):
        while b"\0" not in self._buffer:
            if time.monotonic() > deadline:
                raise BrowserError("the browser did not answer in time")
            chunk = os.read(self._from_child, 1 << 16)
            if not chunk:
                raise BrowserError("the browser went away")
            self._buffer += chunk
        raw, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(raw)

    def _send(self, method, session, params):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self._to_child, json.dumps(message).encode() + b"\0")
        return self._next_id

    def _command(self, method, timeout=30, session=None, **params):
        sent = self._send(method, session, params)
        deadline = time.monotonic() + timeout
        while True:
            m = self._read_message(deadline)
            if m.get("id") == sent:
                if "error" in m:
                    raise BrowserError(f"{method}: {m['error']}")
                return m.get("result", {})
            if m.get("method") == "Fetch.requestPaused":
                # Answered at once, without waiting for the answer's answer.
                fail = self.to_drop > 0
                self.to_drop -= fail
                self._send("Fetch.failRequest" if fail else "Fetch.continueRequest", m.get("sessionId"),
                           {"requestId": m["params"]["requestId"], **({"errorReason": "ConnectionReset"} if fail else {})})
            if "method" in m:
                self.events.append(m)

    def command(self, method, timeout=30, **params):
        """A command to the page's session."""
        return self._command(method, timeout=timeout, session=self._session, **params)

    # ---- What the tests use ----------------------------------------------------------

    def open(self, url, timeout=30):
        self.events.clear()
        r = self.command("Page.navigate", url=url)
        if r.get("errorText"):
            raise BrowserError(f"{url}: {r['errorText']}")
        self.wait_event("Page.loadEventFired", timeout)

    def drop_requests(self, url_pattern, count=1):
        """The next `count` requests to addresses like url_pattern ("*" any text) fail as a
        dropped connection would; the ones after them go through."""
        self.to_drop = count
        self.command("Fetch.enable", patterns=[{"urlPattern": url_pattern}])

    def wait_event(self, method, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            for i, e in enumerate(self.events):
                if e["method"] == method:
                    return self.events.pop(i)
            self._command("Runtime.evaluate", timeout=max(0.1, deadline - time.monotonic()),
                          session=self._session, expression="0")
            if time.monotonic() > deadline:
                raise BrowserError(f"no {method} within {timeout} s")
            time.sleep(0.05)

    def evaluate(self, expression, timeout=30):
        """The value of a JavaScript expression (promises are awaited)."""
        r = self.command("Runtime.evaluate", timeout=timeout, expression=expression,
                         returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in r:
            raise BrowserError(f"{expression}: {r['exceptionDetails']}")
        return r["result"].get("value")

    def wait_for(self, expression, timeout=10, what=None):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.evaluate(expression):
                return
            time.sleep(0.05)
        raise BrowserError(f"not true within {timeout} s: {what or expression}\n{self.what_happened()}")

    def what_happened(self):
        """The page's address and state, and what it logged and threw: for a failure."""
        state = self.evaluate("JSON.stringify({url: document.URL, ready: document.readyState, "
                              "body: (document.body ? document.body.innerText : '').slice(0, 300)})")
        lines = [f"page: {state}"]
        for e in self.events:
            p = e.get("params", {})
            if e["method"] == "Log.entryAdded":
                entry = p.get("entry", {})
                lines.append(f"log: {entry.get('level')} {entry.get('text')} {entry.get('url', '')}")
            elif e["method"] == "Runtime.exceptionThrown":
                lines.append(f"exception: {p.get('exceptionDetails', {}).get('text')}")
            elif e["method"] == "Runtime.consoleAPICalled":
                lines.append(f"console: {[a.get('value') for a in p.get('args', [])]}")
        return "\n".join(lines)

    def screenshot(self, clip=None):
        """The page as PNG bytes, transparent where nothing is drawn."""
        params = {"format": "png", "captureBeyondViewport": False}
        if clip:
            x, y, w, h = clip
            params["clip"] = {"x": x, "y": y, "width": w, "height": h, "scale": 1}
        return base64.b64decode(self.command("Page.captureScreenshot", **params)["data"])
