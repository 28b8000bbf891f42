"""The service bench read through the accessibility bus, as a screen reader reads it.

The real program runs as `kestova-downloader --bench --auto` over eight paced kx410-sim units on
pseudo-terminals with a 200-line image. Through the bus alone the test checks that the table reads
each row as one sentence with its port, unit and state, that every channel's milestones are told
with its port, and that eight channels sending raise at most 25 events a second in all.
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

DOWNLOADER, SIM = sys.argv[1:3]
APP_NAME = "Kestova Firmware Downloader"
BENCH_TITLE = "Kestova Service Bench"
UNITS = 8
IMAGE_LINES = 200
STEP_TIMEOUT_S = 90
POLL_MS = 100
MAX_EVENTS_PER_S = 25

failures = []
events = []  # (event type, source role, source name, detail1)
times = []


def record(event):
    try:
        events.append((event.type, event.source.getRoleName(), event.source.name, event.detail1))
        times.append(time.monotonic())
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


def the_bench():
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == APP_NAME:
            return find(app, "dialog", BENCH_TITLE)
    return None


def check(condition, what):
    if not condition:
        failures.append(what)
    print(("ok: " if condition else "FAILED: ") + what, flush=True)


def told():
    return [name for kind, role, name, detail in events
            if kind == "object:state-changed:showing" and role == "notification" and detail]


def image_text(lines):
    text = "VER:0107\r\nPID:0410\r\nINFO:Generated kx410 firmware\r\n"
    for i in range(lines - 1):
        text += ":10%04X000C9434000C9434000C9434%02X%02X\r\n" % ((i * 16) & 0xFFFF, i & 0xFF, (i >> 8) & 0xFF)
    return text + ":0000000119\r\n"


def row_sentences(table):
    """The first cell of every row: the row in one sentence."""
    sentences = []
    try:
        grid = table.queryTable()
        for row in range(grid.nRows):
            cell = grid.getAccessibleAt(row, 0)
            sentences.append(cell.name if cell is not None else "")
    except Exception as error:
        sentences.append("no table interface: %s" % error)
    return sentences


def scenario(result, ports):
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

    yield from wait(the_bench, "the bench appears on the bus")
    bench = result["value"]
    if bench is None:
        return
    table = find(bench, "table", "Channels")
    check(table is not None, 'the table is named "Channels"')
    if table is None:
        return
    yield from wait(lambda: any(" sending" in name for name in told()), "a unit starts by itself")
    sending_from = len(events)
    yield from wait(lambda: sum(" verified, now 1.07" in name for name in told()) >= UNITS,
                    "every unit verifies")
    sending_to = len(events)
    sentences = row_sentences(table)
    for sentence in sentences:
        print("row: " + sentence, flush=True)
    for port in ports:
        check(any(s.startswith(port + ": kx410 serial ") and "verified 1.07" in s for s in sentences),
              "the row of %s reads as one sentence with its unit and state" % port)
        for milestone in (" sending", " verified, now 1.07"):
            check(any(n.startswith(port + ": kx410 serial ") and n.endswith(milestone) for n in told()),
                  "%s's milestone%s is told with its port" % (port, milestone))
    per_second = Counter(int(t - times[sending_from]) for t in times[sending_from:sending_to])
    kinds = Counter(kind for kind, _, _, _ in events[sending_from:sending_to])
    print("events while sending, per second: %r; by kind: %r"
          % (sorted(per_second.items()), kinds.most_common(6)), flush=True)
    check(max(per_second.values(), default=0) <= MAX_EVENTS_PER_S,
          "at most %d events a second with %d channels sending" % (MAX_EVENTS_PER_S, UNITS))


def main():
    work = tempfile.mkdtemp(prefix="kx-atspi-bench-")
    image = os.path.join(work, "bench.fwr")
    with open(image, "w", newline="") as out:
        out.write(image_text(IMAGE_LINES))
    sims, ports = [], []
    for i in range(UNITS):
        sim = subprocess.Popen([SIM, "--baud-pace", "--serial", str(3000 + i)], stdout=subprocess.PIPE,
                               text=True)
        sims.append(sim)
        ports.append(sim.stdout.readline().strip()[len("/dev/"):])
    env = dict(os.environ)
    env.pop("QT_QPA_PLATFORM", None)  # the real display, where the bridge to the bus lives
    env.update({"XDG_CONFIG_HOME": os.path.join(work, "config"),
                "XDG_STATE_HOME": os.path.join(work, "state"),
                "XDG_RUNTIME_DIR": work})
    pyatspi.Registry.registerEventListener(record, "object", "window", "focus")
    arguments = [DOWNLOADER, "--bench", "--auto", image]
    for port in ports:
        arguments += ["-p", port]
    window = subprocess.Popen(arguments, env=env, stderr=open(os.path.join(work, "bench.log"), "w"))
    result = {}
    steps = scenario(result, ports)

    def tick():
        try:
            if window.poll() is not None:
                check(False, "the bench is still running (it ended with %d)" % window.returncode)
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
        window.terminate()
        try:
            window.wait(10)
        except subprocess.TimeoutExpired:
            window.kill()
            window.wait()
        for sim in sims:
            sim.kill()
            sim.wait()
    if failures:
        print("The bench's messages:\n" + open(os.path.join(work, "bench.log")).read()[-4000:])
    shutil.rmtree(work, ignore_errors=True)
    print("%d check(s) failed" % len(failures) if failures else "all checks held", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
