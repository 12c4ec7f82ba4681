"""Reading what lumatap_measure.exe and the driver's `keytimes` recorded, and what the
Linux kernel knows about a Wine process. Shared by tests/e2e/test_measure.py (the
behaviour checks) and tools/measure.py (the figures in docs/PERFORMANCE.md).

Times are QueryPerformanceCounter values. Under Wine that counter is CLOCK_MONOTONIC_RAW
in 100 ns units for every process, so the driver's, the program's and this script's
clocks are one clock (`qpc_now`); `check_shared_clock` verifies that before it is relied on.
"""

from __future__ import annotations

import os
import shutil
import time
from dataclasses import dataclass, field
from pathlib import Path

from PIL import Image

from harness import MAIN_CLASS, MAIN_TITLE, App, Harness, to_windows_path

REPO = Path(__file__).resolve().parents[2]

CELL = 48
KEY_DOWN = 0x8000 + 0x31  # keyhook_messages.h
KEY_UP = 0x8000 + 0x32
PROFILE = "WASDスタンダード"
PROFILE_KEYS = ["Shift", "W", "Space", "A", "S", "D"]  # its six slots, 3 columns by 2 rows
START = (200, 150)
VK_A = 0x41


def measure_exe() -> Path:
    value = os.environ.get("LUMATAP_MEASURE_EXE")
    return Path(value) if value else REPO / "build" / "measure" / "lumatap_measure.exe"


def qpc_now() -> int:
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 100


def check_shared_clock(h) -> None:
    """Fails unless the driver's counter falls between two readings of this process's
    clock, three times: then one clock times both sides."""
    for _ in range(3):
        before = qpc_now()
        got = h.driver("qpc", check=True).first["qpc"]
        after = qpc_now()
        if not before <= got <= after:
            raise AssertionError(f"Wine's QueryPerformanceCounter is not CLOCK_MONOTONIC_RAW "
                                 f"in 100 ns units here ({before} <= {got} <= {after} fails)")


def write_settings(folder: Path, frame: int = 1, skin: str = "default", at=START,
                   min_lit_ms: int | None = None, see_through: bool = False,
                   stream: tuple[int, str] | None = None, counters: bool = False) -> None:
    """A settings file, so the program starts without its first-run question; with
    `min_lit_ms`, a [display] section that sets the minimum lit time; with `counters`,
    the counts shown in the cells; with `stream` (port, token), the stream page served."""
    text = (f"[window]\r\nX={at[0]}\r\nY={at[1]}\r\nframe={frame}\r\n"
            f"[style]\r\nskin={skin}\r\n[key]\r\nprofile={PROFILE}\r\n")
    if min_lit_ms is not None or see_through or counters:
        text += "[display]\r\n"
    if min_lit_ms is not None:
        text += f"minLitMs={min_lit_ms}\r\n"
    if see_through:
        text += "backColor=FF00FF\r\nseeThrough=1\r\n"
    if counters:
        text += "counters=1\r\n"
    if stream:
        text += f"[stream]\r\nenabled=1\r\nport={stream[0]}\r\ntoken={stream[1]}\r\n"
    (folder / "lumatap.ini").write_bytes(text.encode("cp932"))


def add_measure_exe(folder: Path) -> Path:
    exe = folder / "lumatap_measure.exe"
    shutil.copy2(measure_exe(), exe)
    return exe


# ----------------------------------------------------------------------------------------
# Running the measurement build

def write_profile(folder: Path, keys: list[str]) -> None:
    """setting.dat with one profile, PROFILE, of these keys in 3 columns."""
    line = f"{PROFILE}\t{len(keys)}\t3:{(len(keys) + 2) // 3}\t" + "\t".join(keys) + "\r\n"
    (folder / "setting.dat").write_bytes(line.encode("cp932"))


