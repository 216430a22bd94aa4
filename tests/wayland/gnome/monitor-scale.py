# Sets the scale of the GNOME test session's monitor through the display
# configuration interface, as the desktop's settings panel does:
#
#   monitor-scale.py SCALE [logical|physical]
#
# The monitor keeps its mode. GNOME offers only the scales at which the monitor
# is a whole number of logical pixels wide and high: the one nearest SCALE is
# taken and printed. In the logical layout (the default here) windows are laid
# out in logical pixels and drawn at the scale; in the physical layout the
# layout is in the monitor's pixels and only integer scales exist.
import sys

from gi.repository import Gio, GLib

NAME = "org.gnome.Mutter.DisplayConfig"
PATH = "/org/gnome/Mutter/DisplayConfig"
LAYOUT = {"logical": 1, "physical": 2}


def call(bus, method, arguments, reply):
    return bus.call_sync(
        NAME, PATH, NAME, method, arguments, GLib.VariantType(reply) if reply else None,
        Gio.DBusCallFlags.NONE, 10000, None)


def main():
    wanted = float(sys.argv[1])
    layout = LAYOUT[sys.argv[2] if len(sys.argv) > 2 else "logical"]
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    serial, monitors, _, properties = call(
        bus, "GetCurrentState", None,
        "(ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv})").unpack()
    if len(monitors) != 1:
        sys.exit(f"expected one monitor, found {len(monitors)}")
    (connector, _, _, _), modes, _ = monitors[0]
    mode = next((m for m in modes if m[6].get("is-current")), None)
    if mode is None:
        sys.exit("the monitor has no current mode")
    scale = min(mode[5], key=lambda s: abs(s - wanted))
    if abs(scale - wanted) > 0.05:
        sys.exit(f"scale {wanted} not offered (offered: {list(mode[5])})")
    options = {}
    if properties.get("supports-changing-layout-mode"):
        options["layout-mode"] = GLib.Variant("u", layout)
    elif layout != properties.get("layout-mode", 2):
        sys.exit("the layout mode cannot be changed")
    call(bus, "ApplyMonitorsConfig",
         GLib.Variant("(uua(iiduba(ssa{sv}))a{sv})",
                      (serial, 1, [(0, 0, scale, 0, True, [(connector, mode[0], {})])],
                       options)),
         None)
    print(scale)


main()
