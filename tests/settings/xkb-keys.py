#!/usr/bin/env python3
"""A small X client for the keyboard steps, through libX11 and libXtst alone.

Usage:
  xkb-keys.py lock GROUP         locks the keyboard's XKB group (0 for the first layout), as a layout
                                 switcher does
  xkb-keys.py press CODE...      presses the keys of these key codes in order and releases them in
                                 reverse, through the server's test keyboard: a key by where it sits,
                                 whatever the layout makes of it
"""
import ctypes
import sys

x11 = ctypes.CDLL("libX11.so.6")
xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XkbLockGroup.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_uint]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
USE_CORE_KBD = 0x100


def main():
    display = x11.XOpenDisplay(None)
    if not display:
        return 1
    if sys.argv[1] == "lock":
        ok = x11.XkbLockGroup(display, USE_CORE_KBD, int(sys.argv[2]))
    else:
        codes = [int(c) for c in sys.argv[2:]]
        ok = all(xtst.XTestFakeKeyEvent(display, c, True, 0) for c in codes)
        ok = all([xtst.XTestFakeKeyEvent(display, c, False, 0) for c in reversed(codes)]) and ok
    x11.XSync(display, False)
    x11.XCloseDisplay(display)
    return 0 if ok else 1


sys.exit(main())
