#!/usr/bin/env python3
"""Prints the keys and pointer buttons the X server on $DISPLAY holds down, one per line ("36 Return",
"button 1"), and nothing when none is. A key left down (a release that never reached the server) makes the
server's autorepeat type it again and again into whatever comes next. Exits 2 when no display answers."""
import ctypes
import ctypes.util
import sys


def main() -> int:
    name = ctypes.util.find_library("X11") or "libX11.so.6"
    try:
        x11 = ctypes.CDLL(name)
    except OSError as error:
        print(f"held-keys: {error}", file=sys.stderr)
        return 2
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XQueryKeymap.argtypes = [ctypes.c_void_p, ctypes.c_char * 32]
    x11.XkbKeycodeToKeysym.restype = ctypes.c_ulong
    x11.XkbKeycodeToKeysym.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int, ctypes.c_int]
    x11.XKeysymToString.restype = ctypes.c_char_p
    x11.XKeysymToString.argtypes = [ctypes.c_ulong]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XQueryPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    display = x11.XOpenDisplay(None)
    if not display:
        print("held-keys: no X display answers", file=sys.stderr)
        return 2
    keys = (ctypes.c_char * 32)()
    x11.XQueryKeymap(display, keys)
    for byte_index, byte in enumerate(keys.raw):
        for bit in range(8):
            if byte >> bit & 1:
                code = byte_index * 8 + bit
                sym = x11.XKeysymToString(x11.XkbKeycodeToKeysym(display, code, 0, 0))
                print(f"{code} {sym.decode() if sym else '?'}")

    root, child = ctypes.c_ulong(), ctypes.c_ulong()
    coords = [ctypes.c_int() for _ in range(4)]
    mask = ctypes.c_uint()
    if x11.XQueryPointer(display, x11.XDefaultRootWindow(display), ctypes.byref(root), ctypes.byref(child),
                         *[ctypes.byref(c) for c in coords], ctypes.byref(mask)):
        for button in range(1, 6):
            if mask.value & (1 << (7 + button)):  # Button1Mask is 1 << 8
                print(f"button {button}")
    x11.XCloseDisplay(display)
    return 0


if __name__ == "__main__":
    sys.exit(main())
