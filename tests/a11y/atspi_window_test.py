"""The downloader's window read through the accessibility bus, as a screen reader reads it.

The real program runs with the simulated Tetherix cable and kx410 unit, paced as a 9600-baud
line, and the simulated firmware service, whose image has 500 data lines. Through the bus alone the test checks the
controls' names, waits for the status row that names the identified unit and for the events
that announce new rows, opens the window menu with the Menu key, then presses Get from Web and
Send, and moves through the status list with Up and Down while the lines go. It checks that the
window menu opens with its name and its first item, that every milestone of the update is said
once and in order, each before the focus move it causes, alone (not inside the window, whose
name and role a screen reader would say first), that sending raises only a few events a second
and that every key pressed meanwhile is answered, and that Qt warns of nothing on the way. The
time from each key to its answer on the bus is printed, never checked.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
from collections import Counter

try:
    import pyatspi
    from gi.repository import GLib
except ImportError:
    print("SKIP: this python has no pyatspi (scripts/setup.sh installs python3-pyatspi)")
    sys.exit(77)

DOWNLOADER, SIM_FTD2XX_DIR, WEBSIM = sys.argv[1:4]
WINDOW_TITLE = "Kestova Firmware Downloader"
STEP_TIMEOUT_S = 30
POLL_MS = 100
IMAGE_LINES = 500
# Events a second that the lines raise while they go, at 9600 baud (about 20 lines a second):
# a screen reader takes each one in turn, and the keys wait behind them.
MAX_EVENTS_PER_S = 8
KEY_EVENT_KINDS = ("object:state-changed:focused", "object:state-changed:selected", "focus:",
                   "object:active-descendant-changed", "object:selection-changed")
KEYS_WHILE_SENDING = 8
KEY_PAUSE_TICKS = 4  # between two keys, in POLL_MS
KEYSYM_MENU, KEYSYM_ESCAPE, KEYSYM_UP, KEYSYM_DOWN = 0xFF67, 0xFF1B, 0xFF52, 0xFF54
# What is said, in this order, over one whole update from the web.
MILESTONES = [
    "Found Device: kx410",
    "Getting the firmware for your kx410 from the web",
    "The following firmware was found for your kx410",
    "Sending the firmware to your kx410",
    "Programming successful. Please unplug the Tetherix",
    # The unit back after its restart: only the verdict, not its identification again.
    "Update verified: kx410 now runs Ver ",
]

failures = []
events = []  # (event type, source role, source name, detail1)
times = []  # when each of `events` arrived, in seconds
send_started = [None]  # when Send was pressed


asked_place = set()
ancestry = {}  # a notification's name: the roles of its ancestors, nearest first


def roles_above(node):
    roles = []
    parent = node.parent
    while parent is not None and len(roles) < 8:
        roles.append(parent.getRoleName())
        if parent.getRoleName() == "application":
            break
        parent = parent.parent
    return roles


def record(event):
    try:
        role = event.source.getRoleName()
        events.append((event.type, role, event.source.name, event.detail1))
        times.append(time.monotonic())
        if role == "notification" and event.detail1:
            ancestry[event.source.name] = roles_above(event.source)
        if role == "menu item" and event.type == "object:state-changed:focused" and event.detail1:
            ancestry[event.source.name] = [event.source.parent.name]
        # A screen reader asks each new source for its place among its parent's children.
        if (role, event.source.name) not in asked_place:
            asked_place.add((role, event.source.name))
            event.source.getIndexInParent()
    except Exception:  # the source may be gone already
        pass


def descendants(node, depth=0):
    if node is None or depth > 8:
        return
    yield node
    for index in range(node.childCount):
        yield from descendants(node.getChildAtIndex(index), depth + 1)


def find(root, role, name=None):
    for node in descendants(root):
        try:
            if node.getRoleName() == role and (name is None or node.name == name):
                return node
        except Exception:
            continue
    return None


def the_window():
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == WINDOW_TITLE:
            # The program's main window, though built as a dialog: a screen reader searches a
            # dialog through every row of its list for stray labels, on every key.
            return find(app, "frame", WINDOW_TITLE)
    return None


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what, flush=True)
    else:
        print("ok: " + what, flush=True)


def label_of(node):
    for relation in node.getRelationSet() if node is not None else []:
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY and relation.getNTargets():
            return relation.getTarget(0).name
    return None


def notified(prefix):
    return any(kind == "object:state-changed:showing" and role == "notification" and detail
               and name.startswith(prefix) for kind, role, name, detail in events)


def said():
    return [name for kind, role, name, detail in events
            if kind == "object:state-changed:showing" and role == "notification" and detail]


def focus_index(name):
    """The index in `events` of the first focus given to the control so named, or None."""
    for index, (kind, _, source, detail) in enumerate(events):
        if kind == "object:state-changed:focused" and detail and source == name:
            return index
    return None


def said_index(prefix):
    for index, (kind, role, name, detail) in enumerate(events):
        if kind == "object:state-changed:showing" and role == "notification" and detail \
                and name.startswith(prefix):
            return index
    return None


def is_sensitive(node):
    return node.getState().contains(pyatspi.STATE_SENSITIVE)


def press(keysym):
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)
    return time.monotonic()


def answer_after(sent, role):
    """How long after `sent` the first focus on an object of `role` came, or None."""
    for (kind, source_role, _, detail), when in zip(events, times):
        if when >= sent and kind == "object:state-changed:focused" and detail \
                and source_role == role:
            return when - sent
    return None


def scenario(result):
    """Each yield gives the event loop a turn; `wait` yields until its test holds."""
    def wait(test, what):
        deadline = time.monotonic() + STEP_TIMEOUT_S
        while time.monotonic() < deadline:
            value = test()
            if value:
                result["value"] = value
                return
            yield
        result["value"] = None
        check(False, "in time: " + what)

    yield from wait(the_window, "the window appears on the bus")
    window = result["value"]
    if window is None:
        return
    status = find(window, "list", "Status")
    check(status is not None, 'the status list is named "Status"')
    progress = find(window, "progress bar", "Progress")
    check(progress is not None, 'the progress bar is named "Progress"')
    check(label_of(find(window, "combo box")) == "Port", 'the port list is labelled "Port"')
    if status is None or progress is None:
        return

    yield from wait(lambda: find(status, "list item", "Found Device: kx410"),
                    'a status row reads "Found Device: kx410"')
    yield from wait(lambda: any(kind == "object:children-changed:add" and name == "Status"
                                for kind, _, name, _ in events),
                    "the status list tells of the rows added to it")
    rows = [status.getChildAtIndex(i).name for i in range(status.childCount)]
    check("Serial Number: 12345" in rows, "every row is exposed with its text: %r" % rows)

    # The window menu opens as a desktop's menus do: its first item is selected, and a screen
    # reader says it with the menu's name.
    pressed = press(KEYSYM_MENU)
    menu_shown = lambda: any(kind == "object:state-changed:showing" and detail and
                             name == "Window Menu" for kind, _, name, detail in events)
    yield from wait(menu_shown, "the window menu opens")
    yield from wait(lambda: answer_after(pressed, "menu item") is not None,
                    "the window menu opens with an item selected")
    check(ancestry.get("About Bootloader") == ["Window Menu"],
          'the first item of "Window Menu" is selected: %r' % ancestry)
    named, selected = said_index("Window Menu"), focus_index("About Bootloader")
    check(named is not None and selected is not None and named < selected,
          '"Window Menu" is said before its first item takes the focus')
    if menu_shown():
        press(KEYSYM_ESCAPE)  # only into the menu: the window would take it as Exit

    get_from_web = find(window, "push button", "Get from Web")
    send = find(window, "push button", "Send")
    get_from_web.queryAction().doAction(0)
    yield from wait(lambda: is_sensitive(send), "Send is enabled after Get from Web")
    send_started[0] = time.monotonic()
    sent_from = len(events)
    send.queryAction().doAction(0)
    yield from wait(lambda: progress.description, "the progress bar says its value in words")
    check(" of " in (progress.description or ""), "progress in words: %r" % progress.description)
    # Up and Down in the status list while the lines go: each key is answered with the row it
    # moves to.
    status.queryComponent().grabFocus()
    delays = []
    for index in range(KEYS_WHILE_SENDING):
        pressed = press(KEYSYM_UP if index % 2 else KEYSYM_DOWN)
        yield from wait(lambda: answer_after(pressed, "list item") is not None,
                        "key %d in the status list is answered while sending" % index)
        delays.append(answer_after(pressed, "list item"))
        for _ in range(KEY_PAUSE_TICKS):
            yield
    print("key to focus event on the bus while sending, s: %s"
          % " ".join("%.3f" % d if d is not None else "none" for d in delays), flush=True)
    yield from wait(lambda: notified("Programming successful. Please unplug the Tetherix"),
                    "the success is said without moving the focus")
    sent_to = len(events)
    yield from wait(lambda: notified("Update verified: kx410 now runs Ver "),
                    "the check after the update is said")
    for name in said():
        print("said: " + name, flush=True)

    # Said alone: a notification inside the window is said after the window's name and role.
    check(all(roles[:1] == ["status bar"] and "dialog" not in roles
              for name, roles in ancestry.items() if name in said()),
          "every notification sits outside the window: %r" % ancestry)
    # Each milestone once, in the order of the update.
    heard = [next((m for m in MILESTONES if name.startswith(m)), None) for name in said()]
    heard = [m for m in heard if m is not None]
    check(heard == MILESTONES, "the milestones are said once each, in order: %r" % heard)
    # The focus moves that follow a milestone come after it is said.
    for milestone, control in [("Found Device: kx410", "Open Local File")]:
        spoken, focused = said_index(milestone), focus_index(control)
        check(spoken is not None and (focused is None or spoken < focused),
              "%r is said before the focus moves to %s" % (milestone, control))
    # Sending raises only a few events a second besides the keys' answers; the first and the
    # last second, when the controls change, aside.
    line_events = [(t, kind) for t, (kind, _, _, _) in zip(times[sent_from:sent_to],
                                                            events[sent_from:sent_to])
                   if not kind.startswith(KEY_EVENT_KINDS)]
    per_second = Counter(int(t - times[sent_from]) for t, _ in line_events)
    kinds = Counter(kind for _, kind in line_events)
    print("events while sending, per second: %r; by kind: %r"
          % (sorted(per_second.items()), kinds.most_common(6)), flush=True)
    inner = [count for second, count in per_second.items() if 0 < second < max(per_second)]
    check(len(inner) > 5 and max(inner) <= MAX_EVENTS_PER_S,
          "at most %d events a second while sending %d lines: %r"
          % (MAX_EVENTS_PER_S, IMAGE_LINES, sorted(per_second.items())))


def main():
    work = tempfile.mkdtemp(prefix="kx-atspi-")
    port_file = os.path.join(work, "port")
    service = subprocess.Popen([WEBSIM, "--port", "0", "--port-file", port_file,
                                "--reports", os.path.join(work, "reports.log"),
                                "--lines", str(IMAGE_LINES)])
    deadline = time.monotonic() + 10
    while not (os.path.exists(port_file) and open(port_file).read().strip()):
        if time.monotonic() > deadline:
            print("FAILED: the simulated firmware service did not start", flush=True)
            service.kill()
            return 1
        time.sleep(0.05)
    url = "http://127.0.0.1:" + open(port_file).read().strip()

    env = dict(os.environ)
    env.pop("QT_QPA_PLATFORM", None)  # the real display, where the bridge to the bus lives
    env.update({
        "LD_LIBRARY_PATH": SIM_FTD2XX_DIR,
        "KX_SIM_CABLE": "unit",
        "KX_SIM_PACE": "1",  # 9600 baud, as the unit's line
        "XDG_CONFIG_HOME": os.path.join(work, "config"),
        "XDG_STATE_HOME": os.path.join(work, "state"),
        "no_proxy": "127.0.0.1",
    })
    # A copy of the program in a folder of its own keeps its settings beside it: the cable is
    # the saved port, and nothing is left in the build tree.
    program = os.path.join(work, "kestova-downloader")
    shutil.copy2(DOWNLOADER, program)
    with open(os.path.join(work, "Kestova.ini"), "w") as ini:
        ini.write("[Settings]\nCOM PORT=USB\nLAST DIRECTORY=%s\n" % work)

    pyatspi.Registry.registerEventListener(record, "object", "window", "focus")
    window = subprocess.Popen([program, "--service", url], env=env,
                              stderr=open(os.path.join(work, "window.log"), "w"))
    result = {}
    steps = scenario(result)

    def tick():
        try:
            if window.poll() is not None:
                check(False, "the window is still running (it ended with %d)" % window.returncode)
                raise StopIteration
            next(steps)
            return True
        except StopIteration:
            pass
        except Exception as error:  # a failed call on the bus ends the test, not the event loop
            check(False, "no error from the bus: %s" % error)
        pyatspi.Registry.stop()
        return False

    GLib.timeout_add(POLL_MS, tick)
    try:
        pyatspi.Registry.start()
    finally:
        window.kill()
        service.kill()
        window.wait()
        service.wait()
    messages = open(os.path.join(work, "window.log")).read()
    check("Fix my children" not in messages, "Qt finds every child of the status list again")
    if failures:
        print("The window's messages:\n" + messages[-4000:])
    shutil.rmtree(work, ignore_errors=True)
    print("%d check(s) failed" % len(failures) if failures else "all checks held", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
