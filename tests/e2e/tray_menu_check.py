#!/usr/bin/python3
"""The tray item a process registers with the StatusNotifierWatcher, and the
menu it exports over D-Bus (python3-dbus), read as a tray host reads it.

  tray_menu_check.py PID LABEL...

Waits up to 20 seconds for an item owned by PID, asks its menu to get ready
(AboutToShow) and reads it whole (GetLayout). Holds when every LABEL is a
top-level entry and no entry other than a separator is blank. A LABEL ending
in ":" names a submenu whose label starts with it and whose entries are values
to choose from, exactly one of them checked. Prints the menu; exits 0 or 1.
"""
import sys
import time

import dbus

PROPERTIES = "org.freedesktop.DBus.Properties"
WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"


def registered_item(bus, pid):
    watcher = bus.get_object(WATCHER, "/StatusNotifierWatcher")
    names = bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
    for entry in watcher.Get(WATCHER, "RegisteredStatusNotifierItems", dbus_interface=PROPERTIES):
        service, _, path = str(entry).partition("/")
        try:
            owner = names.GetConnectionUnixProcessID(service, dbus_interface="org.freedesktop.DBus")
        except dbus.DBusException:
            continue
        if owner == pid:
            return service, "/" + path
    return None


def entries(node):
    """(label, type, toggle-type, toggle-state, children) of a layout node's children."""
    result = []
    for child in node[2]:
        props = child[1]
        if not props.get("visible", True):
            continue
        result.append((str(props.get("label", "")), str(props.get("type", "standard")),
                       str(props.get("toggle-type", "")), int(props.get("toggle-state", -1)),
                       entries(child)))
    return result


def show(items, depth=0):
    for label, kind, toggle, state, sub in items:
        mark = {1: "[x] ", 0: "[ ] "}.get(state, "") if toggle else ""
        print("  " * depth + ("-----" if kind == "separator" else f"{mark}{label!r}"))
        show(sub, depth + 1)


def blanks(items):
    return sum((kind != "separator" and not label.strip()) + blanks(sub)
               for label, kind, _, _, sub in items)


def check(items, expected):
    faults = [f"{blanks(items)} blank entries"] if blanks(items) else []
    for want in expected:
        if not want.endswith(":"):
            if want not in [e[0] for e in items]:
                faults.append(f"no entry {want!r}")
            continue
        sub = next((e[4] for e in items if e[0].startswith(want)), None)
        if not sub or len(sub) < 2:
            faults.append(f"no submenu of values {want!r}")
        elif [e[3] for e in sub].count(1) != 1 or any(not e[2] for e in sub):
            faults.append(f"{want!r} does not have exactly one checked value")
    for fault in faults:
        print("FAULT: " + fault)
    return not faults


def main(pid, expected):
    bus = dbus.SessionBus()
    deadline = time.monotonic() + 20
    found = None
    while not found and time.monotonic() < deadline:
        try:
            found = registered_item(bus, pid)
        except dbus.DBusException:
            pass
        found or time.sleep(0.2)
    if not found:
        print(f"no item of process {pid} registered with {WATCHER}")
        return False
    service, path = found
    print(f"item {service}{path}")
    menu_path = bus.get_object(service, path).Get(ITEM, "Menu", dbus_interface=PROPERTIES)
    menu = bus.get_object(service, menu_path)
    menu.AboutToShow(0, dbus_interface=MENU)  # a host asks before it shows the menu
    _, layout = menu.GetLayout(0, -1, [], dbus_interface=MENU)
    items = entries(layout)
    show(items)
    return check(items, expected)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(0 if main(int(sys.argv[1]), sys.argv[2:]) else 1)
