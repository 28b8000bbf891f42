"""Listens on the accessibility bus as a screen reader does, for kx-update-bench (h): takes every
event of the kinds a screen reader takes and asks each event's source for its name, its role and
its place among its parent's children, so that the program's side of the bridge does the work a
screen reader gives it. Runs until it is ended."""
import sys

try:
    import pyatspi
except ImportError:
    print("atspi_listener: this python has no pyatspi; no listener on the bus", file=sys.stderr)
    sys.exit(0)

events = 0


def on_event(event):
    global events
    events += 1
    try:
        source = event.source
        source.name
        source.getRoleName()
        source.getIndexInParent()
    except Exception:  # the source may be gone already
        pass


pyatspi.Registry.registerEventListener(on_event, "object", "window", "focus")
try:
    pyatspi.Registry.start()
except KeyboardInterrupt:
    pass