def start_measured(h: Harness, min_lit_ms: int | None = None,
                   see_through: bool = False, stream: tuple[int, str] | None = None,
                   counters: bool = False, keys: list[str] | None = None) -> tuple[App, Path, int]:
    """lumatap_measure.exe in a fresh program folder, its window up; returns the app, the
    folder and the counter value just before the launch. `min_lit_ms` None: the default;
    `keys` None: the built-in profiles."""
    folder = h.new_app_folder()
    write_settings(folder, min_lit_ms=min_lit_ms, see_through=see_through, stream=stream, counters=counters)
    if keys:
        write_profile(folder, keys)
    add_measure_exe(folder)
    launched = qpc_now()
    app = h.launch(folder, exe="lumatap_measure.exe")
    h.wait_window(MAIN_CLASS, MAIN_TITLE, timeout=30)
    return app, folder, launched


def end_measured(h: Harness, app: App, folder: Path) -> Records:
    h.close_window(MAIN_CLASS, MAIN_TITLE)
    code = app.wait_exit(timeout=60)
    if code != 0:
        raise RuntimeError(f"lumatap_measure.exe exited {code}: {app.log()}")
    records = read_records(folder / "measure.tsv")
    if records.error or any(records.dropped.values()):
        raise RuntimeError(f"measurement incomplete: {records.error} {records.dropped}")
    return records


def press(h: Harness, count: int, hold_us: int, gap_ms: int, out: Path) -> list:
    """The driver holds the focus in its own window and presses A; returns its times."""
    win_path = to_windows_path(out)
    timeout = 60 + count * (hold_us / 1e6 + gap_ms / 1e3) * 3
    h.script("focus", f"keytimes {VK_A} {count} {hold_us} {gap_ms} {win_path}", timeout=timeout)
    return read_keytimes(out)


# ----------------------------------------------------------------------------------------
# measure.tsv

@dataclass
class Message:
    at: int
    hwnd: str
    message: int
    wparam: int


@dataclass
class Present:
    start: int
    done: int
    hwnd: str
    visible: bool
    width: int
    height: int
    sums: list[int]


@dataclass
class Records:
    freq: int = 0
    entry: int = 0
    created_100ns: int = 0
    entry_clock_100ns: int = 0
    exit: int = 0
    error: str = ""
    windows: dict[str, str] = field(default_factory=dict)  # hwnd -> class
    hooks: list[Message] = field(default_factory=list)
    loop: list[Message] = field(default_factory=list)
    wndproc: list[Message] = field(default_factory=list)
    presents: list[Present] = field(default_factory=list)
    dropped: dict[str, int] = field(default_factory=dict)

    def us(self, ticks: float) -> float:
        return ticks * 1e6 / self.freq

    @property
    def process_created(self) -> int:
        """Process creation as a counter value: the entry's counter value less the system
        time that had passed since creation."""
        return self.entry - (self.entry_clock_100ns - self.created_100ns) * self.freq // 10_000_000

    def grid_presents(self) -> list[Present]:
        """Presents of the grid picture, in order."""
        picture = next((h for h, c in self.windows.items() if c == "LumatapPicture"), None)
        return [p for p in self.presents if p.hwnd == picture]

    def key_events(self, vk: int) -> list[Message]:
        """keyhook.dll's key events for the key (as its watching thread posted them), in order."""
        return [m for m in self.hooks if m.message in (KEY_DOWN, KEY_UP) and m.wparam == vk]

    def key_messages(self, vk: int) -> list[Message]:
        """The same events as the program's loop took them from its queue."""
        return [m for m in self.loop if m.message in (KEY_DOWN, KEY_UP) and m.wparam == vk]


def read_records(path: Path) -> Records:
    r = Records()
    for line in path.read_text(encoding="utf-8").splitlines():
        f = line.split("\t")
        kind = f[0]
        if kind == "freq":
            r.freq = int(f[1])
        elif kind == "entry":
            r.entry, r.created_100ns, r.entry_clock_100ns = map(int, f[1:4])
        elif kind == "exit":
            r.exit = int(f[1])
        elif kind == "error":
            r.error = f[1]
        elif kind == "window":
            r.windows[f[1]] = f[2]
        elif kind in ("hook", "loop", "wndproc"):
            getattr(r, "hooks" if kind == "hook" else kind).append(Message(int(f[1]), f[2], int(f[3]), int(f[4])))
        elif kind == "present":
            n = int(f[7])
            r.presents.append(Present(int(f[1]), int(f[2]), f[3], f[4] == "1", int(f[5]), int(f[6]),
                                      [int(v) for v in f[8:8 + n]]))
        elif kind == "dropped":
            r.dropped[f[1]] = int(f[2])
    return r


