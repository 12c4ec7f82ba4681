#!/usr/bin/python3
"""Tests for check_layers.py: it must catch each kind of upward include and let the
allowed ones through.

    /usr/bin/python3 tools/test_check_layers.py
"""

import contextlib
import io
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_layers as cl  # noqa: E402


class UpwardIncludes(unittest.TestCase):
    def run_on(self, files):
        with tempfile.TemporaryDirectory() as d:
            root = Path(d)
            for name, text in files.items():
                (root / name).parent.mkdir(parents=True, exist_ok=True)
                (root / name).write_text(text, encoding="utf-8")
            for sub in cl.SOURCE_DIRS:
                (root / sub).mkdir(exist_ok=True)
            with contextlib.redirect_stdout(io.StringIO()) as out:
                code = cl.main(["--root", str(root)])
            return code, out.getvalue()

    def test_each_upward_include_is_named(self):
        cases = [
            ("platform/ui.cpp", "display/form1.h"),
            ("platform/win32/x.cpp", "state/module1.h"),
            ("keyhook/keyhook.cpp", "options/frmOptions.h"),
            ("state/module1.cpp", "display/form1.h"),
            ("display/skin.cpp", "options/frmOptions.h"),
            ("display/layout.cpp", "app/settings.h"),
            ("options/save.cpp", "app/startup.h"),
            ("app/startup.cpp", "main/win32/winmain.cpp"),
        ]
        for source, target in cases:
            with self.subTest(source=source, target=target):
                code, out = self.run_on({source: f'#include <string>\n  #  include "{target}"\n'})
                self.assertEqual(code, 1)
                self.assertIn(f"{source}:2: includes {target}", out)

    def test_includes_of_the_same_layer_or_below_pass(self):
        code, out = self.run_on({
            "app/startup.cpp": '#include "options/frmOptions.h"\n#include "display/form1.h"\n',
            "options/frmOptions.cpp": '#include "display/form1.h"\n#include "state/module1.h"\n',
            "display/form1.h": '#include "state/module1.h"\n#include "platform/ui.h"\n',
            "state/module1.cpp": '#include "platform/system.h"\n',
            "platform/win32/w.cpp": '#include "keyhook/keyevent.h"\n#include "local.h"\n',
            "main/win32/winmain.cpp": '#include "app/startup.h"\n',  # the entry
        })
        self.assertEqual(code, 0, out)

    def test_the_repository_itself_passes(self):
        with contextlib.redirect_stdout(io.StringIO()) as out:
            code = cl.main([])
        self.assertEqual(code, 0, out.getvalue())


if __name__ == "__main__":
    unittest.main()
