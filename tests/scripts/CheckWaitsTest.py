#!/usr/bin/env python3
"""The wait check over small scripts of its own: which waits it refuses, and which it lets through."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-waits.py")


class CheckWaitsTest(unittest.TestCase):
    def run_on(self, script):
        with tempfile.TemporaryDirectory() as root:
            with open(os.path.join(root, "steps.sh"), "w") as f:
                f.write(script)
            done = subprocess.run([sys.executable, CHECKER, root], capture_output=True, text=True)
            return done.returncode, done.stdout

    def test_waits_that_look_again_pass(self):
        code, out = self.run_on("""
within 150 note_is "a b"
settles_to 150 $'one\\ntwo' note_of || fail "reads $(note_of)"
within 50 bash -c '[ "$(xdotool getactivewindow)" = "$0" ]' "$win" || fail "`date`"
within 100 bash -c "[ \\"\\$(xdotool getactivewindow)\\" = $target ]"
within 50 bash -c "! xdotool search --name '^New Note$' >/dev/null" || fail "$(date)"
wait_for 10 eval '[ "$(height_of)" -lt "$full" ]'
within $((bound * 10)) ready
echo "within 5 test $(date)"   # a word in a string, not a wait
python3 - <<'PY'
within 5 test "$(not shell)"
PY
""")
        self.assertEqual(code, 0, out)

    def test_substitutions_expanded_before_the_wait_are_named(self):
        code, out = self.run_on("""within 150 test "$(note_of)" = x || fail "$(note_of)"
if within 5 test -n `pgrep x`; then :; fi
within 100 bash -c "[ \\"$(xdotool getactivewindow)\\" = $target ]"
settles_to 50 1 sql "SELECT count(*) WHERE n >= $((4 + $(wc -c <f)))"
waits_again() { settles_to 50 "$@" && sleep 0.4; }
waits_again x \\
  "$(date)"
""")
        self.assertEqual(code, 1)
        for line, helper in [(1, "within"), (2, "within"), (3, "within"), (4, "settles_to"), (6, "waits_again")]:
            self.assertIn(f"steps.sh:{line}: {helper} ", out)
        self.assertEqual(out.count("steps.sh:"), 5, out)


if __name__ == "__main__":
    unittest.main()
