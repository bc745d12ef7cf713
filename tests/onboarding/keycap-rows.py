#!/usr/bin/env python3
"""Watches the tour's key caps on the screen and tells whether they were seen pressed.

Usage: keycap-rows.py X Y WIDTH HEIGHT DIR

X Y WIDTH HEIGHT is the tour window on the root window. The key caps are found where they stand still,
as the first row of wide ink-filled blocks (DIR/ready is made then). From then on the band under them
is read from the X server as fast as it answers, and each key's top edge, to a tenth of a pixel, is
kept for every reading. Once DIR/stop exists and the edges have stayed put for a moment, the readings
end. The keys were seen pressed when a reading had one key's top edge 2 px below another's: at rest
the keys stand in one line, and the row may be on its way to a new place on the page while it is
pressed. The first key's left edge is kept too: the keys must also have been seen between where they
stood and where they came to rest (the row makes room for its check mark, so they slide left), not only
at either end. Prints what was seen; exits 0 when pressed and slid, 1 when not, 2 when no keys were
found.
"""
import ctypes
import ctypes.util
import os
import sys
import time

INK = (38, 36, 31)  # the awake keys' fill
PAPER = (255, 252, 246)  # the tour's page
FULL = 0.85  # a row this much ink counts as inside a key: a key fading under a picture does not
DROP = 2.0  # how far a pressed key goes down
LOOK_FOR_KEYS_S = 30  # bounds a hang only
SETTLED_S = 0.6
LONGEST_S = 60
SLIDE_ROOM = 40  # read this far left of the first key: its left edge moves some 14 px as the row slides


class XImage(ctypes.Structure):
    _fields_ = [
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int),
        ("data", ctypes.POINTER(ctypes.c_ubyte)),
        ("byte_order", ctypes.c_int),
        ("bitmap_unit", ctypes.c_int),
        ("bitmap_bit_order", ctypes.c_int),
        ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int),
        ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int),
        ("red_mask", ctypes.c_ulong),
        ("green_mask", ctypes.c_ulong),
        ("blue_mask", ctypes.c_ulong),
    ]


x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.POINTER(XImage)
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                          ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]

display = x11.XOpenDisplay(None)
if not display:
    sys.exit("keycap-rows: no X display")
root = x11.XDefaultRootWindow(display)


class Picture:
    """A part of the screen as the X server has it (24 or 32 bits a pixel, as Xvfb gives)."""

    def __init__(self, x, y, w, h):
        image = x11.XGetImage(display, root, x, y, w, h, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            raise RuntimeError("keycap-rows: the screen could not be read")
        img = image.contents
        self.width, self.height = img.width, img.height
        self.step, self.line = img.bits_per_pixel // 8, img.bytes_per_line
        self.raw = ctypes.string_at(img.data, self.line * self.height)
        x11.XDestroyImage(image)

    def ink(self, c, r):
        """0 for the paper, 1 for the keys' ink (read from the green, the pages are grey and brown)."""
        green = self.raw[r * self.line + c * self.step + 1]
        return max(0.0, min(1.0, (PAPER[1] - green) / (PAPER[1] - INK[1])))


def find_keys(x, y, w, h):
    """The window's first row of key-wide ink blocks: [a column through each key]."""
    picture = Picture(x, y, w, h)
    for top in range(h - 12):
        spans, start = [], None
        # Inside the rounded corners, a little below the top, each key is one wide run of ink.
        for c in range(w + 1):
            inked = c < w and picture.ink(c, top + 10) >= FULL
            if inked and start is None:
                start = c
            elif not inked and start is not None:
                if c - start >= 30:
                    spans.append((start, c))
                start = None
        if spans and all(picture.ink((a + b) // 2, top) >= FULL for a, b in spans):
            # Left of the key's label, right of its rounded corner: ink from the top edge down.
            return [a + 14 for a, b in spans]
    return None


def top_edge(picture, c):
    """Where the key in column c begins, to a tenth of a pixel; None when the column has no key."""
    for r in range(picture.height - 6):
        # A run of full ink (the key, not a thin line), its edge softened into the row above.
        if all(picture.ink(c, r + i) >= FULL for i in range(6)):
            return round(r - (picture.ink(c, r - 1) if r > 0 else 0.0), 1)
    return None


def left_edge(picture, top):
    """Where the key that begins at row `top` starts on the left, read below its rounded corner."""
    r = int(top) + 20
    if r >= picture.height:
        return None
    for c in range(picture.width):
        if picture.ink(c, r) >= FULL:
            return round(c - (picture.ink(c - 1, r) if c > 0 else 0.0), 1)
    return None


def main():
    x, y, w, h = (int(v) for v in sys.argv[1:5])
    ready, stop = os.path.join(sys.argv[5], "ready"), os.path.join(sys.argv[5], "stop")
    # The keys are taken where they stand still: the page may still be sliding in or waking them.
    found, earlier, until = None, None, time.monotonic() + LOOK_FOR_KEYS_S
    while time.monotonic() < until:
        found = find_keys(x, y, w, h)
        if found is not None and found == earlier:
            break
        earlier, found = found, None
        time.sleep(0.2)
    if found is None:
        print("keycap-rows: no key caps found in the tour window")
        return 2
    open(ready, "w").close()
    readings, changed, start = [], time.monotonic(), time.monotonic()
    last = None
    # One reading is one picture of the band under the keys, taken in one request.
    left = max(0, found[0] - 14 - SLIDE_ROOM)
    width = found[-1] - left + 1
    lefts = []
    while True:
        now = time.monotonic()
        picture = Picture(x + left, y, width, h)
        edges = tuple(top_edge(picture, c - left) for c in found)
        readings.append(edges)
        first = left_edge(picture, edges[0]) if edges[0] is not None else None
        lefts.append(None if first is None else round(first + left, 1))
        if edges != last or (len(lefts) > 1 and lefts[-1] != lefts[-2]):
            changed, last = now, edges
        if os.path.exists(stop) and now - changed >= SETTLED_S:
            break
        if now - start > LONGEST_S:
            print("keycap-rows: the keys never settled")
            break
    pressed = [r for r in readings if None not in r and any(
        abs(a - b - DROP) <= 0.4 for a in r for b in r)]
    seen = {}
    for r in readings:
        seen[r] = seen.get(r, 0) + 1
    print("keycap-rows: %d readings, %d with a key pressed; at rest %s; seen most %s" % (
        len(readings), len(pressed), readings[-1], sorted(seen.items(), key=lambda kv: -kv[1])[:8]))
    # A slide: the left edge seen clear of both where it stood and where it came to rest (the edge is read
    # to a tenth of a pixel and stands still to the tenth at either end; the slide spends its last pixel
    # settling, so half a pixel clear still counts).
    known = [e for e in lefts if e is not None]
    if not known:
        print("keycap-rows: the first key's left edge was never read")
        return 1
    first, end = known[0], known[-1]
    between = [e for e in known if min(first, end) + 0.5 < e < max(first, end) - 0.5]
    print("keycap-rows: first key's left edge from %s to %s; %d readings between: %s" % (
        first, end, len(between), sorted(set(between))[:12]))
    if not pressed:
        return 1
    if not between:
        print("keycap-rows: the keys did not slide: they stood only where they began or where they ended")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
