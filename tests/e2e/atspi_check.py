#!/usr/bin/python3
"""What a screen reader finds of Quillet over AT-SPI (python3-pyatspi).

  atspi_check.py strip FEED_JSON   the application node holds a push button
                                   named after one of the feed's titles
  atspi_check.py menu ITEM...      pressing that button through AT-SPI opens a
                                   menu, reachable from the application node,
                                   that holds every ITEM and no unnamed item

Each waits up to 20 seconds for what it looks for, then prints what it found
and exits 0 when it holds, 1 when it does not.
"""
import json
import sys
import time

import pyatspi


def children(node):
    try:
        return [c for c in (node.getChildAtIndex(i) for i in range(node.childCount)) if c]
    except Exception:  # the program went away or the tree changed under us
        return []


def application():
    for app in children(pyatspi.Registry.getDesktop(0)):
        if app.name == "Quillet":
            return app
    return None


def of_role(role):
    app = application()
    return [c for c in children(app) if c.getRole() == role] if app else []


def poll(found, seconds=20):
    deadline = time.monotonic() + seconds
    while True:
        result = found()
        if result or time.monotonic() > deadline:
            return result
        time.sleep(0.2)


def describe():
    app = application()
    if app is None:
        return "no application named Quillet on the accessibility bus"
    found = ", ".join(f"{c.getRoleName()} {c.name!r}" for c in children(app))
    return "Quillet's children: " + (found or "none")


def check_strip(feed):
    with open(feed, encoding="utf-8") as f:
        titles = {p["title"] for p in json.load(f)["papers"]}
    buttons = poll(lambda: [b for b in of_role(pyatspi.ROLE_PUSH_BUTTON) if b.name in titles])
    print(f"button {buttons[0].name!r}" if buttons else describe())
    return bool(buttons)


def check_menu(expected):
    buttons = poll(lambda: of_role(pyatspi.ROLE_PUSH_BUTTON))
    if not buttons:
        print(describe())
        return False
    action = buttons[0].queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if "Press" not in names:
        print(f"the button offers {names}, not Press")
        return False
    action.doAction(names.index("Press"))
    menus = poll(lambda: of_role(pyatspi.ROLE_POPUP_MENU))
    if not menus:
        print("no menu after pressing; " + describe())
        return False
    items = [c for c in children(menus[0]) if c.getRole() != pyatspi.ROLE_SEPARATOR]
    names = [c.name for c in items]
    print(f"menu items {names}")
    missing = [n for n in expected if n not in names]
    if missing:
        print(f"missing {missing}")
    if "" in names:
        print("an item has no name")
    return not missing and "" not in names


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "strip" and len(sys.argv) == 3:
        sys.exit(0 if check_strip(sys.argv[2]) else 1)
    if len(sys.argv) >= 2 and sys.argv[1] == "menu":
        sys.exit(0 if check_menu(sys.argv[2:]) else 1)
    print(__doc__, file=sys.stderr)
    sys.exit(2)
