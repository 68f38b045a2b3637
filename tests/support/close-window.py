#!/usr/bin/python3
"""Asks an X window to close as a window manager does: a WM_DELETE_WINDOW client message to its owner.

Usage: close-window.py WINDOW-ID (on the display that DISPLAY names). Fails when the window does
not take part in that protocol, so that a test never mistakes a silent no-op for a close.
"""

import sys

from Xlib import X, display, protocol


def main():
    screen = display.Display()
    window = screen.create_resource_object("window", int(sys.argv[1], 0))
    delete = screen.intern_atom("WM_DELETE_WINDOW")
    if delete not in (window.get_wm_protocols() or []):
        print(f"window {sys.argv[1]} does not take WM_DELETE_WINDOW", file=sys.stderr)
        return 1
    message = protocol.event.ClientMessage(
        window=window,
        client_type=screen.intern_atom("WM_PROTOCOLS"),
        data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    # No event mask: the event goes to the client that made the window, as ICCCM has it.
    window.send_event(message, event_mask=X.NoEventMask)
    screen.sync()
    return 0


if __name__ == "__main__":
    sys.exit(main())
