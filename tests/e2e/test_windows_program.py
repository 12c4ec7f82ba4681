"""lumatap.exe as Windows sees it from outside, under Wine: the manifest, the icon and the
version it carries, the DPI awareness its windows report, and where keyhook.dll may come
from. A keyhook.dll anywhere but the program folder is never loaded; without one the
user is told and the program still runs."""

import re
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import (MAIN_CLASS, MAIN_TITLE, OPTIONS_CLASS, OPTIONS_TITLE, POPUP_MENU_CLASS,  # noqa: E402
                     REPO, LumatapTestCase, to_windows_path)

HOOK_MISSING = "キーボードフックのライブラリが見つからないか壊れているため、押したキーを表示できません。"

# A stand-in keyhook.dll. Loaded anywhere, it leaves a file named after itself plus
# ".loaded" beside itself; with EXPORTS it offers the two calls the program looks for.
FAKE_HOOK_SOURCE = r"""
#include <windows.h>
BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 16];
    DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    lstrcpyW(path + n, L".loaded");
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  }
  return TRUE;
}
#ifdef EXPORTS
extern "C" __declspec(dllexport) void __stdcall SetHook(HWND) {}
extern "C" __declspec(dllexport) void __stdcall ResetHook() {}
#endif
"""


def project_version() -> str:
    text = (REPO / "CMakeLists.txt").read_text()
    return re.search(r"project\(Lumatap VERSION ([0-9.]+)", text).group(1)


class ResourcesTest(LumatapTestCase):
    def test_the_program_file_carries_manifest_icon_and_version(self):
        r = self.h.driver("resources", to_windows_path(self.h.dist / "lumatap.exe"), check=True).first
        self.assertEqual(sorted(r["icons"].get("1", [])), [16, 20, 24, 32, 48, 256],
                         f"icon groups: {r['icons']}")
        manifest = r["manifest"]
        for needed in ("PerMonitorV2", "true/pm", "Microsoft.Windows.Common-Controls",
                       'version="6.0.0.0"', 'level="asInvoker"',
                       "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):
            self.assertIn(needed, manifest)
        for name in ("lumatap.exe", "keyhook.dll"):
            with self.subTest(name=name):
                if name != "lumatap.exe":
                    r = self.h.driver("resources", to_windows_path(self.h.dist / name), check=True).first
                version = r["version"]
                self.assertEqual(version.get("ProductName"), "Lumatap")
                self.assertEqual(version.get("OriginalFilename"), name)
                self.assertEqual(version.get("FileVersion"), project_version())
                self.assertEqual(version.get("ProductVersion"), project_version())
                self.assertEqual(r["file_version_fixed"], project_version() + ".0")
                self.assertEqual(r["language"], 0x411, "the strings are Japanese")
                self.assertRegex(version.get("FileDescription", ""), "[\u3040-\u30ff\u4e00-\u9fff]",
                                 "a Japanese description")

    def test_both_windows_report_the_dpi_awareness_of_the_manifest(self):
        folder = self.h.new_app_folder()
        self.start_app(folder)
        self.answer_first_run()
        self.wait_main_window()
        main = self.h.driver("window-dpi", MAIN_CLASS, MAIN_TITLE, check=True).first
        self.assertIn(main["awareness"], ("per-monitor-v2", "per-monitor"), main)
        # The options dialog, from the pop-up menu.
        left, top = self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["client"][:2]
        self.h.driver("mouse", "click", str(left + 20), str(top + 20), "right", check=True)
        self.h.wait_window(POPUP_MENU_CLASS, timeout=10)
        for key in ("DOWN", "DOWN", "RETURN"):
            self.h.driver("key", "tap", key, check=True)
        self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE)
        options = self.h.driver("window-dpi", OPTIONS_CLASS, OPTIONS_TITLE, check=True).first
        self.assertEqual(options["awareness"], main["awareness"], options)


class HookLibraryTest(LumatapTestCase):
    def build_fake_hook(self, folder: Path, exports: bool) -> Path:
        folder.mkdir(parents=True, exist_ok=True)
        source = folder / "fake_keyhook.cpp"
        source.write_text(FAKE_HOOK_SOURCE)
        out = folder / "keyhook.dll"
        cmd = ["x86_64-w64-mingw32-g++", "-shared", "-O1", "-DUNICODE", str(source), "-o", str(out),
               "-static-libgcc", "-Wl,--kill-at"]
        if exports:
            cmd.insert(1, "-DEXPORTS")
        subprocess.run(cmd, check=True, timeout=300)
        source.unlink()
        return out

    def expect_missing_hook_message(self, folder: Path) -> dict:
        box = self.h.msgbox(timeout=30)
        self.assertIsNotNone(box, "a message about the missing hook library")
        self.assertIn(HOOK_MISSING, box["text"])
        self.assertIn(to_windows_path(folder / "keyhook.dll"), box["text"])
        self.assertEqual(box["icon"], "warning")
        self.assertEqual(box["buttons"], ["OK"])
        self.h.press("OK")
        # The program goes on: the window comes up and its menu still ends it.
        window = self.wait_main_window()
        self.assertTrue(window["visible"])
        return window

    def test_a_hook_library_in_the_current_folder_or_on_path_is_never_loaded(self):
        folder = self.h.new_app_folder()
        (folder / "keyhook.dll").unlink()
        (folder / "lumatap.ini").write_bytes(b"[window]\r\nX=10\r\nY=10\r\n")
        elsewhere = folder.parent / "current"
        on_path = folder.parent / "on-path"
        planted = [self.build_fake_hook(elsewhere, exports=True),
                   self.build_fake_hook(on_path, exports=True)]
        app = self.h.launch(folder, cwd=elsewhere,
                            env={"WINEPATH": to_windows_path(on_path)})
        self.expect_missing_hook_message(folder)
        for dll in planted:
            self.assertFalse(Path(str(dll) + ".loaded").exists(), f"{dll} was loaded")
        self.h.close_window(MAIN_CLASS, MAIN_TITLE)
        self.assertEqual(app.wait_exit(30), 0)
        # The end still saved the settings, as any end does.
        self.assertIn(b"[style]", (folder / "lumatap.ini").read_bytes())

    def test_a_hook_library_without_its_two_calls_is_reported(self):
        folder = self.h.new_app_folder()
        (folder / "keyhook.dll").unlink()
        (folder / "lumatap.ini").write_bytes(b"[window]\r\nX=10\r\nY=10\r\n")
        dll = self.build_fake_hook(folder, exports=False)
        self.h.launch(folder)
        self.expect_missing_hook_message(folder)
        self.assertTrue(Path(str(dll) + ".loaded").exists(),
                        "the one in the program folder is the one looked at")

    def test_the_real_hook_library_brings_no_message(self):
        folder = self.h.new_app_folder()
        (folder / "lumatap.ini").write_bytes(b"[window]\r\nX=10\r\nY=10\r\n")
        self.h.launch(folder)
        self.wait_main_window()
        self.assertIsNone(self.h.msgbox(timeout=2))


if __name__ == "__main__":
    unittest.main()