def read_keytimes(path: Path) -> list[tuple[str, int]]:
    """(down|up, counter value just before its SendInput), in order."""
    out = []
    for line in path.read_text().splitlines():
        kind, at = line.split("\t")
        out.append((kind, int(at)))
    return out


# ----------------------------------------------------------------------------------------
# What the cells show

def fnv_cell(rgb: bytes) -> int:
    """The program's checksum of one cell: FNV-1a over each pixel as B, G, R, 0."""
    h = 2166136261
    for i in range(0, len(rgb), 3):
        for b in (rgb[i + 2], rgb[i + 1], rgb[i], 0):
            h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return h


def cells_by_name(folder: Path) -> dict[str, int]:
    """Skin cell of each key name in keylist.dat, the lowest code winning as the program
    reads it."""
    found: dict[int, tuple[str, int]] = {}
    for line in (folder / "keylist.dat").read_bytes().decode("cp932").splitlines():
        fields = line.split("\t")
        if len(fields) >= 3 and fields[0].strip().isdigit() and fields[1].strip().isdigit():
            found[int(fields[0])] = (fields[2], int(fields[1]))
    cells: dict[str, int] = {}
    for code in sorted(found):
        name, cell = found[code]
        cells.setdefault(name, cell)
    return cells


def skin_rgb(folder: Path, skin: str) -> Image.Image:
    """The skin as the program decodes it: transparent pixels over white."""
    with Image.open(folder / "skin" / skin / "keys.gif") as gif:
        gif.seek(0)
        rgba = gif.convert("RGBA")
    white = Image.new("RGBA", rgba.size, (255, 255, 255, 255))
    return Image.alpha_composite(white, rgba).convert("RGB")


def slot_pictures(folder: Path, skin: str = "default") -> list[dict[int, str]]:
    """For each slot of the profile: checksum -> "released" / "pressed"."""
    image = skin_rgb(folder, skin)
    cells = cells_by_name(folder)
    out = []
    for name in PROFILE_KEYS:
        x = cells[name] * CELL
        out.append({fnv_cell(image.crop((x, row, x + CELL, row + CELL)).tobytes()): state
                    for row, state in ((0, "released"), (CELL, "pressed"))})
    return out


def slot_state(present: Present, pictures: list[dict[int, str]], slot: int) -> str:
    if slot >= len(present.sums):
        return "missing"
    return pictures[slot].get(present.sums[slot], "other")


# ----------------------------------------------------------------------------------------
# Matching key events to presents

@dataclass
class KeyEvent:
    kind: str        # down / up
    sent: int        # just before the driver's SendInput
    hooked: int      # the hook callback posting it
    retrieved: int   # the program's loop taking it from the queue
    present: Present


def match_events(records: Records, keytimes: list[tuple[str, int]], vk: int) -> list[KeyEvent]:
    """Each SendInput with the hook call and the present it caused. Every key event draws
    exactly once, so the n-th event of the key is the n-th present after its hook call.
    Raises ValueError when the counts do not agree (an event was lost)."""
    hooks = records.key_events(vk)
    taken = records.key_messages(vk)
    if not len(keytimes) == len(hooks) == len(taken):
        raise ValueError(f"{len(keytimes)} keys sent, {len(hooks)} reached the hook, "
                         f"{len(taken)} the program's loop")
    presents = records.grid_presents()
    events, i = [], 0
    for (kind, sent), hook, message in zip(keytimes, hooks, taken):
        want = KEY_DOWN if kind == "down" else KEY_UP
        if hook.message != want:
            raise ValueError(f"the hook saw {hook.message:#x} where {kind} was sent")
        while i < len(presents) and presents[i].start < hook.at:
            i += 1
        if i == len(presents):
            raise ValueError(f"no present after the {len(events) + 1}th key event")
        events.append(KeyEvent(kind, sent, hook.at, message.at, presents[i]))
        i += 1
    return events


