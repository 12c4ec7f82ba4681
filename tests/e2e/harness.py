"""Runs the Windows build of Lumatap for real under Wine on a private Xvfb display.

Only the standard library and PIL; run with /usr/bin/python3 (the `python3` on PATH may
lack PIL).

One Harness per test file: it starts Xvfb, takes the Wine prefix (creating it the first
time), keeps a wineserver alive so each Windows process starts quickly, and tears all of
it down at the end, even when a test failed. Each test gets a fresh copy of the program
folder, so files the program writes (lumatap.ini, ...) never leak between tests.

Everything that waits polls a condition with a time limit; nothing sleeps a fixed time.

Environment:
  LUMATAP_DIST         program folder to copy (default build/windows/dist)
  LUMATAP_WINEPREFIX   Wine prefix, kept between runs (default build/wineprefix)
  LUMATAP_DRIVER       lumatap_driver.exe to use (default: the CMake build's, else built
                       here by hand from tests/e2e/driver/driver.cpp)
  LUMATAP_REQUIRE_DIST set to 1 to fail instead of skip when lumatap.exe is missing
  LUMATAP_KEEP_TMP     set to 1 to keep the per-test folders for a look afterwards
  LUMATAP_ARTIFACTS    where failing tests leave a screenshot (default build/e2e-artifacts)
"""

from __future__ import annotations

import atexit
import ctypes
import fcntl
import io
import json
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Iterable, Optional

from PIL import Image

REPO = Path(__file__).resolve().parents[2]
DRIVER_SOURCE = REPO / "tests" / "e2e" / "driver" / "driver.cpp"

MAIN_CLASS = "LumatapForm1"
MAIN_TITLE = "Lumatap"
OPTIONS_CLASS = "LumatapOptions"
OPTIONS_TITLE = "オプション"
MSGBOX_CLASS = "#32770"
POPUP_MENU_CLASS = "#32768"
FIRST_RUN_TITLE = "ダウンロードありがとうございます！"

SCREEN = (1280, 800)

# Bumped whenever prefix setup below changes, so old prefixes are rebuilt.
PREFIX_VERSION = "4"


def _env_path(name: str, default: Path) -> Path:
    value = os.environ.get(name)
    return Path(value).resolve() if value else default


def dist_dir() -> Path:
    return _env_path("LUMATAP_DIST", REPO / "build" / "windows" / "dist")


def prefix_dir() -> Path:
    return _env_path("LUMATAP_WINEPREFIX", REPO / "build" / "wineprefix")


def to_windows_path(path: Path | str) -> str:
    """Wine maps the Unix root to drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wait_until(condition: Callable[[], object], timeout: float, what: str,
               interval: float = 0.05) -> object:
    """Polls condition until it returns something truthy; raises TimeoutError after
    timeout seconds, naming what was awaited."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError(f"timed out after {timeout:.1f}s waiting for {what}")
        time.sleep(interval)


@dataclass
class DriverResult:
    rc: int
    records: list[dict]
    stdout: str
    stderr: str

    @property
    def ok(self) -> bool:
        return self.rc == 0

    @property
    def first(self) -> dict:
        return self.records[0] if self.records else {}

    def of(self, cmd: str) -> list[dict]:
        return [r for r in self.records if r.get("cmd") == cmd]


class DriverError(RuntimeError):
    pass


@dataclass
class App:
    """One running lumatap.exe (or any other program started through Wine)."""

    proc: subprocess.Popen
    folder: Path
    log_path: Path
    _log: io.BufferedWriter = field(repr=False, default=None)

    def running(self) -> bool:
        return self.proc.poll() is None

    def wait_exit(self, timeout: float) -> int:
        """Exit code once the process has ended; TimeoutError if it has not in time."""
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise TimeoutError(f"process still running after {timeout:.1f}s") from None

    def kill(self) -> None:
        if self.proc.poll() is None:
            self.proc.kill()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        if self._log and not self._log.closed:
            self._log.close()

    def log(self) -> str:
        try:
            return self.log_path.read_text(errors="replace")
        except OSError:
            return ""


