#!/usr/bin/python3
"""Sends one thing a tray host sends to the root of a process's exported menu
(python3-dbus), and nothing else: no layout read, no "closed" afterwards.

  menu_event.py PID opened|closed|about-to-show

Waits up to 20 seconds for an item owned by PID, as tray_menu_check.py does.
Exits 0 once the menu has taken it, 1 otherwise.
"""
import sys
import time

import dbus

from tray_menu_check import MENU, exported_menu


def main(pid, what):
    menu = exported_menu(dbus.SessionBus(), pid)
    if menu is None:
        return False
    try:
        if what == "about-to-show":
            menu.AboutToShow(0, dbus_interface=MENU)
        else:
            menu.Event(0, what, dbus.String("", variant_level=1), dbus.UInt32(int(time.time())),
                       dbus_interface=MENU)
    except dbus.DBusException as e:
        print(f"{what}: {e.get_dbus_message()}")
        return False
    return True


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[2] not in ("opened", "closed", "about-to-show"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(0 if main(int(sys.argv[1]), sys.argv[2]) else 1)
