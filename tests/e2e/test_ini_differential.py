"""lumatap.ini read and written two ways under Wine with code page 932: by Lumatap's own
IniRead / IniWrite and by the system's GetPrivateProfileStringA / WritePrivateProfileStringA,
both called from ini_probe.exe on the same files.

Every case must come out byte for byte the same, or be listed below with what each side
gives and why Lumatap's answer is the right one for the program. A listed difference that
disappears, or turns into another, fails the test as well.
"""

from __future__ import annotations

import os
import shutil
import sys
import tempfile
import unittest
from dataclasses import dataclass, field
from pathlib import Path
from typing import Optional

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import REPO, LumatapTestCase, to_windows_path  # noqa: E402


def sj(text: str) -> bytes:
    return text.encode("cp932")


# --------------------------------------------------------------------------------------
# Reading

@dataclass
class Read:
    name: str
    file: bytes
    section: bytes
    key: bytes


KANJI_200 = sj("字" * 200)
READS = [
    Read("plain", b"[window]\r\nX=100\r\n", b"window", b"X"),
    Read("section and key in other case", b"[WINDOW]\r\nx=5\r\n", b"Window", b"X"),
    Read("blanks around key and value", b"[window]\r\n \t X  =  12 \t\r\n", b"window", b"X"),
    Read("blanks around the asked names", b"[window]\r\nX=1\r\n", b" window ", b" X "),
    Read("blanks around the header", b"  [window]  \r\nX=1\r\n", b"window", b"X"),
    Read("blanks inside the brackets", b"[ window ]\r\nX=1\r\n", b"window", b"X"),
    Read("text after the header", b"[window] junk\r\nX=1\r\n", b"window", b"X"),
    Read("the last ']' closes the name", b"[a]b]\r\nX=3\r\n", b"a]b", b"X"),
    Read("a header without ']'", b"[k]\r\n[x\r\np=2\r\n", b"k", b"p"),
    Read("double quotes", b"[k]\r\np=\"a b\"\r\n", b"k", b"p"),
    Read("single quotes", b"[k]\r\np='a b'\r\n", b"k", b"p"),
    Read("quotes keep inner blanks", b"[k]\r\np=\"  a  \"\r\n", b"k", b"p"),
    Read("one pair of quotes only", b"[k]\r\np=\"\"a\"\"\r\n", b"k", b"p"),
    Read("quotes that do not match", b"[k]\r\np=\"a'\r\n", b"k", b"p"),
    Read("a lone quote", b"[k]\r\np=\"\r\n", b"k", b"p"),
    Read("two quotes", b"[k]\r\np=\"\"\r\n", b"k", b"p"),
    Read("an empty value", b"[k]\r\np=\r\n", b"k", b"p"),
    Read("'=' in the value", b"[k]\r\np=a=b\r\n", b"k", b"p"),
    Read("a key line without '='", b"[k]\r\np\r\np=2\r\n", b"k", b"p"),
    Read("a comment line", b"[k]\r\n;p=1\r\np=2\r\n", b"k", b"p"),
    Read("the first of repeated keys", b"[k]\r\np=1\r\np=2\r\n", b"k", b"p"),
    Read("repeated sections: key in the first", b"[k]\r\np=1\r\n[K]\r\np=2\r\n", b"k", b"p"),
    Read("repeated sections: key in the second only", b"[k]\r\nq=1\r\n[k]\r\np=2\r\n", b"k", b"p"),
    Read("a key above every section", b"p=1\r\n[k]\r\n", b"k", b"p"),
    Read("missing section", b"[a]\r\np=1\r\n", b"k", b"p"),
    Read("missing key", b"[k]\r\nq=1\r\n", b"k", b"p"),
    Read("empty file", b"", b"k", b"p"),
    Read("no line end after the last line", b"[k]\r\np=last", b"k", b"p"),
    Read("lone LF line ends", b"[a]\nq=1\n[k]\np=2\n", b"k", b"p"),
    Read("lone CR line ends throughout", b"[a]\rq=1\r[k]\rp=2\r", b"k", b"p"),
    Read("a lone CR among CR LF line ends", b"[k]\r\nq=1\rp=2\r\n", b"k", b"p"),
    Read("^Z around the value", b"[k]\r\np=\x1ava\x1a\r\n", b"k", b"p"),
    Read("300 ASCII bytes", b"[k]\r\np=" + b"a" * 300 + b"\r\n", b"k", b"p"),
    Read("254 ASCII bytes", b"[k]\r\np=" + b"b" * 254 + b"\r\n", b"k", b"p"),
    Read("200 double-byte characters", b"[k]\r\np=" + KANJI_200 + b"\r\n", b"k", b"p"),
    Read("one byte, then 200 double-byte characters", b"[k]\r\np=a" + KANJI_200 + b"\r\n", b"k",
         b"p"),
    Read("quoted, 300 bytes inside", b"[k]\r\np=\"" + b"c" * 300 + b"\"\r\n", b"k", b"p"),
    Read("quoted, 254 bytes inside", b"[k]\r\np=\"" + b"c" * 254 + b"\"\r\n", b"k", b"p"),
    Read("quoted, 253 bytes inside", b"[k]\r\np=\"" + b"c" * 253 + b"\"\r\n", b"k", b"p"),
    Read("Japanese section, key and value", sj("[設定]\r\n名前 = 矢印スタンダード\r\n"), sj("設定"),
         sj("名前")),
    Read("the built-in profile name", sj("[key]\r\nprofile=OSU！用ZXキー\r\n"), b"key", b"profile"),
    Read("a skin name", sj("[style]\r\nskin=WASD黒ルコ\r\n"), b"style", b"skin"),
    Read("full-width letters in other case", sj("[ＡＢＣ]\r\np=1\r\n"), sj("ａｂｃ"), b"p"),
    Read("Greek letters in other case", sj("[ΑΩ]\r\np=1\r\n"), sj("αω"), b"p"),
    Read("Cyrillic letters in other case", sj("[НОЯЁ]\r\np=1\r\n"), sj("нояё"), b"p"),
    Read("a second byte like 'A' is no letter", sj("[ア]\r\np=1\r\n"), sj("ヂ"), b"p"),
    Read("a second byte like ']' closes nothing", sj("[ゾ\r\np=1\r\n"), sj("ゾ"), b"p"),
    Read("a second byte like '\\'", sj("[表示]\r\nソ=ソフト\r\n"), sj("表示"), sj("ソ")),
    Read("full-width blanks around the value", sj("[k]\r\np=　題　\r\n"), b"k", b"p"),
]


