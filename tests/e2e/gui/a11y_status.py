# SPDX-License-Identifier: MIT
"""Stands in for at-spi's bus launcher on a session bus that several users share (run-gui-e2e in
its second-user mode): org.a11y.Bus at /org/a11y/bus answers GetAddress with the accessibility
bus named on the command line, and org.a11y.Status says that accessibility is on. Qt programs
find the accessibility bus this way; the launcher's own bus would let in one user and root only.
Runs until it is killed or the bus ends."""

import sys

from gi.repository import Gio, GLib

INTERFACES = """
<node>
  <interface name="org.a11y.Bus">
    <method name="GetAddress"><arg direction="out" type="s"/></method>
  </interface>
  <interface name="org.a11y.Status">
    <property name="IsEnabled" type="b" access="read"/>
    <property name="ScreenReaderEnabled" type="b" access="read"/>
  </interface>
</node>
"""


def main():
    address = sys.argv[1]

    def call(_connection, _sender, _path, _interface, _method, _parameters, invocation):
        invocation.return_value(GLib.Variant("(s)", (address,)))

    def get(_connection, _sender, _path, _interface, _property):
        return GLib.Variant("b", True)

    def acquired(connection, _name):
        for interface in Gio.DBusNodeInfo.new_for_xml(INTERFACES).interfaces:
            connection.register_object("/org/a11y/bus", interface, call, get, None)

    Gio.bus_own_name(Gio.BusType.SESSION, "org.a11y.Bus", Gio.BusNameOwnerFlags.NONE, acquired,
                     None, lambda *_: sys.exit(0))  # the bus is gone: the run is over
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
