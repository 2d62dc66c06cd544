#!/usr/bin/python3
"""Prints the startup notification messages sent to the root window of $DISPLAY, one
line each, as they arrive; prints "listening" once it listens. Messages come in
_NET_STARTUP_INFO_BEGIN and _NET_STARTUP_INFO pieces of 20 bytes up to a NUL byte."""
import sys
from Xlib import X, display

screen = display.Display()
root = screen.screen().root
begin = screen.intern_atom("_NET_STARTUP_INFO_BEGIN")
more = screen.intern_atom("_NET_STARTUP_INFO")
root.change_attributes(event_mask=X.PropertyChangeMask)
screen.sync()
print("listening", flush=True)
pending = {}
while True:
    event = screen.next_event()
    if event.type != X.ClientMessage or event.client_type not in (begin, more):
        continue
    window = event.window.id
    if event.client_type == begin:
        pending[window] = b""
    elif window not in pending:
        continue
    pending[window] += bytes(event.data[1])
    if b"\0" in pending[window]:
        print(pending.pop(window).split(b"\0")[0].decode("utf-8", "replace"), flush=True)
