#!/usr/bin/python3
"""A bare StatusNotifierItem with an Ayatana label that changes every
INTERVAL milliseconds (python3-dbus on the GLib main loop): what a tray host
pays to redraw a label, apart from whichever program sets it.

  label_item.py INTERVAL_MS [TEXT...]

Registers with org.kde.StatusNotifierWatcher (again whenever a watcher
appears), shows the TEXTs in turn (invented paper titles by default) and
prints "[label] registered" once the watcher took it. Runs until ended.
"""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

ITEM = "org.kde.StatusNotifierItem"
WATCHER = "org.kde.StatusNotifierWatcher"
PATH = "/StatusNotifierItem"
TEXTS = [
    "Tidal Credit Cycles in Coastal",
    "Fisheries: Evidence from Ledgers",
    "Why Orchards Borrow in Spring",
    "Rail Gauges and Market Access",
]


class LabelItem(dbus.service.Object):
    def __init__(self, bus, texts):
        super().__init__(bus, PATH)
        self.texts = texts
        self.turn = 0
        self.guide = max(texts, key=len)

    def properties(self):
        return {
            "Id": "label-bench", "Category": "ApplicationStatus", "Status": "Active",
            "Title": "Label bench", "IconName": "text-x-generic", "IconThemePath": "",
            "ItemIsMenu": dbus.Boolean(False), "Menu": dbus.ObjectPath("/NO_DBUSMENU"),
            "XAyatanaLabel": self.texts[self.turn], "XAyatanaLabelGuide": self.guide,
        }

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.properties()[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.properties() if interface == ITEM else {}

    @dbus.service.signal(ITEM, signature="ss")
    def XAyatanaNewLabel(self, label, guide):
        pass

    def next(self):
        self.turn = (self.turn + 1) % len(self.texts)
        self.XAyatanaNewLabel(self.texts[self.turn], self.guide)
        return True


def register(bus, name):
    try:
        watcher = bus.get_object(WATCHER, "/StatusNotifierWatcher")
        watcher.RegisterStatusNotifierItem(name, dbus_interface=WATCHER)
        print("[label] registered", flush=True)
    except dbus.DBusException as e:
        print(f"[label] not registered: {e.get_dbus_message()}", flush=True)


def main(interval, texts):
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    item = LabelItem(bus, texts or TEXTS)
    name = bus.get_unique_name()
    bus.watch_name_owner(WATCHER, lambda owner: owner and register(bus, name))
    GLib.timeout_add(interval, item.next)
    GLib.MainLoop().run()


if __name__ == "__main__":
    if len(sys.argv) < 2 or not sys.argv[1].isdigit() or int(sys.argv[1]) <= 0:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    main(int(sys.argv[1]), sys.argv[2:])
