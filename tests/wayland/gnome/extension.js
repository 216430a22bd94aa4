// The GNOME test session's extension: the desktop rather than the overview at
// start, as after a user's login, and no window shadows, so that the tests'
// windows show exactly their own pixels. It leaves a file in the runtime folder
// once it has done both, for the session to wait on.
const { GLib, Meta } = imports.gi;
const Main = imports.ui.main;

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
            if (Main.layoutManager._startingUp)
                Main.layoutManager.connect('startup-complete', ready);
            else
                ready();
        },
        disable() {},
    };
}