WM_TIMER = 0x0113
DEFAULT_MIN_LIT_MS = 34  # display/form1.h


def slot_timeline(records: Records, pictures: list[dict[int, str]], slot: int,
                  since: int) -> list[tuple[int, str]]:
    """(present done, what the slot showed) for every grid present from `since` on."""
    return [(p.done, slot_state(p, pictures, slot)) for p in records.grid_presents() if p.start >= since]


def lit_spans(timeline: list[tuple[int, str]]) -> list[tuple[int, int]]:
    """The stretches the slot stood drawn pressed on screen: from the present that drew it
    pressed to the one that drew it released."""
    spans, lit_at = [], None
    for at, state in timeline:
        if state == "pressed" and lit_at is None:
            lit_at = at
        elif state == "released" and lit_at is not None:
            spans.append((lit_at, at))
            lit_at = None
    return spans


def capture_share(spans: list[tuple[int, int]], freq: int, fps: float = 60.0,
                  phases: int = 200, seed: int = 13) -> tuple[float, float, float]:
    """What share of the lit spans a capture at `fps` holds in at least one frame, a frame
    being the screen as it stood at one instant; mean, lowest and highest over `phases`
    random phases of the capture clock."""
    import random
    rng = random.Random(seed)
    period = freq / fps
    shares = []
    for _ in range(phases):
        phase = spans[0][0] - rng.random() * period
        caught = 0
        for start, end in spans:
            first = phase + period * -(-(start - phase) // period)  # first frame at or after start
            caught += first < end
        shares.append(caught / len(spans))
    return sum(shares) / len(shares), min(shares), max(shares)


def percentile(values: list[float], p: float) -> float:
    """Nearest-rank percentile."""
    s = sorted(values)
    k = max(0, min(len(s) - 1, int(-(-p * len(s) // 100)) - 1))
    return s[k]


# ----------------------------------------------------------------------------------------
# The Wine process as Linux sees it

def unix_stats(pid: int) -> dict[str, int]:
    """CPU time (ns, every thread), context switches and resident memory of a process."""
    run_ns = switches = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            run_ns += int(Path(f"/proc/{pid}/task/{task}/schedstat").read_text().split()[0])
            for line in Path(f"/proc/{pid}/task/{task}/status").read_text().splitlines():
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    switches += int(line.split(":")[1])
        except (FileNotFoundError, ProcessLookupError):
            pass  # a thread that ended while being read
    status = {}
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        key, _, value = line.partition(":")
        if value.strip().endswith("kB"):
            status[key] = int(value.split()[0]) * 1024
    return {"run_ns": run_ns, "switches": switches, "threads": len(os.listdir(f"/proc/{pid}/task")),
            "rss": status.get("VmRSS", 0), "rss_anon": status.get("RssAnon", 0),
            "vm_data": status.get("VmData", 0)}


def thread_stats(pid: int) -> dict[int, dict]:
    """Per thread of a process: its name (under Wine, what SetThreadDescription gave it),
    CPU time in ns and context switches."""
    out = {}
    for task in os.listdir(f"/proc/{pid}/task"):
        base = Path(f"/proc/{pid}/task/{task}")
        try:
            switches = sum(int(line.split(":")[1]) for line in (base / "status").read_text().splitlines()
                           if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")))
            out[int(task)] = {"name": (base / "comm").read_text().strip(),
                              "run_ns": int((base / "schedstat").read_text().split()[0]), "switches": switches}
        except (FileNotFoundError, ProcessLookupError):
            pass  # a thread that ended while being read
    return out


def thread_deltas(before: dict[int, dict], after: dict[int, dict]) -> list[dict]:
    """What each thread spent between two thread_stats, the busiest first; threads that
    spent nothing are left out."""
    out = []
    for tid, a in after.items():
        b = before.get(tid, {"run_ns": 0, "switches": 0})
        d = {"tid": tid, "name": a["name"], "run_ns": a["run_ns"] - b["run_ns"],
             "switches": a["switches"] - b["switches"]}
        if d["run_ns"] or d["switches"]:
            out.append(d)
    return sorted(out, key=lambda d: -d["run_ns"])


# ---------------------------------------------------------------------------------------
# The stream page in a browser


STREAM_TOKEN = "00112233445566778899aabbccddeeff"


def free_port() -> int:
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def open_stream_page(browser, port: int, token: str = STREAM_TOKEN, timeout: float = 20) -> None:
    """Opens the page once it is served and notes, in the page's own clock, each drawing its
    event handler makes: [the moment the handler began, the lit slots, the moment drawn]."""
    import socket
    deadline = time.monotonic() + timeout
    while True:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.1)
    browser.open(f"http://127.0.0.1:{port}/?token={token}")
    browser.evaluate("window.drawnAt = []; addEventListener('lumatap-drawn', "
                     "e => drawnAt.push([e.detail.heard === undefined ? performance.now() : e.detail.heard, "
                     "e.detail.lit, performance.now()])); 0")
    browser.wait_for("document.querySelector('canvas').width > 0", 20, "the page's grid")


def page_clock_offset(browser, samples: int = 30) -> float:
    """QPC ticks (CLOCK_MONOTONIC_RAW, 100 ns) minus the page's performance.now() in the same
    unit, from the sample with the shortest round trip."""
    best = None
    for _ in range(samples):
        before = qpc_now()
        now_ms = browser.evaluate("performance.now()")
        after = qpc_now()
        if best is None or after - before < best[0]:
            best = (after - before, (before + after) / 2 - now_ms * 10_000)
    return best[1]


class ScreenTimes:
    """When drawings reach the X server, as DAMAGE reports (tools/xdamage_times.c, built on
    first use): under Wine a window's drawing goes to the X server after the drawing call
    returns, when its thread next waits. Times are QPC ticks (100 ns)."""

    def __init__(self, h: Harness):
        self.h = h

    def __enter__(self):
        import subprocess
        exe = REPO / "build" / "measure" / "xdamage_times"
        source = REPO / "tools" / "xdamage_times.c"
        if not exe.exists() or exe.stat().st_mtime < source.stat().st_mtime:
            exe.parent.mkdir(parents=True, exist_ok=True)
            subprocess.run(["cc", "-O2", "-o", str(exe), str(source), "-lX11", "-lXdamage"], check=True)
        self._out = exe.parent / "xdamage.txt"
        self._proc = subprocess.Popen([str(exe)], stdout=open(self._out, "w"),
                                      env={**os.environ, "DISPLAY": self.h.display})
        deadline = time.monotonic() + 10
        while not self._out.read_text().startswith("ready"):
            if time.monotonic() > deadline or self._proc.poll() is not None:
                raise RuntimeError("xdamage_times did not start")
            time.sleep(0.05)
        return self

    def __exit__(self, *exc):
        time.sleep(0.2)
        self._proc.kill()
        self._proc.wait()
        reports = [line.split() for line in self._out.read_text().splitlines()[1:]]
        # The window drawn most is the program's grid (the driver and the desktop draw little).
        counts: dict[str, int] = {}
        for r in reports:
            counts[r[1]] = counts.get(r[1], 0) + 1
        grid = max(counts, key=counts.get) if counts else None
        self.times = sorted(round(float(r[0]) * 10) for r in reports if r[1] == grid)

    def first_after(self, qpc: int, within: int = 200_000) -> int | None:
        """The first report at or after qpc, within 20 ms."""
        import bisect
        i = bisect.bisect_left(self.times, qpc)
        return self.times[i] if i < len(self.times) and self.times[i] - qpc <= within else None
