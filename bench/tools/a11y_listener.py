#!/usr/bin/python3
"""A stand-in for a screen reader on the AT-SPI bus: listens to every object,
window and focus event, and asks each event's source for its name, role and
states, as a screen reader does before it speaks. Prints "listening" once the
listeners are registered and the number of events on exit.
  a11y_listener.py SECONDS   (stops after SECONDS, or on SIGTERM)
"""
import signal
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

events = 0


def on_event(event):
    global events
    events += 1
    try:
        source = event.source
        if source is not None:
            source.get_name()
            source.get_role()
            source.get_state_set()
    except GLib.Error:
        pass  # the source went away before we asked


def main():
    limit = float(sys.argv[1]) if len(sys.argv) > 1 else 600.0
    Atspi.set_timeout(2000, 5000)
    listener = Atspi.EventListener.new(on_event)
    for kind in ("object:", "window:", "focus:"):
        listener.register(kind)
    GLib.timeout_add(int(limit * 1000), lambda: Atspi.event_quit() or False)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: Atspi.event_quit() or False)
    print("listening", flush=True)
    Atspi.event_main()
    print("events %d" % events, file=sys.stderr, flush=True)


if __name__ == "__main__":
    main()
