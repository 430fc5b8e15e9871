#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Time from a key or a click to its command line at the simulator: "+1k" clicked with the mouse
# and its shortcut Ctrl+Up, 20 of each, each timed from the start of the xdotool call to the
# line's timestamp in the simulator's log. Needs an X display, xdotool and python3-pyatspi
# (used to open Comm1 and to find the button). Run in a D-Bus session of its own:
#   dbus-run-session -- /usr/bin/python3 bench/shortcut_latency.py build/src/rxdeck build/tools/rxdeck-sim
import os
import statistics
import subprocess
import sys
import tempfile
import time

import pyatspi
prog, sim = sys.argv[1:3]
folder = tempfile.mkdtemp()
log = os.path.join(folder, "sim.log")
s = subprocess.Popen([sim, "--seed", "7", "--log", log], stdout=subprocess.PIPE, text=True)
dev = s.stdout.readline().strip()
env = dict(os.environ, RXDECK_COMM1=dev, XDG_DATA_HOME=folder, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
p = subprocess.Popen([prog], env=env)


def stop():
    p.terminate()
    s.terminate()


def walk(n):
    yield n
    for i in range(n.childCount):
        c = n.getChildAtIndex(i)
        if c is not None: yield from walk(c)
app = None
for _ in range(300):
    app = next((a for a in pyatspi.Registry.getDesktop(0) if a and a.name.lower() == "rxdeck"), None)
    if app: break
    time.sleep(0.2)
if app is None:
    stop()
    sys.exit("the program did not show in the accessibility tree")
time.sleep(1)
nodes = list(walk(app))
comm1 = next(n for n in nodes if n.name == "Comm1")
comm1.queryAction().doAction(0)
time.sleep(2)
plus = next(n for n in nodes if n.name == "Tune up 1 kHz" and n.getRoleName() == "push button")
ext = plus.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
x, y = ext.x + ext.width // 2, ext.y + ext.height // 2
def lines():
    return [l.split(" ", 1) for l in open(log).read().splitlines()]
def measure(action):
    res = []
    for i in range(20):
        before = len(lines())
        time.sleep(0.35)
        t0 = time.time()
        action()
        t1 = None
        deadline = time.time() + 3
        while time.time() < deadline and t1 is None:
            for ts, line in lines()[before:]:
                if line.startswith("FRQ") and line != "FRQ?;DET?;SGV?;BWS?":
                    t1 = float(ts); break
            time.sleep(0.005)
        if t1: res.append((t1 - t0) * 1000)
    return res
subprocess.run(["xdotool", "mousemove", str(x), str(y)])
c = measure(lambda: subprocess.run(["xdotool", "click", "1"]))
k = measure(lambda: subprocess.run(["xdotool", "key", "--delay", "0", "ctrl+Up"]))
print(f"shortcut ctrl+Up: n={len(k)} median={statistics.median(k):.1f} ms min={min(k):.1f} max={max(k):.1f}")
print(f"mouse click +1k: n={len(c)} median={statistics.median(c):.1f} ms min={min(c):.1f} max={max(c):.1f}")
stop()