@dataclass
class ReadDifference:
    wine: bytes
    ours: bytes
    why: str


CASE_FOLDING = (
    "these letters differ only in case, and names are found without regard to case; Wine's "
    "profile code folds ASCII letters only. The settings file's own names are ASCII, so "
    "lumatap.ini reads the same either way.")

READ_DIFFERENCES = {
    "quoted, 254 bytes inside": ReadDifference(
        wine=b"c" * 253, ours=b"c" * 254,
        why="254 bytes fit the limit; Wine takes off the closing quote after cutting to 254 "
            "characters and so drops the last character of the value instead."),
    "full-width letters in other case": ReadDifference(wine=b"", ours=b"1", why=CASE_FOLDING),
    "Greek letters in other case": ReadDifference(wine=b"", ours=b"1", why=CASE_FOLDING),
    "Cyrillic letters in other case": ReadDifference(wine=b"", ours=b"1", why=CASE_FOLDING),
}


# --------------------------------------------------------------------------------------
# Writing

@dataclass
class Write:
    name: str
    before: Optional[bytes]  # None: the file does not exist
    writes: list[tuple[bytes, bytes, bytes]]
    # Keys read back from both results, by both readers, to show they mean the same.
    check: list[tuple[bytes, bytes]] = field(default_factory=list)


END_SEQUENCE = [
    (b"window", b"X", b"-12"), (b"window", b"Y", b"300"), (b"window", b"frame", b"1"),
    (b"style", b"skin", sj("WASD黒ルコ")), (b"key", b"profile", sj("矢印スタンダード")),
]
END_KEYS = [(s, k) for s, k, _ in END_SEQUENCE]

