#!/usr/bin/env python3
"""The layer check over small trees of its own: what passes, and what it names when it fails."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-layers.py")


class CheckLayersTest(unittest.TestCase):
    def run_on(self, files):
        """Runs the check over a src tree holding `files` (path -> list of included paths)."""
        with tempfile.TemporaryDirectory() as root:
            for path, includes in files.items():
                full = os.path.join(root, path)
                os.makedirs(os.path.dirname(full), exist_ok=True)
                with open(full, "w") as f:
                    f.write("#pragma once\n")
                    f.writelines(f'#include "{target}"\n' for target in includes)
            done = subprocess.run([sys.executable, CHECKER, root], capture_output=True, text=True)
            return done.returncode, done.stdout

    def test_downhill_same_floor_and_sub_folders_pass(self):
        code, out = self.run_on({
            "platform/Clock.h": [],
            "model/Note.h": ["platform/Clock.h", "model/text/Runs.h", "Local.h"],
            "model/text/Runs.h": ["model/Note.h"],  # a sub-folder belongs to its folder
            "editor/blocks/Container.cpp": ["editor/text/Storage.h", "editor/Host.h"],
            "editor/text/Storage.h": ["editor/Host.h"],
            "editor/Host.h": ["model/Note.h"],
            "windows/Panel.cpp": ["capture/Service.h"],  # one way on one floor
            "capture/Service.h": ["store/NoteStore.h"],
            "store/NoteStore.h": ["keys/CryptoBox.h"],
            "app/main.cpp": ["mcp/Service.h", "settings/Tab.h", "note/NoteView.h"],
        })
        self.assertEqual(code, 0, out)

    def test_upward_include_is_named_by_file_and_line(self):
        code, out = self.run_on({
            "store/NoteSealing.h": ["keys/CryptoBox.h", "privacy/UnlockSession.h"],
            "windows/Controller.cpp": ["note/NoteBody.h"],
            "editor/text/Controller.h": ["editor/blocks/Host.h"],  # text lies below blocks
            "note/NoteView.cpp": ["app/AppServices.h"],
        })
        self.assertEqual(code, 1)
        self.assertIn('src/store/NoteSealing.h:3: store includes "privacy/UnlockSession.h" from a higher floor', out)
        self.assertIn('src/windows/Controller.cpp:2: windows includes "note/NoteBody.h"', out)
        self.assertIn('src/editor/text/Controller.h:2: editor/text includes "editor/blocks/Host.h"', out)
        self.assertIn('src/note/NoteView.cpp:2: note includes "app/AppServices.h"', out)
        self.assertNotIn("keys/CryptoBox.h", out)

    def test_circle_on_one_floor_and_unknown_folders_fail(self):
        code, out = self.run_on({
            "windows/Panel.cpp": ["capture/Service.h"],
            "capture/Service.cpp": ["privacy/Session.h"],
            "privacy/Session.cpp": ["windows/Panel.h"],
            "gadgets/Thing.cpp": ["platform/Clock.h"],
            "model/Note.cpp": ["gadgets/Thing.h"],
        })
        self.assertEqual(code, 1)
        self.assertIn("circle between capture, privacy, windows:", out)
        self.assertIn("windows -> capture (src/windows/Panel.cpp:2)", out)
        self.assertIn("src/gadgets/Thing.cpp:2: folder src/gadgets has no floor", out)
        self.assertIn('src/model/Note.cpp:2: "gadgets/Thing.h" is in no known folder', out)


if __name__ == "__main__":
    unittest.main()
