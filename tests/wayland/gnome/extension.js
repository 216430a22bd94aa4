// The GNOME test session's extension: the desktop rather than the overview at
// start, as after a user's login, and no window shadows, so that the tests'
// windows show exactly their own pixels. It leaves a file in the runtime folder
// once it has done both, for the session to wait on.
//
// The session has no input devices: the tests move a pointer of the shell's own
// through org.mirelo.TestSession.MovePointer(x, y) on the shell's bus name, in
// the layout's coordinates (those of XWayland).
const { Clutter, Gio, GLib, Meta } = imports.gi;
const Main = imports.ui.main;

const kTestSession = `<node>
  <interface name="org.mirelo.TestSession">
    <method name="MovePointer">
      <arg type="d" direction="in" name="x"/>
      <arg type="d" direction="in" name="y"/>
    </method>
  </interface>
</node>`;

let pointer = null;
let exported = null;

function exportTestSession() {
    const service = {
        MovePointer(x, y) {
            if (pointer === null) {
                const seat = Clutter.get_default_backend().get_default_seat();
                pointer = seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
            }
            pointer.notify_absolute_motion(GLib.get_monotonic_time(), x, y);
        },
    };
    exported = Gio.DBusExportedObject.wrapJSObject(kTestSession, service);
    exported.export(Gio.DBus.session, '/org/mirelo/TestSession');
}

function removeShadows() {
    const off = actor => {
        actor.shadow_mode = Meta.ShadowMode.FORCED_OFF;
    };
    global.get_window_actors().forEach(off);
    global.window_manager.connect('map', (wm, actor) => off(actor));
}

function ready() {
    Main.overview.hide();
    GLib.file_set_contents(`${GLib.get_user_runtime_dir()}/mirelo-test-extension`, 'ready');
}

function init() {
    return {
        enable() {
            removeShadows();
            exportTestSession();
            if (Main.layoutManager._startingUp)
                Main.layoutManager.connect('startup-complete', ready);
            else
                ready();
        },
        disable() {},
    };
}