class Harness:
    def __init__(self, dist: Optional[Path] = None, prefix: Optional[Path] = None,
                 screen: tuple[int, int] = SCREEN, dpi: int = 96):
        self.dist = Path(dist) if dist else dist_dir()
        self.prefix = Path(prefix) if prefix else prefix_dir()
        self.screen = screen
        # The display scale as Windows programs see it: 96 is 100 %, 192 is 200 %.
        self.dpi = dpi
        self.display: Optional[str] = None
        self.env: dict[str, str] = {}
        self.driver_exe: Optional[Path] = None
        self._xvfb: Optional[subprocess.Popen] = None
        self._lock_file = None
        self._apps: list[App] = []
        self._tmp_dirs: list[Path] = []
        self.timings: dict[str, float] = {}
        self.info: dict = {}

    # ----------------------------------------------------------------------------------
    # Start and stop

    def start(self) -> "Harness":
        self._stopped = False
        # A run ended by ctest's timeout (SIGTERM) or a closed terminal still cleans up.
        atexit.register(self.stop)
        for sig in (signal.SIGTERM, signal.SIGHUP):
            signal.signal(sig, _exit_on_signal)
        try:
            self.driver_exe = ensure_driver()
            self._lock_prefix()
            self._start_xvfb()
            self.env = self._wine_env()
            self._wineserver("-k")  # we hold the prefix lock, so any server left is stale
            t0 = time.monotonic()
            self._ensure_prefix()
            self._set_dpi()
            self.timings["prefix"] = time.monotonic() - t0
            t0 = time.monotonic()
            self._wineserver("-p")
            # The first process also starts the Wine desktop and services; pay that here.
            self.info = self.driver("info", timeout=120, check=True).first
            self.timings["first_process"] = time.monotonic() - t0
            if self.info.get("acp") != 932:
                raise RuntimeError(f"Wine runs with code page {self.info.get('acp')}, not 932; "
                                   "is ja_JP.UTF-8 generated (tools/setup-deps.sh)?")
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self) -> None:
        if getattr(self, "_stopped", True):
            return
        self._stopped = True
        for app in self._apps:
            app.kill()
        self._apps.clear()
        if self.env:
            # Ends every Windows process of this prefix and the persistent server.
            self._wineserver("-k")
            try:
                subprocess.run(["wineserver", "-w"], env=self.env, timeout=30,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                pass
        if self._xvfb:
            stop_xvfb(self._xvfb)
        self._xvfb = None
        if os.environ.get("LUMATAP_KEEP_TMP") != "1":
            for d in self._tmp_dirs:
                shutil.rmtree(d, ignore_errors=True)
        self._tmp_dirs.clear()
        if self._lock_file:
            self._lock_file.close()  # releases the flock
            self._lock_file = None

    def __enter__(self) -> "Harness":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()

    def _lock_prefix(self) -> None:
        # All Windows processes of one prefix share one wineserver, one desktop and one
        # set of named mutexes, so two test files at once would see each other's windows.
        # Test files therefore take turns on the prefix.
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        self._lock_file = open(str(self.prefix) + ".lock", "w")
        deadline = time.monotonic() + 1800
        while True:
            try:
                fcntl.flock(self._lock_file, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return
            except BlockingIOError:
                if time.monotonic() >= deadline:
                    raise TimeoutError(f"another test run keeps {self.prefix} busy")
                time.sleep(0.5)

    def _start_xvfb(self) -> None:
        self._xvfb, self.display = start_xvfb(self.screen)

    def _wine_env(self) -> dict[str, str]:
        env = dict(os.environ)
        env.pop("LANGUAGE", None)
        env.update({
            "DISPLAY": self.display,
            "WINEPREFIX": str(self.prefix),
            "WINEARCH": "win64",
            "WINEDEBUG": "-all",
            # No Mono or Gecko install dialogs.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            # Wine takes its ANSI code page from the locale: 932, as on the users' systems.
            "LANG": "ja_JP.UTF-8",
            "LC_ALL": "ja_JP.UTF-8",
        })
        return env

    def _wineserver(self, flag: str) -> None:
        subprocess.run(["wineserver", flag], env=self.env, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _ensure_prefix(self) -> None:
        stamp = self.prefix / ".lumatap-prefix"
        wine_version = subprocess.run(["wine", "--version"], env=self.env, capture_output=True,
                                      text=True).stdout.strip()
        expected = f"{PREFIX_VERSION} {wine_version}\n"
        if stamp.exists():
            if stamp.read_text() == expected:
                return
            # Made by an older harness or Wine: start over. A prefix without the stamp is
            # never deleted, in case LUMATAP_WINEPREFIX points at someone's own.
            shutil.rmtree(self.prefix, ignore_errors=True)
        subprocess.run(["wineboot", "-i"], env=self.env, timeout=600,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=600)
        # Wine's own fonts (Tahoma, Marlett for the caption buttons, the Japanese System
        # font) are not found where Debian installs them; in the prefix's Fonts folder they are.
        fonts = self.prefix / "drive_c" / "windows" / "Fonts"
        fonts.mkdir(parents=True, exist_ok=True)
        for f in sorted(Path("/usr/share/wine/fonts").glob("*")):
            if f.suffix.lower() in (".ttf", ".fon") and not (fonts / f.name).exists():
                shutil.copy2(f, fonts / f.name)
        # One regedit import for all settings: each Wine process costs a moment. (A .reg
        # file needs the long root key names; regedit rejects HKCU there.)
        reg = ["Windows Registry Editor Version 5.00", ""]
        for key in dict.fromkeys(k for k, _, _ in PREFIX_SETTINGS):
            reg.append(f"[{key}]")
            reg += [f'"{n}"="{v}"' for k, n, v in PREFIX_SETTINGS if k == key]
            reg.append("")
        reg_file = self.prefix / "lumatap-settings.reg"
        reg_file.write_text("\r\n".join(reg) + "\r\n", encoding="utf-16")  # with a BOM
        subprocess.run(["wine", "regedit", "/S", to_windows_path(reg_file)], env=self.env,
                       timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=600)
        user_reg = (self.prefix / "user.reg").read_text(encoding="utf-8", errors="replace")
        if '"Managed"="N"' not in user_reg:
            raise RuntimeError(f"the Wine settings did not reach {self.prefix / 'user.reg'}")
        if not (self.prefix / "system.reg").exists():
            raise RuntimeError(f"wineboot did not create a prefix in {self.prefix}")
        stamp.write_text(expected)

    def _set_dpi(self) -> None:
        """Every LogPixels value of the prefix set to self.dpi, on every start: the prefix
        is shared, so a run at another scale must never leave its scale behind. No server
        runs here, so the files are the registry."""
        for name in ("user.reg", "system.reg"):
            path = self.prefix / name
            text = path.read_text(encoding="utf-8", errors="surrogateescape")
            new = re.sub(r'^"LogPixels"=dword:[0-9a-fA-F]{8}$', f'"LogPixels"=dword:{self.dpi:08x}',
                         text, flags=re.M)
            if new != text:
                path.write_text(new, encoding="utf-8", errors="surrogateescape")

    # ----------------------------------------------------------------------------------
    # Programs

    def new_tmp_dir(self) -> Path:
        """An empty folder, removed when the harness stops."""
        folder = Path(tempfile.mkdtemp(prefix="lumatap-e2e-"))
        self._tmp_dirs.append(folder)
        return folder

    def new_app_folder(self) -> Path:
        """A fresh copy of the program folder (lumatap.exe, keyhook.dll, keylist.dat, skin/)."""
        if not (self.dist / "lumatap.exe").exists():
            raise FileNotFoundError(f"{self.dist / 'lumatap.exe'} does not exist; build and "
                                    "install the windows preset first")
        app = self.new_tmp_dir() / "app"
        shutil.copytree(self.dist, app)
        return app

    def launch(self, folder: Optional[Path] = None, exe: str = "lumatap.exe",
               args: Iterable[str] = (), env: Optional[dict[str, str]] = None,
               cwd: Optional[Path] = None) -> App:
        """Starts a program through Wine without waiting for it. The working folder is
        the program's own folder, as when a user double-clicks it, unless `cwd` names
        another. `env` adds to or overrides the Wine environment (WINEDEBUG=warn+seh
        shows the program's traces in its log)."""
        folder = Path(folder) if folder else self.new_app_folder()
        log_path = folder.parent / f"{Path(exe).stem}-{len(self._apps)}.log"
        log = open(log_path, "wb")
        proc = subprocess.Popen(["wine", str(folder / exe), *args], cwd=cwd or folder,
                                env={**self.env, **(env or {})},
                                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        app = App(proc=proc, folder=folder, log_path=log_path, _log=log)
        self._apps.append(app)
        return app

    # ----------------------------------------------------------------------------------
    # The driver

    def driver(self, *args: str, timeout: float = 30, check: bool = False) -> DriverResult:
        """Runs lumatap_driver.exe with the given words and parses its JSON lines."""
        # Every path through the driver prints at least one line. Nothing at all on stdout
        # with a failing exit code means Wine did not get as far as running it (seen once
        # while another Wine process was starting up), so that start is tried again.
        for _ in range(3):
            result = self._driver_once(args, timeout)
            if result.ok or result.stdout.strip():
                break
        if check and not result.ok:
            raise DriverError(f"driver {' '.join(args)} exited {result.rc}: "
                              f"{result.stdout.strip()} {result.stderr.strip()}")
        return result

    def _driver_once(self, args, timeout: float) -> DriverResult:
        # Output goes to files, not pipes: a Wine process may start Wine's background
        # services, which inherit its handles and would keep a pipe open long after the
        # driver has exited.
        with tempfile.TemporaryFile() as out_f, tempfile.TemporaryFile() as err_f:
            proc = subprocess.Popen(["wine", str(self.driver_exe), *args], env=self.env,
                                    stdin=subprocess.DEVNULL, stdout=out_f, stderr=err_f)
            try:
                rc = proc.wait(timeout=timeout)
            except subprocess.TimeoutExpired as e:
                proc.kill()
                proc.wait()
                raise DriverError(f"driver {' '.join(args)} did not finish in {timeout}s") from e
            out_f.seek(0)
            err_f.seek(0)
            out = out_f.read().decode("utf-8", errors="replace")
            err = err_f.read().decode("utf-8", errors="replace")
        records = []
        for line in out.splitlines():
            line = line.strip()
            if line.startswith("{"):
                try:
                    records.append(json.loads(line))
                except json.JSONDecodeError:
                    pass
        return DriverResult(rc, records, out, err)

    def spawn_driver(self, *args: str) -> App:
        """Starts the driver without waiting, e.g. a script that keeps its focus window up
        until `wait-file` sees a file the test creates."""
        folder = self.new_tmp_dir()
        log_path = folder / "driver.log"
        log = open(log_path, "wb")
        proc = subprocess.Popen(["wine", str(self.driver_exe), *args], cwd=folder, env=self.env,
                                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        app = App(proc=proc, folder=folder, log_path=log_path, _log=log)
        self._apps.append(app)
        return app

    def script(self, *steps: str, timeout: float = 60, check: bool = True) -> DriverResult:
        """Several driver steps in one process (needed for `focus`, whose window lives only
        as long as the driver does)."""
        return self.driver("script", *steps, timeout=timeout, check=check)

    def find_windows(self, cls: str, title: Optional[str] = None) -> list[dict]:
        args = ["find", cls] + ([title] if title is not None else [])
        r = self.driver(*args)
        return r.of("find") if r.ok else []

    def find_window(self, cls: str, title: Optional[str] = None) -> Optional[dict]:
        found = self.find_windows(cls, title)
        return found[0] if found else None

    def wait_window(self, cls: str, title: Optional[str] = None, timeout: float = 20) -> dict:
        """The first visible window of that class (and title); TimeoutError if none shows."""
        args = ["wait", cls] + ([title] if title is not None else []) + [str(int(timeout * 1000))]
        r = self.driver(*args, timeout=timeout + 30)
        if r.rc == 1:
            raise TimeoutError(f"no visible window {cls!r} {title or ''} within {timeout}s")
        if not r.ok:
            raise DriverError(r.stdout)
        return r.first

    def wait_gone(self, cls: str, title: Optional[str] = None, timeout: float = 20) -> None:
        args = ["wait-gone", cls] + ([title] if title is not None else []) + [str(int(timeout * 1000))]
        r = self.driver(*args, timeout=timeout + 30)
        if r.rc == 1:
            raise TimeoutError(f"window {cls!r} {title or ''} still there after {timeout}s")
        if not r.ok:
            raise DriverError(r.stdout)

    def list_windows(self, visible_only: bool = False) -> list[dict]:
        wins = self.driver("list", check=True).of("list")
        return [w for w in wins if w["visible"]] if visible_only else wins

    def processes(self) -> list[dict]:
        return self.driver("procs", check=True).of("procs")

    def close_window(self, cls: str, title: Optional[str] = None) -> None:
        self.driver("close", cls, *([title] if title is not None else []), check=True)

    def post(self, target: str, msg: int, wparam: int = 0, lparam: int = 0) -> None:
        self.driver("post", target, str(msg), str(wparam), str(lparam), check=True)

    # ----------------------------------------------------------------------------------
    # Message boxes

    def msgbox(self, timeout: float = 10, title: Optional[str] = None) -> Optional[dict]:
        """The visible message box (title, text, buttons, icon), or None if none shows."""
        args = ["msgbox", str(int(timeout * 1000))] + ([title] if title is not None else [])
        r = self.driver(*args, timeout=timeout + 30)
        return r.first if r.ok else None

    def press(self, button: str) -> None:
        """Presses a message box button by the caption a user reads ("はい") or by id."""
        self.driver("msgbox-press", button, "5000", check=True)

    def answer_first_run(self, yes: bool = False, timeout: float = 30,
                         required: bool = True) -> Optional[dict]:
        """Answers the question the program asks when it starts without lumatap.ini.

        Waits for that box, presses はい or いいえ, waits for it to close and returns what
        the box showed. With required=False, returns None instead when the main window
        shows up without the question having been asked."""
        def box_or_window():
            box = self.driver("msgbox", "0", FIRST_RUN_TITLE)
            if box.ok:
                return box.first
            if not required:
                w = self.find_window(MAIN_CLASS)
                if w and w["visible"]:
                    return {"no_question": True}
            return None

        seen = wait_until(box_or_window, timeout, f"message box {FIRST_RUN_TITLE}", interval=0.1)
        if seen.get("no_question"):
            return None
        self.press("はい" if yes else "いいえ")
        self.wait_gone(MSGBOX_CLASS, FIRST_RUN_TITLE, timeout=10)
        return seen

    # ----------------------------------------------------------------------------------
    # Screen

    def screenshot(self) -> Image.Image:
        """The whole X display as X shows it."""
        return screenshot(self.display)

    def capture_gdi(self, rect: tuple[int, int, int, int]) -> Image.Image:
        """The screen rectangle (left, top, right, bottom) as Windows programs see it,
        through GetDC(NULL) + BitBlt in the driver."""
        left, top, right, bottom = rect
        fd, path = tempfile.mkstemp(suffix=".bmp", prefix="lumatap-gdi-")
        os.close(fd)
        try:
            self.driver("pixels", str(left), str(top), str(right - left), str(bottom - top),
                        to_windows_path(path), check=True)
            with Image.open(path) as img:
                return img.convert("RGB")
        finally:
            os.unlink(path)

    def window_image(self, window: dict, client: bool = False,
                     shot: Optional[Image.Image] = None) -> Image.Image:
        """A window's outer (or client) rectangle cut out of a screenshot."""
        shot = shot or self.screenshot()
        return crop_rect(shot, window["client" if client else "rect"])

    def save_screenshot(self, path: Path) -> Path:
        path.parent.mkdir(parents=True, exist_ok=True)
        self.screenshot().save(path)
        return path


def start_xvfb(screen: tuple[int, int], display: Optional[str] = None,
               timeout: float = 15) -> tuple[subprocess.Popen, str]:
    """Starts Xvfb with one screen of that size and returns it with its display (":N")
    once it accepts connections.

    Xvfb chooses the number itself, the first one no server listens on, and names it
    through -displayfd when it is ready. A number chosen here by its lock file could
    belong to a server whose files in /tmp are out of sight (one outside the chroot we run
    in), and that server would answer for ours, with its own screen.
    `display` fixes the number instead, for a test that needs a server on one."""
    w, h = screen
    read_fd, write_fd = os.pipe()
    proc = None
    try:
        try:
            proc = subprocess.Popen(
                ["Xvfb", *([display] if display else []), "-displayfd", str(write_fd),
                 "-screen", "0", f"{w}x{h}x24", "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                preexec_fn=_die_with_parent)
        finally:
            os.close(write_fd)  # so that the read below sees the end when Xvfb ends
        reported = b""
        deadline = time.monotonic() + timeout
        while not reported.endswith(b"\n"):
            left = max(0.0, deadline - time.monotonic())
            if not select.select([read_fd], [], [], left)[0]:
                raise TimeoutError(f"Xvfb named no display within {timeout:.0f}s")
            chunk = os.read(read_fd, 64)
            if not chunk:
                raise RuntimeError(f"Xvfb {display or ''} ended with {proc.wait()} before it "
                                   "accepted connections")
            reported += chunk
    except BaseException:
        if proc:
            stop_xvfb(proc)
        raise
    finally:
        os.close(read_fd)
    return proc, f":{int(reported)}"


def stop_xvfb(proc: subprocess.Popen) -> None:
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def screenshot(display: str) -> Image.Image:
    """The whole X display as X shows it."""
    r = subprocess.run(["import", "-display", display, "-window", "root", "png:-"],
                       capture_output=True, timeout=60, check=True)
    return Image.open(io.BytesIO(r.stdout)).convert("RGB")


def _exit_on_signal(signum, frame) -> None:
    # unittest records SystemExit as one test's error and carries on; an interrupt ends
    # the whole run, and atexit then stops the harness.
    raise KeyboardInterrupt(f"signal {signum}")


def _die_with_parent() -> None:
    """In the child before exec: end it when the test process dies, however it dies."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def crop_rect(img: Image.Image, rect: list[int]) -> Image.Image:
    left, top, right, bottom = rect
    return img.crop((max(left, 0), max(top, 0), min(right, img.width), min(bottom, img.height)))


# Prefix settings applied once when the prefix is made.
PREFIX_SETTINGS = [
    # There is no window manager on the virtual display. Wine should neither wait for one
    # (every hidden or destroyed window would cost its 2 s timeout) nor leave window
    # frames and captions to one (they would never be drawn).
    ("HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver", "Managed", "N"),
    ("HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver", "Decorated", "N"),
    # The Japanese fonts programs ask for by name, mapped onto the installed Noto CJK so
    # Japanese text is drawn with a real Japanese font instead of a fallback.
    ("HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements", "MS UI Gothic", "Noto Sans CJK JP"),
    ("HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements", "ＭＳ Ｐゴシック", "Noto Sans CJK JP"),
    ("HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements", "ＭＳ ゴシック", "Noto Sans Mono CJK JP"),
    ("HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements", "MS PGothic", "Noto Sans CJK JP"),
    ("HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements", "MS Gothic", "Noto Sans Mono CJK JP"),
    ("HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements", "Meiryo", "Noto Sans CJK JP"),
    ("HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements", "Meiryo UI", "Noto Sans CJK JP"),
    ("HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements", "Yu Gothic UI", "Noto Sans CJK JP"),
]


def ensure_driver() -> Path:
    """lumatap_driver.exe: LUMATAP_DRIVER, else the CMake build's if it is up to date, else
    compiled here by hand (so the harness works before the rest of the program builds)."""
    explicit = os.environ.get("LUMATAP_DRIVER")
    if explicit:
        return Path(explicit).resolve()
    src_time = DRIVER_SOURCE.stat().st_mtime
    cmake_built = REPO / "build" / "windows" / "lumatap_driver.exe"
    if cmake_built.exists() and cmake_built.stat().st_mtime >= src_time:
        return cmake_built
    out = REPO / "build" / "e2e" / "lumatap_driver.exe"
    if out.exists() and out.stat().st_mtime >= src_time:
        return out
    out.parent.mkdir(parents=True, exist_ok=True)
    tmp = out.with_suffix(".tmp.exe")
    subprocess.run(["x86_64-w64-mingw32-g++", "-std=c++20", "-O2", "-Wall", "-Wextra",
                    "-DUNICODE", "-D_UNICODE", "-DWIN32_LEAN_AND_MEAN", "-DNOMINMAX",
                    str(DRIVER_SOURCE), "-o", str(tmp), "-luser32", "-lgdi32", "-lversion",
                    "-static", "-static-libgcc", "-static-libstdc++"], check=True, timeout=600)
    tmp.replace(out)
    return out


# --------------------------------------------------------------------------------------
# unittest glue

def require_dist() -> None:
    """Skips the calling test class while lumatap.exe is not built, unless the run must
    have it (LUMATAP_REQUIRE_DIST=1: then its absence is a failure)."""
    if not (dist_dir() / "lumatap.exe").exists():
        message = f"{dist_dir() / 'lumatap.exe'} not built yet"
        if os.environ.get("LUMATAP_REQUIRE_DIST") == "1":
            raise FileNotFoundError(message)
        raise unittest.SkipTest(message)


class LumatapTestCase(unittest.TestCase):
    """Base class for the end-to-end tests: one Harness for the whole class, a fresh
    program folder per test, and every program the test started killed afterwards."""

    harness: Harness
    require_dist = True

    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        if cls.require_dist:
            require_dist()
        cls.harness = Harness().start()

    @classmethod
    def tearDownClass(cls) -> None:
        harness = getattr(cls, "harness", None)
        if harness:
            harness.stop()
        super().tearDownClass()

    def setUp(self) -> None:
        super().setUp()
        self.h = self.harness
        self.addCleanup(self._cleanup_programs)

    def _cleanup_programs(self) -> None:
        if self._failed():
            artifacts = _env_path("LUMATAP_ARTIFACTS", REPO / "build" / "e2e-artifacts")
            try:
                path = self.h.save_screenshot(artifacts / f"{self.id()}.png")
                print(f"\nscreenshot of the failure: {path}")
                print("windows:", json.dumps(self.h.list_windows(visible_only=True),
                                             ensure_ascii=False))
            except Exception as e:  # the screenshot is a courtesy; never hide the failure
                print(f"\nno screenshot: {e}")
        self.h.driver("release")
        for app in self.h._apps:
            app.kill()
        self.h._apps.clear()
        # Anything else left behind (a second instance, a stray box) goes too, so the next
        # test starts with an empty desktop.
        for p in self.h.processes():
            if p["exe"].lower() == "lumatap.exe":
                self.h.driver("kill", str(p["pid"]))

    def _failed(self) -> bool:
        outcome = getattr(self, "_outcome", None)
        result = getattr(outcome, "result", None)
        if result is None:
            return False
        return any(t is self for t, _ in list(result.errors) + list(result.failures))

    # Helpers for the tests

    def start_app(self, folder: Optional[Path] = None) -> App:
        return self.h.launch(folder)

    def wait_main_window(self, timeout: float = 30) -> dict:
        return self.h.wait_window(MAIN_CLASS, MAIN_TITLE, timeout=timeout)

    def answer_first_run(self, yes: bool = False, timeout: float = 30,
                         required: bool = True) -> Optional[dict]:
        return self.h.answer_first_run(yes=yes, timeout=timeout, required=required)
