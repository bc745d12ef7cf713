#!/usr/bin/env python3
"""Checks that every retrying wait of the shell scripts looks again at each try.

`within 150 test "$(note_of)" = x` runs note_of once, while the line is read, and then compares that
one old value for the whole wait: it passes only when the value was already there, so it fails on a
busy machine. A wait is to be given what it retries by name (a function, `bash -c '...'` in single
quotes, `eval '...'`), and a value it compares with is worked out before the wait, into a variable.

So no argument of a retry helper may hold a command substitution, `$(...)` or `...` in backquotes, that
the shell expands before the helper runs: bare or in double quotes (also `bash -c "...$(...)..."`; an
escaped `\\$(` is left for the inner shell and is fine). The helpers are within, settles_to and wait_for
(tests/support/session-lib.sh, tests/integration/desktop/lib.sh) and any function that hands its own
arguments ("$@") to one of them.

Usage: check-waits.py [PATH...]   (folders are searched for *.sh; default: tests/ and scripts/ beside
this script's folder). Prints file:line for each such wait and exits 1 when there is any.
"""
import os
import re
import sys

HELPERS = {"within", "settles_to", "wait_for"}
RESERVED = {"if", "then", "else", "elif", "do", "while", "until", "time", "!", "{", "}", "fi", "done"}
# Where a shell word ends (outside quotes).
META = set(" \t\n;&|()<>")
SKIP_DIRS = {"node_modules", ".git"}


class Scanner:
    """A small shell lexer: enough of quoting, substitutions and here-documents to find, for every
    call of a retry helper, the command substitutions its arguments expand before the call."""

    def __init__(self, text, helpers):
        self.text = text
        self.n = len(text)
        self.helpers = helpers
        self.heredocs = []  # (delimiter, strip tabs) waiting for the end of the line
        self.calls = []  # (line, helper, raw arguments, lines of the early substitutions)

    def line_of(self, i):
        return self.text.count("\n", 0, i) + 1

    def newline(self, i):
        """Past the newline at i, and past the bodies of here-documents started on that line."""
        i += 1
        for delimiter, strip in self.heredocs:
            while i < self.n:
                end = self.text.find("\n", i)
                end = self.n if end < 0 else end
                line = self.text[i:end]
                i = end + 1
                if (line.lstrip("\t") if strip else line) == delimiter:
                    break
        self.heredocs = []
        return i

    def skip_single(self, i):
        end = self.text.find("'", i + 1)
        return self.n if end < 0 else end + 1

    def skip_ansi(self, i):  # $'...', i at the quote
        i += 1
        while i < self.n and self.text[i] != "'":
            i += 2 if self.text[i] == "\\" else 1
        return i + 1

    def skip_backquote(self, i):
        i += 1
        while i < self.n and self.text[i] != "`":
            i += 2 if self.text[i] == "\\" else 1
        return i + 1

    def skip_braces(self, i, early):  # ${...}, i at the brace
        depth = 0
        while i < self.n:
            c = self.text[i]
            if c == "\\":
                i += 2
                continue
            if c == "{":
                depth += 1
            elif c == "}":
                depth -= 1
                if depth == 0:
                    return i + 1
            elif c == "'":
                i = self.skip_single(i)
                continue
            elif c == '"':
                i = self.skip_double(i, early)
                continue
            elif c == "$" and self.text.startswith("$(", i):
                i = self.dollar(i, early)
                continue
            i += 1
        return i

    def dollar(self, i, early, quoted=False):
        """Past a $-expansion at i; a command substitution's line goes into `early`."""
        t = self.text
        if t.startswith("$((", i):  # arithmetic, which may hold substitutions of its own
            depth, i = 0, i + 1
            while i < self.n:
                if t[i] == "$":
                    i = self.dollar(i, early, quoted=True)
                    continue
                if t[i] == "(":
                    depth += 1
                elif t[i] == ")":
                    depth -= 1
                    if depth == 0:
                        return i + 1
                i += 1
            return i
        if t.startswith("$(", i):
            early.append(self.line_of(i))
            return self.scan(i + 2, nested=True)
        if t.startswith("${", i):
            return self.skip_braces(i + 1, early)
        if t.startswith("$'", i) and not quoted:
            return self.skip_ansi(i + 1)
        return i + 1

    def skip_double(self, i, early):  # "...", i at the quote
        i += 1
        while i < self.n:
            c = self.text[i]
            if c == "\\":
                i += 2
            elif c == '"':
                return i + 1
            elif c == "`":
                early.append(self.line_of(i))
                i = self.skip_backquote(i)
            elif c == "$":
                i = self.dollar(i, early, quoted=True)
            else:
                i += 1
        return i

    def word(self, i, early):
        """Past the shell word starting at i; substitutions it expands are noted in `early`."""
        start = i
        while i < self.n and self.text[i] not in META:
            c = self.text[i]
            if c == "\\":
                i += 2
            elif c == "'":
                i = self.skip_single(i)
            elif c == '"':
                i = self.skip_double(i, early)
            elif c == "`":
                early.append(self.line_of(i))
                i = self.skip_backquote(i)
            elif c == "$":
                i = self.dollar(i, early)
            else:
                i += 1
        return max(i, start + 1)

    def redirection(self, i):
        """Past a redirection operator at i and its target; notes a here-document."""
        t = self.text
        if t.startswith("<<<", i):
            i += 3
        elif t.startswith("<<", i):
            i += 2
            strip = i < self.n and t[i] == "-"
            i += strip
            while i < self.n and t[i] in " \t":
                i += 1
            end = self.word(i, [])
            self.heredocs.append((re.sub(r"[\"'\\]", "", t[i:end]), strip))
            return end
        else:
            i += 1
            while i < self.n and t[i] in "<>&|":
                i += 1
        while i < self.n and t[i] in " \t":
            i += 1
        if i < self.n and t[i] not in META:
            i = self.word(i, [])
        return i

    def blanks(self, i):
        """Past the spaces, tabs and escaped line ends from i."""
        while i < self.n:
            if self.text[i] in " \t":
                i += 1
            elif self.text.startswith("\\\n", i):
                i += 2
            else:
                break
        return i

    def arguments(self, i, helper):
        """Past the arguments of a helper call at i, to the end of its command."""
        t, early, start = self.text, [], i
        while (i := self.blanks(i)) < self.n:
            c = t[i]
            if c in "\n;&|)":
                break
            elif c in "<>":
                i = self.redirection(i)
            elif c == "#" and t[i - 1] in " \t":
                break
            else:
                i = self.word(i, early)
        self.calls.append((self.line_of(start), helper, t[start:i], early))
        return i

    def scan(self, i=0, nested=False):
        """Commands from i on; with `nested`, to the `)` that closes a command substitution."""
        t, command_start, depth = self.text, True, 0
        while (i := self.blanks(i)) < self.n:
            c = t[i]
            if c == "\n":
                i = self.newline(i)
                command_start = True
            elif c == "#" and (i == 0 or t[i - 1] in " \t\n;"):
                end = t.find("\n", i)
                i = self.n if end < 0 else end
            elif c in ";&|(":
                depth += c == "("
                i += 1
                command_start = True
            elif c == ")":
                if nested and depth == 0:
                    return i + 1
                depth -= 1
                i += 1
                command_start = True
            elif c in "<>":
                i = self.redirection(i)
            else:
                end = self.word(i, [])
                name = t[i:end]
                if command_start and name in self.helpers:
                    i = self.arguments(end, name)
                    command_start = False
                    continue
                # An assignment before a command and a reserved word leave the command to come.
                command_start = command_start and (name in RESERVED or re.match(r"^\w+=", name) is not None)
                i = end
        return i


