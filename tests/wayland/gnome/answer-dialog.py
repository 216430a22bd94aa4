# The user at the GNOME test session's screen-sharing dialog. Each time the
# portal's dialog opens, it appends "asked" to chooser.log in
# $MIRELO_SESSION_CHOOSER and answers the dialog through the accessibility
# interface, as assistive technology does: it selects the first monitor and
# presses Share, or, while the file "refuse" exists there, presses Cancel.
import os
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

chooser = os.environ["MIRELO_SESSION_CHOOSER"]
DIALOG_APP = "xdg-desktop-portal-gnome"


def children(accessible):
    for i in range(accessible.get_child_count()):
        child = accessible.get_child_at_index(i)
        if child is not None:
            yield child


def find(accessible, role, name=None):
    """The first accessible below `accessible` with that role (and a name that contains `name`)."""
    for child in children(accessible):
        if child.get_role_name() == role and (name is None or name in (child.get_name() or "")):
            return child
        found = find(child, role, name)
        if found is not None:
            return found
    return None


def dialog():
    desktop = Atspi.get_desktop(0)
    for app in children(desktop):
        if app.get_name() == DIALOG_APP:
            for window in children(app):
                if window.get_role_name() == "frame" and window.get_state_set().contains(
                    Atspi.StateType.SHOWING
                ):
                    return window
    return None


def press(button):
    action = button.get_action_iface()
    for i in range(action.get_n_actions()):
        if action.get_action_name(i) == "click":
            action.do_action(i)
            return True
    return False


def answer(window, refuse):
    if refuse:
        return press(find(window, "push button", "Cancel"))
    monitors = find(window, "list")
    share = find(window, "push button", "Share")
    if monitors is None or share is None:
        return False
    monitors.get_selection_iface().select_child(0)
    # Share becomes sensitive once a monitor is selected.
    for _ in range(50):
        if share.get_state_set().contains(Atspi.StateType.SENSITIVE):
            return press(share)
        time.sleep(0.05)
    return False


open(os.path.join(chooser, "answerer-ready"), "w").close()
while True:
    window = dialog()
    if window is None:
        time.sleep(0.1)
        continue
    with open(os.path.join(chooser, "chooser.log"), "a") as log:
        log.write("asked\n")
    refuse = os.path.exists(os.path.join(chooser, "refuse"))
    # The dialog's widgets may come a moment after its window.
    for _ in range(50):
        if answer(window, refuse):
            print("answered", "cancel" if refuse else "share", flush=True)
            break
        time.sleep(0.1)
    else:
        print("could not answer the dialog", file=sys.stderr, flush=True)
    while dialog() is not None:
        time.sleep(0.1)