WRITES = [
    Write("the first end creates the file", None, END_SEQUENCE, END_KEYS),
    Write("a later end rewrites the same values", sj(
        "[window]\r\nX=5\r\nY=6\r\nframe=0\r\n[style]\r\nskin=default\r\n[key]\r\nprofile=東方弾幕風\r\n"),
        END_SEQUENCE, END_KEYS),
    Write("an unchanged value leaves the file alone", b"[window]\r\n  X =  5  \r\n\r\n",
          [(b"window", b"X", b"5")], [(b"window", b"X")]),
    Write("names in other case keep the file's spelling", b"[WINDOW]\r\nx=1\r\n",
          [(b"window", b"X", b"2")], [(b"window", b"X")]),
    Write("a new key goes to the end of its section", b"[window]\r\nX=1\r\n[style]\r\nskin=a\r\n",
          [(b"window", b"Y", b"2")], [(b"window", b"X"), (b"window", b"Y"), (b"style", b"skin")]),
    Write("a new section after a last line without line end", b"[a]\r\nk=1",
          [(b"b", b"j", b"2")], [(b"a", b"k"), (b"b", b"j")]),
    Write("a new key after a last line without line end", b"[key]\r\nprofile=a",
          [(b"key", b"x", b"1")], [(b"key", b"profile"), (b"key", b"x")]),
    Write("a replaced last line without line end", b"[key]\r\nprofile=a",
          [(b"key", b"profile", b"b")], [(b"key", b"profile")]),
    Write("the first of repeated sections takes the key", b"[a]\r\nk=1\r\n[a]\r\nj=2\r\n",
          [(b"a", b"j", b"5")], [(b"a", b"j"), (b"a", b"k")]),
    Write("the first of repeated keys is replaced", b"[a]\r\nk=1\r\nk=2\r\n",
          [(b"a", b"k", b"3")], [(b"a", b"k")]),
    Write("comments, blank lines and spacing elsewhere", sj(
        "; Lumatap の設定\r\n[window]\r\nX = 5\r\n\r\n  Y =  2 \r\nframe=0\r\n\r\n[key]\r\nprofile=P\r\n"),
        [(b"window", b"X", b"7")], [(b"window", b"X"), (b"window", b"Y"), (b"key", b"profile")]),
    Write("lone CR line ends", b"[a]\rk=1\rj=2\r", [(b"a", b"j", b"3")],
          [(b"a", b"k"), (b"a", b"j")]),
    Write("blanks before the value", b"", [(b"a", b"k", b"  x ")], [(b"a", b"k")]),
    Write("a value longer than 254 bytes", b"", [(b"a", b"k", b"v" * 300)], [(b"a", b"k")]),
    Write("Japanese section, key and value", b"", [(sj("設定"), sj("名前"), sj("東方弾幕風"))],
          [(sj("設定"), sj("名前"))]),
    Write("a line break inside the value", b"[a]\r\nk=1\r\n", [(b"a", b"k", b"x\r\nj=2")],
          [(b"a", b"k"), (b"a", b"j")]),
]

@dataclass
class WriteDifference:
    ours: bytes
    why: str
    same_meaning: bool = True  # both files give every checked key the same value


IN_PLACE = ("Lumatap changes only the line of the key and leaves every other byte as the user "
            "or the last run left it; Wine rewrites the whole file from what it parsed.")

WRITE_DIFFERENCES = {
    "a replaced last line without line end": WriteDifference(
        b"[key]\r\nprofile=b", IN_PLACE + " The line keeps its own (missing) line end."),
    "comments, blank lines and spacing elsewhere": WriteDifference(sj(
        "; Lumatap の設定\r\n[window]\r\nX=7\r\n\r\n  Y =  2 \r\nframe=0\r\n\r\n[key]\r\nprofile=P\r\n"),
        IN_PLACE + " Blank lines and the spacing of other keys stay."),
    "lone CR line ends": WriteDifference(
        b"[a]\rk=1\rj=3\r", IN_PLACE + " Lines keep their lone CR line ends."),
    "a line break inside the value": WriteDifference(
        b"[a]\r\nk=x  j=2\r\n",
        "a value is one line: Wine writes the line break as it is, and the rest of the value "
        "becomes a key of its own (here j=2) that nobody wrote. Lumatap writes blanks instead.",
        same_meaning=False),
}


# --------------------------------------------------------------------------------------

def probe_exe() -> Path:
    explicit = os.environ.get("LUMATAP_INI_PROBE")
    return Path(explicit) if explicit else REPO / "build" / "windows" / "ini_probe.exe"


def word(b: bytes) -> str:
    return b.hex() if b else "-"