def shell_files(paths):
    for path in paths:
        if os.path.isfile(path):
            yield path
            continue
        for root, dirs, files in os.walk(path):
            dirs[:] = sorted(d for d in dirs if d not in SKIP_DIRS and not d.startswith("build"))
            for name in sorted(files):
                if name.endswith(".sh"):
                    yield os.path.join(root, name)


FUNCTION = re.compile(r"^(\s*)(?:function\s+)?([A-Za-z_][\w-]*)\s*\(\)\s*\{")


def wrappers(text, helpers):
    """Functions of `text` that pass their own arguments to a helper: helpers themselves."""
    found = set()
    lines = text.split("\n")
    for number, line in enumerate(lines):
        match = FUNCTION.match(line)
        if not match:
            continue
        body = [line[match.end():]]
        if not line.rstrip().endswith("}"):  # to the closing brace at the definition's indent
            for later in lines[number + 1:]:
                body.append(later)
                if re.match(re.escape(match.group(1)) + r"\}", later):
                    break
        scanner = Scanner("\n".join(body), helpers)
        scanner.scan()
        if any(re.search(r'"\$(@|\{@)', arguments) for _, _, arguments, _ in scanner.calls):
            found.add(match.group(2))
    return found


def check(paths):
    texts = {}
    for path in shell_files(paths):
        with open(path, encoding="utf-8", errors="replace") as f:
            texts[path] = f.read()
    helpers = set(HELPERS)
    while True:  # a wrapper of a wrapper is one too
        more = set().union(*(wrappers(text, helpers) for text in texts.values())) - helpers
        if not more:
            break
        helpers |= more
    faults = []
    for path, text in texts.items():
        scanner = Scanner(text, helpers)
        scanner.scan()
        for line, helper, arguments, early in scanner.calls:
            if early:
                first = arguments.strip().split("\n")[0]
                faults.append(f"{path}:{line}: {helper} {first[:100]}: the substitution on line "
                              f"{early[0]} is run once, before the wait; retry a function or a quoted body")
    return faults


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    paths = sys.argv[1:] or [os.path.join(here, "..", "tests"), os.path.join(here, "..", "scripts")]
    missing = [p for p in paths if not os.path.exists(p)]
    if missing:
        print(f"check-waits: no such file or folder: {', '.join(missing)}", file=sys.stderr)
        return 2
    faults = check(paths)
    for fault in faults:
        print(fault)
    if faults:
        print(f"check-waits: {len(faults)} wait(s) compare a value read once, before they start")
        return 1
    print("check-waits: every wait looks again at each try")
    return 0


if __name__ == "__main__":
    sys.exit(main())
