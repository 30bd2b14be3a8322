#!/usr/bin/python3
"""The tray item a process registers with the StatusNotifierWatcher, and the
menu it exports over D-Bus (python3-dbus), read as a tray host reads it.

  tray_menu_check.py PID LABEL... [--click ENTRY] [--open-for SECONDS | --peek-for SECONDS]

Waits up to 20 seconds for an item owned by PID, opens its menu as a host does
(AboutToShow, GetLayout, the "opened" event, SECONDS later the "closed" event).
--peek-for fetches the menu ahead of time as hosts do (AboutToShow, GetLayout)
and stays on the bus SECONDS without opening it. Holds when every
LABEL is a top-level entry and no entry other than a separator is blank. A
LABEL ending in ":" names a submenu whose label starts with it and whose
entries are values to choose from, exactly one of them checked. --click
clicks a top-level ENTRY, or "SUBMENU>VALUE" in a submenu. Prints the menu;
exits 0 or 1.
"""
import collections
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
        # "service/path" from most watchers, "service@/path" from GNOME's, or a
        # bare service name, whose item is at the usual path
        service, _, path = str(entry).replace("@/", "/", 1).partition("/")
        path = path or "StatusNotifierItem"
        try:
            owner = names.GetConnectionUnixProcessID(service, dbus_interface="org.freedesktop.DBus")
        except dbus.DBusException:
            continue
        if owner == pid:
            return service, "/" + path
    return None


Entry = collections.namedtuple("Entry", "id label kind toggle state sub")


def entries(node):
    """The visible entries under a GetLayout node."""
    result = []
    for child in node[2]:
        props = child[1]
        if props.get("visible", True):
            result.append(Entry(int(child[0]), str(props.get("label", "")),
                                str(props.get("type", "standard")), str(props.get("toggle-type", "")),
                                int(props.get("toggle-state", -1)), entries(child)))
    return result


def show(items, depth=0):
    for e in items:
        mark = {1: "[x] ", 0: "[ ] "}.get(e.state, "") if e.toggle else ""
        print("  " * depth + ("-----" if e.kind == "separator" else f"{mark}{e.label!r}"))
        show(e.sub, depth + 1)


def blanks(items):
    return sum((e.kind != "separator" and not e.label.strip()) + blanks(e.sub) for e in items)


def submenu(items, prefix):
    return next((e.sub for e in items if e.label.startswith(prefix)), [])


def check(items, expected):
    faults = [f"{blanks(items)} blank entries"] if blanks(items) else []
    for want in expected:
        if not want.endswith(":"):
            if want not in [e.label for e in items]:
                faults.append(f"no entry {want!r}")
            continue
        sub = submenu(items, want)
        if len(sub) < 2:
            faults.append(f"no submenu of values {want!r}")
        elif [e.state for e in sub].count(1) != 1 or any(not e.toggle for e in sub):
            faults.append(f"{want!r} does not have exactly one checked value")
    for fault in faults:
        print("FAULT: " + fault)
    return not faults


def exported_menu(bus, pid):
    """The menu of the item PID registers, waited for up to 20 seconds; None if none."""
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
        return None
    service, path = found
    print(f"item {service}{path}")
    menu_path = bus.get_object(service, path).Get(ITEM, "Menu", dbus_interface=PROPERTIES)
    return bus.get_object(service, menu_path)


def send(menu, item, event):
    menu.Event(item, event, dbus.String("", variant_level=1), dbus.UInt32(0), dbus_interface=MENU)


def main(pid, expected, click, open_for, peek):
    menu = exported_menu(dbus.SessionBus(), pid)
    if menu is None:
        return False
    menu.AboutToShow(0, dbus_interface=MENU)  # a host asks before it shows the menu
    _, layout = menu.GetLayout(0, -1, [], dbus_interface=MENU)
    items = entries(layout)
    show(items)
    ok = check(items, expected)
    if peek is not None:
        time.sleep(peek)
        return ok
    send(menu, 0, "opened")
    time.sleep(open_for)
    if click:
        where, _, value = click.rpartition(">")
        choices = submenu(items, where) if where else items
        target = next((e for e in choices if e.label == value), None)
        if target is None:
            print(f"FAULT: no entry {click!r} to click")
            return False
        send(menu, target.id, "clicked")
    try:
        send(menu, 0, "closed")
    except dbus.DBusException:
        pass  # a click on "Quit" may have ended the program already
    return ok


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    args = sys.argv[2:]
    options = {}
    for option in ("--click", "--open-for", "--peek-for"):
        if option in args:
            at = args.index(option)
            options[option], args = args[at + 1], args[:at] + args[at + 2:]
    peek = options.get("--peek-for")
    sys.exit(0 if main(int(sys.argv[1]), args, options.get("--click"),
                       float(options.get("--open-for", 0)), None if peek is None else float(peek)) else 1)
