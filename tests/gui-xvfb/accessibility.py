#!/usr/bin/python3
"""What a screen reader finds: the desktop program on a demo card under Xvfb, asked through AT-SPI at each
step (the main window with the import question, the progress dialog of that import and the message of
its cancel, the Setup dialog, the About box). Fails when an interactive element that is showing has no name.
Run by accessibility.sh inside dbus-run-session with DISPLAY set. Usage: accessibility.py PROGRAM WORK_DIR"""
import os
import subprocess
import sys
import time

import pyatspi

program, work = sys.argv[1], sys.argv[2]

# What a user reaches or reads as a control; each needs a name a screen reader can speak.
NAMED_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM, pyatspi.ROLE_RADIO_MENU_ITEM,
    pyatspi.ROLE_MENU, pyatspi.ROLE_ENTRY, pyatspi.ROLE_TEXT, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_SLIDER,
    pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST,
    pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_PROGRESS_BAR, pyatspi.ROLE_TOOL_BAR, pyatspi.ROLE_DIALOG,
    pyatspi.ROLE_FRAME, pyatspi.ROLE_ALERT, pyatspi.ROLE_COLUMN_HEADER, pyatspi.ROLE_TABLE_COLUMN_HEADER,
}
failures = []


def key(*keys):
    subprocess.run(["xdotool", "key", "--delay", "150", *keys], check=True)
    time.sleep(0.5)


def press(found, name):
    """Presses the push button called name through AT-SPI, as a screen reader's user does."""
    for role, node_name, node in found:
        if role == pyatspi.ROLE_PUSH_BUTTON and node_name == name:
            node.queryAction().doAction(0)
            time.sleep(0.5)
            return
    sys.exit(f"no button {name}")


def application(timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name in ("tq9-image-converter", "TQ-9 Image Converter"):
                return app
        time.sleep(0.2)
    sys.exit("the program did not appear on the accessibility bus")


def walk(node, path, found):
    try:
        role, name, states = node.getRole(), node.name, node.getState()
        children = [node.getChildAtIndex(i) for i in range(min(node.childCount, 200))]
    except Exception:  # a node that went while we looked
        return
    here = f"{path}/{node.getRoleName()}"
    found.append((role, name, node))
    if states.contains(pyatspi.STATE_SHOWING) and role in NAMED_ROLES and not name.strip():
        failures.append(here)
    for child in children:
        if child is not None:
            walk(child, f"{here}[{name[:24]}]", found)


def wait_for(app, role, step, name=None, timeout=30):
    """Walks the application until a node of role (called name) is there; checks the names on that walk."""
    end = time.time() + timeout
    while time.time() < end:
        before = len(failures)
        found = []
        walk(app, "", found)
        if any(r == role and name in (None, n) for r, n, _ in found):
            print(f"{step}: {len(found)} nodes, {len(failures) - before} unnamed")
            return found
        del failures[before:]
        time.sleep(0.3)
    for role, name, _ in found:
        print(role, repr(name))
    sys.exit(f"{step}: no {role} appeared")


env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb", HOME=f"{work}/home",
           XDG_CONFIG_HOME=f"{work}/home/.config", TQ9_MOUNTS_FILE="/dev/null")
app_process = subprocess.Popen([program, "--card-root", f"{work}/card", f"{work}/clip.mp4"], env=env,
                               stdout=open(f"{work}/app.log", "w"), stderr=subprocess.STDOUT)
try:
    app = application()
    # The window, with the question whether to import the clip into the first folder (which shows its rows).
    found = wait_for(app, pyatspi.ROLE_ALERT, "main window and import question")
    press(found, "OK")  # Cancel is the question's default
    wait_for(app, pyatspi.ROLE_PROGRESS_BAR, "progress dialog")
    key("Escape")
    time.sleep(1)
    wait_for(app, pyatspi.ROLE_ALERT, "cancel message")
    key("Return")
    key("alt+f", "s")
    wait_for(app, pyatspi.ROLE_DIALOG, "Setup dialog", "Setup")
    key("Escape")
    key("alt+h", "i")
    wait_for(app, pyatspi.ROLE_DIALOG, "About box", "About TQ-9 Image Converter")
    key("Escape")
finally:
    app_process.terminate()
    app_process.wait(10)

for failure in failures:
    print("unnamed:", failure)
sys.exit(1 if failures else 0)
