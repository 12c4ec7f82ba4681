"""The release a user downloads, made by tools/package.sh.

Two runs of the command on the same commit give the same archives, byte for byte; the zip
holds the program folder and nothing else; the shipped binaries carry no debug
information while the debug zip reads a code address back to its source line; the
notices cover every library the build compiled or linked in; and lumatap.exe from the
unpacked zip starts under Wine and shows its grid.

The second run reuses the first one's build tree, so it does not compile again, but its
linked files are deleted first, so it links again, at another time, and repacks: the
compiler has no clock in its output (no __DATE__ in the code), so what could differ
between two builds is the link time, the packing and the build folder's path. The first
two are covered by the two runs; the path is checked directly: no file in either zip
holds the repository's or the build tree's path, so a build elsewhere gives the same
bytes too. (Two complete builds in two folders would prove the same at twice the cost.)
"""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import MAIN_CLASS, MAIN_TITLE, REPO, Harness, to_windows_path, wait_until  # noqa: E402
from test_display import expected_grid_of, mismatches  # noqa: E402

BUILD = Path(os.environ.get("LUMATAP_RELEASE_BUILD", REPO / "build" / "release")).resolve()
BINARIES = ("lumatap.exe", "keyhook.dll")
TOOL = "x86_64-w64-mingw32-"

# Where the code in the shipped files comes from, by path, and the notice that covers it.
# The program's own sources and the build tree need none; any other path fails the test
# until it has a line here and a section in THIRD-PARTY-NOTICES.txt.
ORIGINS = (
    ("/usr/include/stb/", "stb_image"),
    ("/usr/share/llhttp/", "llhttp"),
    ("/usr/share/include/llhttp/", "llhttp"),
    ("/usr/lib/gcc/x86_64-w64-mingw32/", "GCC runtime libraries"),
    ("/usr/x86_64-w64-mingw32/", "mingw-w64 runtime"),
    ("/usr/share/mingw-w64/", "mingw-w64 runtime"),
)


def project_version() -> str:
    text = (REPO / "CMakeLists.txt").read_text()
    return re.search(r"project\(Lumatap VERSION ([0-9.]+)", text).group(1)


def package(out: Path) -> None:
    subprocess.run([str(REPO / "tools" / "package.sh"), "--build-dir", str(BUILD), "--out", str(out)],
                   check=True, timeout=1500, stdout=subprocess.DEVNULL)


def notice_sections(text: str) -> dict[str, str]:
    """Section title (up to its parenthesis) -> body, for the '=' ruled titles."""
    parts = re.split(r"^={70,}\n(.+)\n={70,}\n", text, flags=re.M)
    return {title.split(" (")[0].strip(): body for title, body in zip(parts[1::2], parts[2::2])}


def dependencies(depfile: Path) -> list[str]:
    """The files a compiler depfile names after its target."""
    text = depfile.read_text().replace("\\\n", " ")
    return text.split(":", 1)[1].split()


def linked_inputs(build: Path, map_file: Path) -> list[Path]:
    """The object files and archives a link map says went in: every LOAD of a single
    object, and every archive member pulled in (as the archive's path plus member)."""
    text = map_file.read_text(errors="replace")
    inputs = [Path(os.path.normpath(build / p)) for p in re.findall(r"^LOAD (\S+\.o(?:bj)?)$", text, re.M)]
    for archive, member in set(re.findall(r"^(\S+\.a)\(([^)]+)\)", text, re.M)):
        inputs.append(Path(os.path.normpath(build / archive)) / member)
    return inputs


class ReleaseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls) -> None:
        cls.tmp = Path(tempfile.mkdtemp(prefix="lumatap-release-"))
        cls.version = project_version()
        cls.base = f"Lumatap-{cls.version}-win64"
        cls.runs = [cls.tmp / "one", cls.tmp / "two"]
        package(cls.runs[0])
        for name in BINARIES:
            (BUILD / name).unlink()
        package(cls.runs[1])
        cls.zip = cls.runs[1] / f"{cls.base}.zip"
        cls.debug_zip = cls.runs[1] / f"{cls.base}-debug.zip"

    @classmethod
    def tearDownClass(cls) -> None:
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_two_runs_give_the_same_archives_and_their_checksum(self):
        names = [f"{self.base}.zip", f"{self.base}.zip.sha256", f"{self.base}-debug.zip"]
        for name in names:
            with self.subTest(name=name):
                one, two = (run / name for run in self.runs)
                self.assertEqual(one.read_bytes(), two.read_bytes(), f"{name} differs between two runs")
        digest = hashlib.sha256(self.zip.read_bytes()).hexdigest()
        self.assertEqual((self.runs[1] / names[1]).read_text(), f"{digest}  {names[0]}\n")

    def test_the_zip_holds_the_program_folder_and_nothing_else(self):
        skins = REPO / "assets" / "skin"
        expected = {"Lumatap/", "Lumatap/skin/"} | {
            f"Lumatap/{n}" for n in ("lumatap.exe", "keyhook.dll", "keylist.dat", "使い方.txt",
                                     "LICENSE.txt", "THIRD-PARTY-NOTICES.txt")}
        for p in skins.rglob("*"):
            expected.add(f"Lumatap/skin/{p.relative_to(skins).as_posix()}" + ("/" if p.is_dir() else ""))
        with zipfile.ZipFile(self.zip) as z:
            self.assertEqual(sorted(z.namelist()), sorted(expected))
            guide = z.read("Lumatap/使い方.txt")
            texts = {n: z.read(f"Lumatap/{n}") for n in ("LICENSE.txt", "THIRD-PARTY-NOTICES.txt")}
            self.assertEqual(z.read("Lumatap/keylist.dat"), (REPO / "assets" / "keylist.dat").read_bytes())
            # Japanese names (使い方.txt, skin/WASD黒ルコ) carry the flag that tells Windows'
            # Extract All they are UTF-8; without it they would come out garbled.
            for info in z.infolist():
                if not info.filename.isascii():
                    self.assertTrue(info.flag_bits & 0x800, f"{info.filename} lacks the UTF-8 flag")

        # The guide as Notepad on a Japanese Windows reads it: UTF-8 with a BOM, CR LF.
        self.assertTrue(guide.startswith(b"\xef\xbb\xbf"), "the guide starts with a UTF-8 BOM")
        for name, data in [("使い方.txt", guide), *texts.items()]:
            with self.subTest(name=name):
                self.assertGreater(len(data), 1000)
                self.assertNotIn(b"\n", data.replace(b"\r\n", b""), "every line ends in CR LF")
        guide_text = guide.decode("utf-8-sig")
        self.assertIn(f"Lumatap（ルマタップ） {self.version}", guide_text)
        self.assertIn("Copyright (c) 2026 Lumatap developers", texts["LICENSE.txt"].decode("ascii"))

    def test_the_shipped_binaries_are_stripped_and_the_debug_zip_reads_an_address(self):
        folder = self.tmp / "files"
        with zipfile.ZipFile(self.zip) as z, zipfile.ZipFile(self.debug_zip) as d:
            z.extractall(folder)
            d.extractall(folder)
            self.assertEqual(sorted(d.namelist()), sorted(
                [f"{self.base}-debug/"] + [f"{self.base}-debug/{n}.debug" for n in BINARIES]))
        debug = folder / f"{self.base}-debug"
        for name in BINARIES:
            with self.subTest(name=name):
                shipped = folder / "Lumatap" / name
                sections = subprocess.run([TOOL + "objdump", "-h", str(shipped)], capture_output=True,
                                          text=True, check=True).stdout
                self.assertNotIn(".debug_", sections)
                scratch = Path(tempfile.mkdtemp(dir=self.tmp))
                link = scratch / "link"
                subprocess.run([TOOL + "objcopy", f"--dump-section=.gnu_debuglink={link}", str(shipped),
                                str(scratch / name)], check=True)
                self.assertTrue(link.read_bytes().startswith(f"{name}.debug\0".encode()), link.read_bytes())
        # Nothing in either zip knows where it was built.
        leaks = [str(REPO).encode(), str(BUILD).encode()]
        for path in folder.rglob("*"):
            if path.is_file():
                data = path.read_bytes()
                self.assertFalse([s for s in leaks if s in data], f"{path} holds a build path")
        # A crash address in lumatap.exe reads back to the program's own source line.
        symbols = subprocess.run([TOOL + "nm", str(debug / "lumatap.exe.debug")], capture_output=True,
                                 text=True, check=True).stdout
        address = re.search(r"^([0-9a-f]+) T wWinMain$", symbols, re.M).group(1)
        where = subprocess.run([TOOL + "addr2line", "-e", str(debug / "lumatap.exe.debug"), "0x" + address],
                               capture_output=True, text=True, check=True).stdout
        self.assertRegex(where, r"^(\./)?main/win32/winmain\.cpp:\d+$")

    def test_the_notices_cover_every_library_the_build_put_in(self):
        needed: dict[str, set[str]] = {}
        unknown: set[str] = set()

        def origin(path: str, because: str) -> None:
            if path.startswith((str(REPO) + "/", str(BUILD) + "/")):
                return  # the program's own code
            for prefix, section in ORIGINS:
                if path.startswith(prefix):
                    needed.setdefault(section, set()).add(because)
                    return
            unknown.add(f"{path} (in {because})")

        for name in BINARIES:
            inputs = linked_inputs(BUILD, BUILD / f"{Path(name).stem}.map")
            self.assertGreater(len(inputs), 10, f"{name}.map names what was linked")
            for item in inputs:
                archive = item.parent if item.parent.suffix == ".a" else item
                if not str(archive).startswith(str(BUILD) + "/"):
                    origin(str(archive), name)
                    continue
                if item.suffix == ".res":
                    continue  # lumatap.rc: the program's own manifest, icon and version
                # Compiled here: what the compiler read for it.
                depfiles = [Path(str(item) + ".d")] if item.suffix == ".obj" and item == archive else \
                    list((BUILD / "CMakeFiles").rglob(f"{item.name}.d"))
                self.assertTrue(depfiles and all(d.exists() for d in depfiles), f"no depfile for {item}")
                for depfile in depfiles:
                    for dep in dependencies(depfile):
                        origin(os.path.normpath(BUILD / dep), name)

        self.assertEqual(unknown, set(), "linked in, but no notice says whose it is")
        notices = notice_sections((REPO / "THIRD-PARTY-NOTICES.txt").read_text(encoding="utf-8"))
        self.assertEqual(sorted(notices), sorted(needed),
                         f"sections of THIRD-PARTY-NOTICES.txt against what went in: {needed}")
        for title, body in notices.items():
            self.assertRegex(body, r"(?i)permission|license", f"{title} has its licence text")

    def test_the_program_from_the_zip_starts_and_shows_its_grid(self):
        folder = self.tmp / "user"
        with zipfile.ZipFile(self.zip) as z:
            z.extractall(folder)
        program = folder / "Lumatap"
        with Harness(dist=program) as h:
            version = h.driver("resources", to_windows_path(program / "lumatap.exe"), check=True).first["version"]
            self.assertEqual(version.get("ProductVersion"), self.version, "the zip's name is the program's version")
            h.launch(program)
            h.answer_first_run(yes=True)  # the recommended settings: the WASD黒ルコ skin
            expected = expected_grid_of(program, "WASD黒ルコ")

            def grid_shown():
                window = h.wait_window(MAIN_CLASS, MAIN_TITLE, timeout=10)
                return mismatches(h.window_image(window, client=True), expected) == 0

            try:
                wait_until(grid_shown, 20, "the grid of the recommended settings", interval=0.2)
            except TimeoutError:
                h.save_screenshot(REPO / "build" / "e2e-artifacts" / f"{self.id()}.png")
                raise


if __name__ == "__main__":
    unittest.main()
