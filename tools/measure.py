#!/usr/bin/env python3
"""Measures Lumatap under Wine on a virtual display and prints the figures that
docs/PERFORMANCE.md reports: key latency end to end and inside the program, short taps,
idle, memory, start-up, what another program's SendInput costs per key beside Lumatap,
and what mouse movement costs with and without a mouse button in the profile.

Needs the installed Windows build (build/windows/dist) and the measurement build:

    cmake --preset windows -B build/measure -DLUMATAP_MEASURE=ON
    cmake --build build/measure --target lumatap_measure -j2
    /usr/bin/python3 tools/measure.py [--presses 1000] [--taps 200] [--starts 10] ...

Run it on an otherwise idle machine; it writes the figures as JSON to
build/measure/figures.json (or --out) and a summary to stdout. Nothing here asserts a
time: the behaviour checks that hold on every run are in tests/e2e/test_measure.py.
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import harness  # noqa: E402
import measure_records as mr  # noqa: E402

VK_A = mr.VK_A
A_SLOT = mr.PROFILE_KEYS.index("A")


def summary(values: list[float]) -> dict:
    return {"n": len(values), "p50": mr.percentile(values, 50), "p99": mr.percentile(values, 99),
            "min": min(values), "max": max(values), "mean": statistics.fmean(values)}


def measure_latency(h: harness.Harness, presses: int, hold_ms: int, gap_ms: int) -> dict:
    app, folder, _ = mr.start_measured(h, min_lit_ms=0)  # every event drawn as it comes
    keytimes = mr.press(h, presses, hold_ms * 1000, gap_ms, folder.parent / "latency.tsv")
    records = mr.end_measured(h, app, folder)
    events = mr.match_events(records, keytimes, VK_A)
    pictures = mr.slot_pictures(folder)
    wrong = sum(1 for e in events
                if mr.slot_state(e.present, pictures, A_SLOT) != ("pressed" if e.kind == "down" else "released"))
    out = {"presses": presses, "hold_ms": hold_ms, "gap_ms": gap_ms, "wrong_picture": wrong}
    for kind in ("down", "up", "all"):
        chosen = [e for e in events if kind == "all" or e.kind == kind]
        out[kind] = {
            "end_to_end_us": summary([records.us(e.present.done - e.sent) for e in chosen]),
            "in_process_us": summary([records.us(e.present.done - e.hooked) for e in chosen]),
            "input_to_hook_us": summary([records.us(e.hooked - e.sent) for e in chosen]),
            "hook_to_loop_us": summary([records.us(e.retrieved - e.hooked) for e in chosen]),
            "loop_to_present_done_us": summary([records.us(e.present.done - e.retrieved) for e in chosen]),
            "present_call_us": summary([records.us(e.present.done - e.present.start) for e in chosen]),
        }
    return out


def measure_page(h: harness.Harness, presses: int, hold_ms: int, gap_ms: int) -> dict:
    """From the window's present to the stream page's event handler (its start, and the
    moment it has drawn the same keys), with Debian's Chromium (headless) on the page; the
    window's own key-to-present time in the same run; and when the window's drawing reached
    the X server (a DAMAGE report), from the key and to the page's handler."""
    from browser import Browser
    port = mr.free_port()
    app, folder, _ = mr.start_measured(h, min_lit_ms=0, stream=(port, mr.STREAM_TOKEN))
    with Browser() as b:
        mr.open_stream_page(b, port)
        offset_before = mr.page_clock_offset(b)
        with mr.ScreenTimes(h) as screen:
            keytimes = mr.press(h, presses, hold_ms * 1000, gap_ms, folder.parent / "page.tsv")
        time.sleep(0.5)
        offset_after = mr.page_clock_offset(b)
        drawn = b.evaluate("drawnAt")
    records = mr.end_measured(h, app, folder)
    events = mr.match_events(records, keytimes, VK_A)
    # The two clocks may drift apart a little over the run (the kernel slews one of them):
    # each page time is placed by the offset interpolated over the run.
    t0, t1 = keytimes[0][1], keytimes[-1][1]

    def to_qpc(page_ms: float) -> float:
        at = page_ms * 10_000 + offset_before
        share = min(1.0, max(0.0, (at - t0) / max(1, t1 - t0)))
        return page_ms * 10_000 + offset_before + share * (offset_after - offset_before)
    pages = [(to_qpc(heard), lit, to_qpc(done)) for heard, lit, done in drawn]
    bit = 1 << A_SLOT
    latencies, to_drawn, on_screen, screen_to_page, missing, j = [], [], [], [], 0, 0
    for e in events:
        want = bit if e.kind == "down" else 0
        while j < len(pages) and (pages[j][0] < e.present.done - 20_000 or (pages[j][1] & bit) != want):
            j += 1  # earlier drawings, or (with a clock a hair apart) one that shows another state
        if j == len(pages):
            missing += 1
            continue
        latencies.append(records.us(pages[j][0] - e.present.done))
        to_drawn.append(records.us(pages[j][2] - e.present.done))
        shown = screen.first_after(e.present.start)
        if shown is not None:
            on_screen.append(records.us(shown - e.sent))
            screen_to_page.append(records.us(pages[j][0] - shown))
        j += 1
    return {"presses": presses, "hold_ms": hold_ms, "gap_ms": gap_ms, "unmatched": missing,
            "clock_drift_us": records.us(offset_after - offset_before),
            "present_to_page_us": summary(latencies),
            "present_to_page_drawn_us": summary(to_drawn),
            "key_to_x_server_us": summary(on_screen),
            "x_server_to_page_us": summary(screen_to_page),
            "key_to_present_us": summary([records.us(e.present.done - e.sent) for e in events])}


