#!/usr/bin/python3
"""Talks to a running GNOME Shell on the session bus (python3-dbus).

  shell.py eval SCRIPT            evaluates SCRIPT in the shell and prints its
                                  value: a string as it is, anything else as JSON
  shell.py screenshot FILE [X Y W H]
                                  saves the screen, or that area of it, as PNG

Eval answers only while the shell's unsafe mode is on (the test extension
turns it on). The shell lets only a few bus names take screenshots, so this
connection first owns one of them, org.gnome.Screenshot. Exits 0, or 1 with
the shell's error on stderr.
"""
import json
import sys

import dbus

SHELL = "org.gnome.Shell"


def evaluate(bus, script):
    shell = bus.get_object(SHELL, "/org/gnome/Shell")
    ok, result = shell.Eval(script, dbus_interface=SHELL)
    if not ok:
        print(result, file=sys.stderr)
        return False
    value = json.loads(result) if result else None
    print(value if isinstance(value, str) else json.dumps(value, ensure_ascii=False))
    return True


def screenshot(bus, path, area):
    if bus.request_name("org.gnome.Screenshot") != dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
        print("another connection owns org.gnome.Screenshot", file=sys.stderr)
        return False
    shot = bus.get_object(SHELL + ".Screenshot", "/org/gnome/Shell/Screenshot")
    iface = SHELL + ".Screenshot"
    if area:
        x, y, w, h = (int(v) for v in area)
        ok, _ = shot.ScreenshotArea(x, y, w, h, False, path, dbus_interface=iface)
    else:
        ok, _ = shot.Screenshot(False, False, path, dbus_interface=iface)
    return bool(ok)


def main(args):
    bus = dbus.SessionBus()
    try:
        if len(args) == 2 and args[0] == "eval":
            return evaluate(bus, args[1])
        if len(args) in (2, 6) and args[0] == "screenshot":
            return screenshot(bus, args[1], args[2:])
    except dbus.DBusException as e:
        print(e.get_dbus_message(), file=sys.stderr)
        return False
    print(__doc__, file=sys.stderr)
    sys.exit(2)


if __name__ == "__main__":
    sys.exit(0 if main(sys.argv[1:]) else 1)
