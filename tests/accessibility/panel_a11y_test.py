#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The panel as a screen reader sees it, through AT-SPI: every actionable control has a name
of its own, and the receiver's state reads and operates as it does on screen.

Usage: panel_a11y_test.py RXDECK RXDECK_SIM. Run it inside its own D-Bus session
(dbus-run-session); the accessibility bus is started on demand. Exits 77 (skipped) without an X
display or pyatspi."""
import os
import re
import subprocess
import sys
import tempfile
import time

try:
    import pyatspi
except ImportError:
    sys.exit(77)

if not os.environ.get("DISPLAY"):
    sys.exit(77)

PROGRAM, SIMULATOR = sys.argv[1:3]
ACTIONABLE = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_SLIDER, pyatspi.ROLE_SCROLL_BAR, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY,
    pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_TABLE, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_MENU_ITEM,
    pyatspi.ROLE_CHECK_MENU_ITEM,
}
# Names that only repeat a widget's object name say nothing to the user. (The port menu's items
# are captioned "Comm1" to "Comm4"; their caption is their name.)
OBJECT_NAME = re.compile(r"^(Command|HScroll|Text|Label|LED|Frame|Timer)\d+$|^DBGrid1")
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def eventually(probe, seconds=10.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = probe()
        if value:
            return value
        time.sleep(0.1)
    return probe()


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def find(app, name, role=None):
    for node in walk(app):
        if node.name == name and (role is None or node.getRole() == role):
            return node
    return None


def press(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    action.doAction(names.index("press") if "press" in names else 0)


def main():
    folder = tempfile.mkdtemp(prefix="rxdeck-a11y-")
    log = os.path.join(folder, "sim.log")
    sim = subprocess.Popen([SIMULATOR, "--seed", "7", "--log", log], stdout=subprocess.PIPE,
                           text=True)
    device = sim.stdout.readline().strip()
    env = dict(os.environ, RXDECK_COMM1=device, XDG_DATA_HOME=os.path.join(folder, "data"),
               QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    # The registry must be up before the program starts, or the program never joins the tree.
    pyatspi.Registry.getDesktop(0).childCount
    program = subprocess.Popen([PROGRAM], env=env)
    try:
        # Other tests' programs may share the X server: ours is the one with our process.
        app = eventually(lambda: next((a for a in pyatspi.Registry.getDesktop(0)
                                       if a is not None and a.name.lower() == "rxdeck"
                                       and a.get_process_id() == program.pid), None), 30)
        check(app is not None, "the program shows in the accessibility tree")
        if app is None:
            return
        sent = lambda: open(log).read().splitlines() if os.path.exists(log) else []
        lines = lambda: [line.split(" ", 1)[1] for line in sent() if " " in line]

        # Every actionable control: a name of its own, in words.
        controls = [n for n in walk(app) if n.getRole() in ACTIONABLE]
        check(len(controls) >= 52, f"{len(controls)} actionable controls")
        for node in controls:
            check(node.name.strip() and not OBJECT_NAME.match(node.name),
                  f"{node.getRoleName()} named {node.name!r}")
        exposed = [n for n in walk(app) if n.getState().contains(pyatspi.STATE_CHECKABLE)
                   or "Value" in pyatspi.utils.listInterfaces(n)]
        print(f"actionable {len(controls)}, unnamed "
              f"{sum(1 for n in controls if not n.name.strip())}, state or value exposed "
              f"{len(exposed)}")

        press(find(app, "Comm1"))
        display = eventually(lambda: next((n for n in walk(app)
                                           if n.name.startswith("Frequency ")
                                           and n.name.endswith(" MHz")), None))
        check(display is not None, "the frequency display reads in MHz")
        # The simulator starts on 14.2 MHz in USB.
        text = eventually(lambda: display.queryText().getText(0, -1) == "14.200000 MHz"
                          and display.queryText().getText(0, -1))
        check(text == "14.200000 MHz", f"frequency display text {text!r}")

        modes = [find(app, f"Mode {m}") for m in ("AM", "FM", "CW", "USB", "LSB", "ISB")]
        checked = lambda: [m.name for m in modes
                           if m.getState().contains(pyatspi.STATE_CHECKED)]
        check(eventually(lambda: checked() == ["Mode USB"]) is True or checked() == ["Mode USB"],
              f"checked mode after a poll: {checked()}")
        press(find(app, "Mode AM"))
        check(eventually(lambda: checked() == ["Mode AM"]), f"mode after pressing AM: {checked()}")

        squelch = find(app, "Squelch", pyatspi.ROLE_SLIDER)
        value = squelch.queryValue()
        check(value.minimumValue == -136 and value.maximumValue == 0,
              f"squelch range {value.minimumValue}..{value.maximumValue} dBm")
        value.currentValue = -100
        check(eventually(lambda: "SQL100" in lines()), "setting the squelch to -100 sends SQL100")
        check(value.currentValue == -100, f"squelch reads {value.currentValue}")

        press(find(app, "Tune up 1 kHz", pyatspi.ROLE_PUSH_BUTTON))
        check(eventually(lambda: "FRQ14.201" in lines()), "a step button's press steps once")
        check(lines().count("FRQ14.201") == 1, "exactly one step")
    finally:
        program.terminate()
        program.wait(10)
        sim.terminate()
        sim.wait(10)


main()
print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)
