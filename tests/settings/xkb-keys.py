#!/usr/bin/env python3
"""A small X client for the keyboard steps, through libX11 and libXtst alone.

Usage:
  xkb-keys.py lock GROUP         locks the keyboard's XKB group (0 for the first layout), as a layout
                                 switcher does
  xkb-keys.py press CODE...      presses the keys of these key codes in order and releases them in
                                 reverse, through the server's test keyboard: a key by where it sits,
                                 whatever the layout makes of it
  xkb-keys.py taken CODE MODS    exits 0 when another client holds a grab of the key CODE with the
                                 modifier mask MODS (Control 4, Mod1 8, Shift 1) on the root window,
                                 found by trying to grab it; else 1
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
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                         ctypes.c_int]
x11.XUngrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong]
USE_CORE_KBD = 0x100
BAD_ACCESS = 10
GRAB_MODE_ASYNC = 1


class ErrorEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("display", ctypes.c_void_p), ("resourceid", ctypes.c_ulong),
                ("serial", ctypes.c_ulong), ("error_code", ctypes.c_ubyte), ("request_code", ctypes.c_ubyte),
                ("minor_code", ctypes.c_ubyte)]


errors = []
ErrorHandler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(ErrorEvent))
x11.XSetErrorHandler.argtypes = [ErrorHandler]
x11.XSetErrorHandler.restype = ctypes.c_void_p
# Kept for the life of the script: the library calls it back.
ERROR_HANDLER = ErrorHandler(lambda display, event: errors.append(event.contents.error_code) or 0)


def main():
    display = x11.XOpenDisplay(None)
    if not display:
        return 1
    if sys.argv[1] == "lock":
        ok = x11.XkbLockGroup(display, USE_CORE_KBD, int(sys.argv[2]))
    elif sys.argv[1] == "taken":
        x11.XSetErrorHandler(ERROR_HANDLER)
        code, mods = int(sys.argv[2]), int(sys.argv[3])
        root = x11.XDefaultRootWindow(display)
        x11.XGrabKey(display, code, mods, root, False, GRAB_MODE_ASYNC, GRAB_MODE_ASYNC)
        x11.XSync(display, False)
        ok = BAD_ACCESS in errors
        if not errors:
            x11.XUngrabKey(display, code, mods, root)
    else:
        codes = [int(c) for c in sys.argv[2:]]
        ok = all(xtst.XTestFakeKeyEvent(display, c, True, 0) for c in codes)
        ok = all([xtst.XTestFakeKeyEvent(display, c, False, 0) for c in reversed(codes)]) and ok
    x11.XSync(display, False)
    x11.XCloseDisplay(display)
    return 0 if ok else 1


sys.exit(main())
