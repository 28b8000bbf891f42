"""A whole update heard through Orca, driven by the keyboard alone: a trial by hand, not a test.

Run it on the accessibility bus (run-on-accessibility-bus.sh), as the suite's bus test runs:

    tests/a11y/run-on-accessibility-bus.sh /usr/bin/python3 tests/a11y/orca_trial.py \\
        build/src/app/kestova-downloader build/sim/ftd2xx build/sim/webservice/kx410-websim

It starts the simulated firmware service, the window with the simulated Tetherix cable and
kx410 unit paced as a 9600-baud line, and Orca with a debug file; opens the window menu with the
Menu key and closes it, gets the firmware from the web, sends it with the status list focused
while pressing Down and Up, and waits for the update to be verified. Then it prints what Orca
said ("SPEECH OUTPUT" lines of its debug file, with Orca's time stamps) and, for every key
pressed, the time from the key to the focus event it caused on the bus and to the first thing
Orca said after it other than the key's own name. Needs orca (apt-get install orca); no sound.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

DOWNLOADER, SIM_FTD2XX_DIR, WEBSIM = sys.argv[1:4]
IMAGE_LINES = int(os.environ.get("KX_TRIAL_LINES", "600"))
WINDOW_TITLE = "Kestova Firmware Downloader"

focus_times = []  # (wall-clock time, event type, source name)


def on_event(event):
    try:
        focus_times.append((time.time(), event.type, event.source.name))
    except Exception:
        pass


def press(keysym_name):
    """Presses a key through the accessibility registry; returns the wall-clock time."""
    syms = {"Menu": 0xFF67, "Escape": 0xFF1B, "Up": 0xFF52, "Down": 0xFF54}
    sent = time.time()
    pyatspi.Registry.generateKeyboardEvent(syms[keysym_name], None, pyatspi.KEY_SYM)
    return sent


def pump(seconds):
    """Lets the bus deliver events for a while (pyatspi's event loop is not running)."""
    from gi.repository import GLib
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        context.iteration(False)
        time.sleep(0.005)


def said_names():
    return [name for _, kind, name in focus_times if kind.startswith("object:state-changed:showing")]


def spoken(orca_log):
    """What Orca said: (wall-clock time, text) from the SPEECH OUTPUT lines of its debug file."""
    result = []
    day = time.strftime("%Y-%m-%d ")
    for line in open(orca_log, errors="replace"):
        found = re.match(r"(\d\d:\d\d:\d\d\.\d+) - SPEECH OUTPUT: '(.*)'", line)
        if found:
            stamp = time.mktime(time.strptime(day + found.group(1)[:8], "%Y-%m-%d %H:%M:%S"))
            result.append((stamp + float("0." + found.group(1)[9:]), found.group(2)))
    return result


def the_window():
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == WINDOW_TITLE:
            return app
    return None


def find(node, role, name, depth=0):
    if node is None or depth > 8:
        return None
    try:
        if node.getRoleName() == role and node.name == name:
            return node
        for index in range(node.childCount):
            found = find(node.getChildAtIndex(index), role, name, depth + 1)
            if found is not None:
                return found
    except Exception:
        pass
    return None


def wait_for(test, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = test()
        if value:
            return value
        pump(0.1)
    return None


def key_to_focus(sent, kind="object:state-changed:focused"):
    for when, event_type, _ in focus_times:
        if when >= sent and event_type.startswith(kind):
            return when - sent
    return None


def main():
    work = tempfile.mkdtemp(prefix="kx-orca-")
    port_file = os.path.join(work, "port")
    service = subprocess.Popen([WEBSIM, "--port", "0", "--port-file", port_file, "--lines",
                                str(IMAGE_LINES)])
    while not (os.path.exists(port_file) and open(port_file).read().strip()):
        time.sleep(0.05)
    url = "http://127.0.0.1:" + open(port_file).read().strip()
    env = dict(os.environ)
    env.pop("QT_QPA_PLATFORM", None)
    env.update({"LD_LIBRARY_PATH": SIM_FTD2XX_DIR, "KX_SIM_CABLE": "unit",
                "KX_SIM_PACE": "1",
                "XDG_CONFIG_HOME": os.path.join(work, "config"),
                "XDG_STATE_HOME": os.path.join(work, "state"), "no_proxy": "127.0.0.1"})
    program = os.path.join(work, "kestova-downloader")
    shutil.copy2(DOWNLOADER, program)
    with open(os.path.join(work, "Kestova.ini"), "w") as ini:
        ini.write("[Settings]\nCOM PORT=USB\nLAST DIRECTORY=%s\n" % work)
    orca_log = os.path.join(work, "orca.log")
    orca = subprocess.Popen(["orca", "-u", os.path.join(work, "orca-prefs"), "--debug-file",
                             orca_log], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(3)
    pyatspi.Registry.registerEventListener(on_event, "object:state-changed:focused",
                                           "object:state-changed:showing", "focus:")
    window = subprocess.Popen([program, "--service", url], env=env,
                              stderr=open(os.path.join(work, "window.log"), "w"))
    marks = []
    try:
        app = wait_for(the_window, 30)
        status = wait_for(lambda: find(app, "list", "Status"), 10)
        wait_for(lambda: find(status, "list item", "Found Device: kx410"), 30)
        pump(4)
        marks.append(("Menu", press("Menu")))
        pump(3)
        press("Escape")
        pump(2)
        get = find(app, "push button", "Get from Web")
        send = find(app, "push button", "Send")
        get.queryAction().doAction(0)
        wait_for(lambda: send.getState().contains(pyatspi.STATE_SENSITIVE), 60)
        pump(8)
        send.queryAction().doAction(0)
        pump(3)
        status.queryComponent().grabFocus()
        pump(2)
        for index in range(12):
            key = "Up" if index % 2 else "Down"
            marks.append((key, press(key)))
            pump(1.5)
        verified = wait_for(lambda: any("Update verified" in (n or "") for n in said_names()), 400)
        pump(5)
        # The same keys with nothing being sent, for a measure of this machine's own pace.
        status.queryComponent().grabFocus()
        pump(2)
        for index in range(6):
            key = "Up" if index % 2 else "Down"
            marks.append((key + " idle", press(key)))
            pump(1.5)
        pump(3)
        print("verified" if verified else "not verified in time", flush=True)
    finally:
        window.terminate()
        orca.terminate()
        service.kill()
        window.wait()
        orca.wait()
        service.wait()
    speech = spoken(orca_log)
    print("key to focus event on the bus, and to Orca's speech:")
    for name, sent in marks:
        delay = key_to_focus(sent)
        heard = next(((when - sent, text) for when, text in speech
                      if when >= sent and not text.endswith(" ")), None)
        print("  %-10s %-8s %s" % (name, "none" if delay is None else "%.3f s" % delay,
                                  "none" if heard is None else "%.3f s %r" % heard))
    print("Orca said:")
    for when, text in speech:
        print("  %s %r" % (time.strftime("%H:%M:%S", time.localtime(when)), text))
    print("(work folder: %s)" % work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
