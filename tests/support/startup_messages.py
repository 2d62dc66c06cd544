#!/usr/bin/python3
# Prints each startup notification message sent to the root window of $DISPLAY on a line
# ("listening" first): _NET_STARTUP_INFO_BEGIN and _NET_STARTUP_INFO pieces up to a NUL.
from Xlib import X, display

screen = display.Display()
pieces = [screen.intern_atom(name) for name in ("_NET_STARTUP_INFO_BEGIN", "_NET_STARTUP_INFO")]
screen.screen().root.change_attributes(event_mask=X.PropertyChangeMask)
screen.sync()
print("listening", flush=True)
message = b""
while True:
    event = screen.next_event()
    if event.type == X.ClientMessage and event.client_type in pieces:
        message = (b"" if event.client_type == pieces[0] else message) + bytes(event.data[1])
        if b"\0" in message:
            print(message.split(b"\0")[0].decode("utf-8", "replace"), flush=True)
            message = b""