def measure_taps(h: harness.Harness, taps: int, hold_us: int, gap_ms: int) -> dict:
    app, folder, _ = mr.start_measured(h, min_lit_ms=0)
    keytimes = mr.press(h, taps, hold_us, gap_ms, folder.parent / "taps.tsv")
    records = mr.end_measured(h, app, folder)
    pictures = mr.slot_pictures(folder)
    events = mr.match_events(records, keytimes, VK_A)
    # Per tap, what the A cell showed in the presents of its two events.
    sequences = [[mr.slot_state(e.present, pictures, A_SLOT) for e in events[i:i + 2]]
                 for i in range(0, len(events), 2)]
    pressed_then_released = sum(1 for s in sequences if s == ["pressed", "released"])
    first_key = records.key_events(VK_A)[0].at
    unexplained = len([p for p in records.grid_presents() if p.start >= first_key]) - len(events)
    downs = [t for k, t in keytimes if k == "down"]
    held = [records.us(keytimes[i + 1][1] - keytimes[i][1]) for i in range(0, len(keytimes), 2)]
    # What a program that looks at the key on a clock would have drawn: a look at a fixed
    # phase catches a tap only when it falls inside the time the key was down. Averaged
    # over 50 phases of the clock.
    def caught_by_clock(period_s: float) -> list[int]:
        period = records.freq * period_s
        counts = []
        for k in range(50):
            phase = downs[0] + period * k / 50
            n = 0
            for i in range(0, len(keytimes), 2):
                down, up = keytimes[i][1], keytimes[i + 1][1]
                n += phase + period * -(-(down - phase) // period) < up
            counts.append(n)
        return counts
    poll60, timer33 = caught_by_clock(1 / 60), caught_by_clock(0.033)
    return {
        "taps": taps, "hold_us_target": hold_us, "gap_ms": gap_ms,
        "held_us": summary(held),
        "drawn_pressed_then_released": pressed_then_released,
        "presents_no_key_explains": unexplained,
        "sequences_seen": sorted({" ".join(s) for s in sequences}),
        "pressed_drawn_after_sendinput_us": summary(
            [records.us(e.present.done - e.sent) for e in events if e.kind == "down"]),
        "pressed_picture_stood_us": summary(
            [records.us(events[i + 1].present.done - events[i].present.done)
             for i in range(0, len(events), 2)]),
        "held_under_1ms": sum(1 for t in held if t < 1000),
        "poll_60hz_caught_mean": statistics.fmean(poll60),
        "poll_60hz_caught_range": [min(poll60), max(poll60)],
        "timer_33ms_caught_mean": statistics.fmean(timer33),
        "timer_33ms_caught_range": [min(timer33), max(timer33)],
    }


def measure_taps_visible(h: harness.Harness, taps: int, hold_us: int, gap_ms: int) -> dict:
    """The same taps with no minimum lit time and with the default one, one after the
    other: how long each tap's pressed picture stood on the window, and what share of the
    taps a 60 fps capture (the screen taken at one instant every 16.67 ms, at a random
    phase) holds in at least one frame."""
    out = {}
    for minimum in (0, mr.DEFAULT_MIN_LIT_MS):
        app, folder, _ = mr.start_measured(h, min_lit_ms=minimum)
        keytimes = mr.press(h, taps, hold_us, gap_ms, folder.parent / "taps.tsv")
        time.sleep(0.5)
        records = mr.end_measured(h, app, folder)
        first_key = records.key_events(VK_A)[0].at
        spans = mr.lit_spans(mr.slot_timeline(records, mr.slot_pictures(folder), A_SLOT, first_key))
        held = [records.us(keytimes[i + 1][1] - keytimes[i][1]) for i in range(0, len(keytimes), 2)]
        mean, low, high = mr.capture_share(spans, records.freq)
        out[f"min_lit_{minimum}ms"] = {
            "taps": taps, "held_under_1ms": sum(1 for t in held if t < 1000),
            "held_us": summary(held), "lit_spans": len(spans),
            "pressed_picture_stood_ms": summary([records.us(b - a) / 1000 for a, b in spans]),
            "capture_60fps_share_mean": mean, "capture_60fps_share_range": [low, high],
        }
    return out


def measure_idle(h: harness.Harness, seconds: float) -> dict:
    app, folder, _ = mr.start_measured(h)
    mr.press(h, 5, 20_000, 20, folder.parent / "warm.tsv")  # a few keys, then nothing
    time.sleep(1.0)
    before, t0 = mr.unix_stats(app.proc.pid), mr.qpc_now()
    time.sleep(seconds)
    after, t1 = mr.unix_stats(app.proc.pid), mr.qpc_now()
    records = mr.end_measured(h, app, folder)
    inside = lambda ms: [m for m in ms if t0 <= m.at <= t1]  # noqa: E731
    return {
        "seconds": seconds,
        "loop_messages": len(inside(records.loop)),
        "window_messages": len(inside(records.wndproc)),
        "hook_calls": len(inside(records.hooks)),
        "presents": len([p for p in records.presents if t0 <= p.start <= t1]),
        "cpu_ns": after["run_ns"] - before["run_ns"],
        "context_switches": after["switches"] - before["switches"],
        "threads": after["threads"],
    }


def measure_memory(h: harness.Harness, events: int) -> dict:
    folder = h.new_app_folder()
    mr.write_settings(folder)
    app = h.launch(folder)
    win = h.wait_window(harness.MAIN_CLASS, harness.MAIN_TITLE, timeout=30)

    def snap() -> dict:
        stats = h.driver("proc-stats", str(win["pid"]), check=True).first
        return {"working_set": stats["working_set"], **mr.unix_stats(app.proc.pid)}

    started = snap()
    mr.press(h, 100, 0, 1, folder.parent / "warm.tsv")
    warmed = snap()
    rounds = []
    for n in range(3):
        mr.press(h, events // 2, 0, 1, folder.parent / f"round{n}.tsv")
        rounds.append(snap())
    app.kill()
    return {"events_per_round": events, "after_start": started, "after_100_events": warmed,
            "after_rounds": rounds}


def measure_startup(h: harness.Harness, starts: int) -> dict:
    launch_to_present, created_to_present, entry_to_present = [], [], []
    for _ in range(starts):
        app, folder, launched = mr.start_measured(h)
        records = mr.end_measured(h, app, folder)
        first = next(p for p in records.grid_presents() if p.visible)
        launch_to_present.append(records.us(first.done - launched) / 1000)
        created_to_present.append(records.us(first.done - records.process_created) / 1000)
        entry_to_present.append(records.us(first.done - records.entry) / 1000)
    return {"starts": starts, "launch_to_first_present_ms": summary(launch_to_present),
            "created_to_first_present_ms": summary(created_to_present),
            "entry_to_first_present_ms": summary(entry_to_present)}


# The profile's keys, as the driver names them: Shift, W, Space, A, S, D.
PROFILE_SENDS = "SHIFT,W,SPACE,A,S,D"
BLOCK_FOR_TEST = 0x8000 + 0x3B  # main/measure/measure_main.cpp


def raw_reader_exe() -> Path:
    return REPO / "build" / "windows" / "raw_reader.exe"


def sendinput_costs(h: harness.Harness, keys: int, gap_ms: int, out: Path) -> tuple[list[float], int]:
    """The driver, holding the focus, taps the profile's keys in turn: `keys` key events.
    Returns each SendInput call's time in µs and the run's length in ms."""
    taps = keys // 2
    r = h.script("focus", "sleep 300",
                 f"sendinput-cost {PROFILE_SENDS} {taps} {gap_ms} {harness.to_windows_path(out)}",
                 timeout=120 + taps * (gap_ms + 2) / 1000 * 3).of("sendinput-cost")[0]
    return [int(v) / 1000 for v in out.read_text().split()], r["elapsed_ms"]


def cost_summary(values: list[float]) -> dict:
    return {"calls": len(values), "mean_us": statistics.fmean(values), "p50_us": mr.percentile(values, 50),
            "p99_us": mr.percentile(values, 99), "over_1ms": sum(1 for v in values if v > 1000),
            "max_us": max(values)}


def measure_sendinput(h: harness.Harness, keys: int, gap_ms: int, rounds: int) -> dict:
    """What another program's SendInput costs per key: with nothing running, beside
    raw_reader.exe (a program that only reads the keyboard's Raw Input: the floor), beside
    Lumatap, and beside Lumatap with its window's thread blocked for the whole run. The
    four take turns, `rounds` times, so a load that comes and goes on the machine falls on
    all of them; `keys` key events each in all."""
    if not raw_reader_exe().exists():
        sys.exit(f"{raw_reader_exe()} is missing; build the windows preset")
    per_round = keys // rounds
    costs: dict[str, list[float]] = {"nothing": [], "raw_reader": [], "lumatap": [], "lumatap_window_blocked": []}
    seen: dict[str, int] = {"raw_reader": 0, "lumatap": 0, "lumatap_window_blocked": 0}
    run_ms = 0
    for n in range(rounds):
        tmp = h.new_tmp_dir()
        got, run_ms = sendinput_costs(h, per_round, gap_ms, tmp / "nothing.txt")
        costs["nothing"] += got

        reader = h.launch(tmp, exe=str(raw_reader_exe()))
        harness.wait_until(lambda: '"ready"' in reader.log(), 30, "raw_reader.exe listening")
        costs["raw_reader"] += sendinput_costs(h, per_round, gap_ms, tmp / "raw_reader.txt")[0]
        h.close_window("LumatapRawReader")
        reader.wait_exit(30)
        seen["raw_reader"] += json.loads(reader.log().strip().splitlines()[-1])["keys"]

        for blocked in (False, True):
            name = "lumatap_window_blocked" if blocked else "lumatap"
            app, folder, _ = mr.start_measured(h)
            mr.press(h, 3, 20_000, 20, folder.parent / "warm.tsv")
            time.sleep(0.5)
            if blocked:
                # Blocked for the whole run: the run before took run_ms.
                h.post(harness.MAIN_CLASS, BLOCK_FOR_TEST, 3 * run_ms + 5000)
                blocked_until = time.monotonic() + (3 * run_ms + 5000) / 1000
                time.sleep(0.2)
            start = mr.qpc_now()
            costs[name] += sendinput_costs(h, per_round, gap_ms, folder.parent / f"{name}.txt")[0]
            end = mr.qpc_now()
            if blocked:
                time.sleep(max(0.0, blocked_until - time.monotonic()) + 0.5)
            records = mr.end_measured(h, app, folder)
            during = [m for m in records.hooks if start <= m.at <= end and m.message in (mr.KEY_DOWN, mr.KEY_UP)]
            seen[name] += len(during)
            if blocked and any(start <= m.at <= end and m.message in (mr.KEY_DOWN, mr.KEY_UP)
                               for m in records.loop):
                raise RuntimeError("the window's thread took keys while it was meant to be blocked")
        print(f"  round {n + 1} of {rounds} done", flush=True)
    out = {"keys_each": per_round * rounds, "gap_ms_between_taps": gap_ms, "rounds": rounds,
           "key_events_seen": seen}
    for name, values in costs.items():
        out[name] = cost_summary(values)
    floor = out["raw_reader"]
    out["lumatap_over_floor"] = {"mean": out["lumatap"]["mean_us"] / floor["mean_us"],
                                 "p99": out["lumatap"]["p99_us"] / floor["p99_us"]}
    return out


# A profile with the two main buttons, and the same without them.
MOUSE_KEYS = ["Shift", "W", "Space", "A", "左クリック", "右クリック"]
WATCHING_THREAD = "lumatap-keys"  # keyhook.dll names its thread so
AWAY_FROM_THE_GRID = (920, 580)   # far from the grid, which starts at mr.START


def away_from_the_grid(h: harness.Harness) -> None:
    h.driver("mouse", "move", *map(str, AWAY_FROM_THE_GRID), check=True)


def mouse_moves(h: harness.Harness, moves: int, per_second: int, out: Path) -> dict:
    """The driver moves the mouse by a pixel back and forth where it is; returns its report
    and each SendInput call's time in µs. No window of its own: a window taking the
    foreground would be news to the program, which must hear of nothing here."""
    r = h.driver("mousemove-cost", str(moves), str(per_second), harness.to_windows_path(out), check=True,
                 timeout=120 + moves / per_second * 3).of("mousemove-cost")[0]
    return {"report": r, "costs": [int(v) / 1000 for v in out.read_text().split()]}


def measure_mouse(h: harness.Harness, seconds: float, per_second: int, rounds: int) -> dict:
    """Mouse movement at `per_second` events for `seconds`, with nothing running, beside
    Lumatap showing no mouse button and beside Lumatap showing 左クリック and 右クリック:
    the time each SendInput call takes; the processor time and context switches of each of
    Lumatap's threads (the watching thread by name); the messages its window's thread took.
    The three take turns, `rounds` times."""
    moves = int(seconds * per_second)
    cases = {"nothing": None, "lumatap_no_button": mr.PROFILE_KEYS, "lumatap_buttons": MOUSE_KEYS}
    costs: dict[str, list[float]] = {name: [] for name in cases}
    runs: dict[str, list[dict]] = {name: [] for name in cases if cases[name]}
    for n in range(rounds):
        for name, keys in cases.items():
            tmp = h.new_tmp_dir()
            away_from_the_grid(h)
            if keys is None:
                costs[name] += mouse_moves(h, moves, per_second, tmp / "nothing.txt")["costs"]
                continue
            app, folder, _ = mr.start_measured(h, keys=keys)
            time.sleep(1.0)
            before, t0 = mr.thread_stats(app.proc.pid), mr.qpc_now()
            got = mouse_moves(h, moves, per_second, folder.parent / f"{name}.txt")
            after, t1 = mr.thread_stats(app.proc.pid), mr.qpc_now()
            records = mr.end_measured(h, app, folder)
            costs[name] += got["costs"]
            threads = mr.thread_deltas(before, after)
            watching = [t for t in threads if t["name"] == WATCHING_THREAD]
            runs[name].append({
                "elapsed_ms": got["report"]["elapsed_ms"],
                "watching_thread_cpu_ns": sum(t["run_ns"] for t in watching),
                "watching_thread_switches": sum(t["switches"] for t in watching),
                "all_threads_cpu_ns": sum(t["run_ns"] for t in threads),
                "all_threads_switches": sum(t["switches"] for t in threads),
                "threads_that_ran": threads,
                "loop_messages": len([m for m in records.loop if t0 <= m.at <= t1]),
                "window_messages": len([m for m in records.wndproc if t0 <= m.at <= t1]),
                "key_events_posted": len([m for m in records.hooks if t0 <= m.at <= t1]),
            })
        print(f"  round {n + 1} of {rounds} done", flush=True)
    out: dict = {"seconds": seconds, "moves_per_second": per_second, "rounds": rounds}
    for name in cases:
        out[name] = {"sendinput": cost_summary(costs[name])}
        if name in runs:
            out[name]["runs"] = runs[name]
    return out


def machine() -> dict:
    cpu = ""
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return {"cpu": cpu, "cores": os.cpu_count(), "kernel": platform.release(), "wine": wine,
            "load_average": os.getloadavg()}


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--presses", type=int, default=1000)
    ap.add_argument("--hold-ms", type=int, default=15)
    ap.add_argument("--gap-ms", type=int, default=15)
    ap.add_argument("--taps", type=int, default=200)
    ap.add_argument("--tap-us", type=int, default=500)
    ap.add_argument("--idle", type=float, default=10.0)
    ap.add_argument("--events", type=int, default=10_000)
    ap.add_argument("--starts", type=int, default=10)
    ap.add_argument("--sendinput-keys", type=int, default=20_000)
    ap.add_argument("--sendinput-gap-ms", type=int, default=1)
    ap.add_argument("--sendinput-rounds", type=int, default=2)
    ap.add_argument("--mouse-seconds", type=float, default=10.0)
    ap.add_argument("--mouse-rate", type=int, default=1000)
    ap.add_argument("--mouse-rounds", type=int, default=2)
    ap.add_argument("--only", choices=["latency", "page", "taps", "taps-visible", "idle", "memory", "startup",
                                       "sendinput", "mouse"],
                    action="append")
    ap.add_argument("--out", type=Path, default=REPO / "build" / "measure" / "figures.json")
    args = ap.parse_args()
    if not mr.measure_exe().exists():
        sys.exit(f"{mr.measure_exe()} is missing; build it first (see the top of this file)")

    figures: dict = {"machine": machine(), "taken": time.strftime("%Y-%m-%d %H:%M:%S")}
    parts = args.only or ["startup", "latency", "page", "taps", "taps-visible", "idle", "memory", "sendinput",
                          "mouse"]
    with harness.Harness() as h:
        mr.check_shared_clock(h)
        for part in parts:
            print(f"== {part}", flush=True)
            if part == "latency":
                figures[part] = measure_latency(h, args.presses, args.hold_ms, args.gap_ms)
            elif part == "page":
                figures[part] = measure_page(h, args.presses, args.hold_ms, args.gap_ms)
            elif part == "taps":
                figures[part] = measure_taps(h, args.taps, args.tap_us, 20)
            elif part == "taps-visible":
                figures[part] = measure_taps_visible(h, args.taps, args.tap_us, 100)
            elif part == "idle":
                figures[part] = measure_idle(h, args.idle)
            elif part == "memory":
                figures[part] = measure_memory(h, args.events)
            elif part == "startup":
                figures[part] = measure_startup(h, args.starts)
            elif part == "sendinput":
                figures[part] = measure_sendinput(h, args.sendinput_keys, args.sendinput_gap_ms,
                                                  args.sendinput_rounds)
            elif part == "mouse":
                figures[part] = measure_mouse(h, args.mouse_seconds, args.mouse_rate, args.mouse_rounds)
            print(json.dumps(figures[part], indent=1, ensure_ascii=False), flush=True)
    figures["machine"]["load_average_after"] = os.getloadavg()
    args.out.parent.mkdir(parents=True, exist_ok=True)
    args.out.write_text(json.dumps(figures, indent=1, ensure_ascii=False) + "\n")
    print(f"written to {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