class IniDifferentialTest(LumatapTestCase):
    require_dist = False

    @classmethod
    def setUpClass(cls) -> None:
        if not probe_exe().exists():
            message = f"{probe_exe()} not built yet (cmake --build --preset windows)"
            if os.environ.get("LUMATAP_REQUIRE_DIST") == "1":
                raise FileNotFoundError(message)
            raise unittest.SkipTest(message)
        super().setUpClass()
        cls.work = Path(tempfile.mkdtemp(prefix="lumatap-ini-"))
        (cls.work / "probe").mkdir()
        shutil.copy2(probe_exe(), cls.work / "probe" / "ini_probe.exe")

    @classmethod
    def tearDownClass(cls) -> None:
        work = getattr(cls, "work", None)
        if work and os.environ.get("LUMATAP_KEEP_TMP") != "1":
            shutil.rmtree(work, ignore_errors=True)
        super().tearDownClass()

    def probe(self, mode: str, commands: list[str], tag: str) -> list[str]:
        script = self.work / f"{tag}.script"
        results = self.work / f"{tag}.results"
        script.write_text("\n".join(commands) + "\n")
        app = self.h.launch(self.work / "probe", "ini_probe.exe",
                            [mode, to_windows_path(script), to_windows_path(results)])
        rc = app.wait_exit(timeout=120)
        self.assertEqual(rc, 0, f"ini_probe {mode} failed: {app.log()}")
        lines = results.read_text().split("\n")[:len(commands)]
        self.assertEqual(len(lines), len(commands), f"ini_probe {mode} answered {lines}")
        return lines

    def read_all(self, mode: str, reads: list[tuple[Path, bytes, bytes]], tag: str) -> list[bytes]:
        commands = [f"R {word(str(to_windows_path(p)).encode())} {word(s)} {word(k)}"
                    for p, s, k in reads]
        return [bytes.fromhex(line) for line in self.probe(mode, commands, tag)]

    def test_reads_agree_or_differ_as_listed(self):
        folder = self.work / "reads"
        folder.mkdir()
        reads = []
        for i, case in enumerate(READS):
            p = folder / f"{i:02d}.ini"
            p.write_bytes(case.file)
            reads.append((p, case.section, case.key))
        wine = self.read_all("api", reads, "reads-api")
        ours = self.read_all("own", reads, "reads-own")

        seen_differences = set()
        for case, w, o in zip(READS, wine, ours):
            with self.subTest(case.name):
                diff = READ_DIFFERENCES.get(case.name)
                if diff is None:
                    self.assertEqual(o, w, "Lumatap and Wine read differently")
                else:
                    seen_differences.add(case.name)
                    self.assertEqual(w, diff.wine, "Wine no longer reads as listed")
                    self.assertEqual(o, diff.ours, "Lumatap no longer reads as listed")
        self.assertEqual(set(READ_DIFFERENCES) - seen_differences, set(), "listed but not in the corpus")

    def test_writes_agree_or_differ_as_listed(self):
        outputs = {}
        for mode in ("api", "own"):
            folder = self.work / f"writes-{mode}"
            folder.mkdir()
            commands = []
            for i, case in enumerate(WRITES):
                p = folder / f"{i:02d}.ini"
                if case.before is not None:
                    p.write_bytes(case.before)
                for s, k, v in case.writes:
                    commands.append(f"W {word(str(to_windows_path(p)).encode())} {word(s)} {word(k)} "
                                    f"{word(v)}")
            answers = self.probe(mode, commands, f"writes-{mode}")
            self.assertEqual(answers, ["ok"] * len(commands), f"{mode}: a write failed")
            outputs[mode] = [folder / f"{i:02d}.ini" for i in range(len(WRITES))]

        # What each side wrote, read back by both readers.
        reads = [(p, s, k) for mode in ("api", "own") for case, p in zip(WRITES, outputs[mode])
                 for s, k in case.check]
        back_wine = self.read_all("api", reads, "back-api")
        back_ours = self.read_all("own", reads, "back-own")
        half = len(reads) // 2

        at = 0
        for i, case in enumerate(WRITES):
            with self.subTest(case.name):
                wine_bytes = outputs["api"][i].read_bytes()
                our_bytes = outputs["own"][i].read_bytes()
                n = len(case.check)
                wine_reads_wines = back_wine[at:at + n]
                wine_reads_ours = back_wine[half + at:half + at + n]
                ours_reads_ours = back_ours[half + at:half + at + n]
                self.assertEqual(ours_reads_ours, wine_reads_ours,
                                 "the two readers disagree on Lumatap's file")
                diff = WRITE_DIFFERENCES.get(case.name)
                if diff is None or diff.same_meaning:
                    self.assertEqual(wine_reads_ours, wine_reads_wines,
                                     "Lumatap's file means something else than Wine's")
                if diff is None:
                    self.assertEqual(our_bytes, wine_bytes, "Lumatap and Wine wrote differently")
                else:
                    self.assertNotEqual(our_bytes, wine_bytes, "listed as different, but the same")
                    self.assertEqual(our_bytes, diff.ours, "Lumatap no longer writes as listed")
            at += n
        self.assertEqual(set(WRITE_DIFFERENCES) - {c.name for c in WRITES}, set(),
                         "listed but not in the corpus")


if __name__ == "__main__":
    unittest.main()
