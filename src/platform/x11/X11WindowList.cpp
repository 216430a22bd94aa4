#include "platform/x11/X11WindowList.h"

#include "platform/x11/X11Connection.h"

#include <algorithm>

namespace mirelo {

namespace {

using x11::Connection;
using x11::Reply;

struct Atoms {
    explicit Atoms(const Connection& c)
        : supportingWmCheck(c.atom("_NET_SUPPORTING_WM_CHECK")),
          clientListStacking(c.atom("_NET_CLIENT_LIST_STACKING")),
          pid(c.atom("_NET_WM_PID")),
          windowType(c.atom("_NET_WM_WINDOW_TYPE")),
          typeNormal(c.atom("_NET_WM_WINDOW_TYPE_NORMAL")),
          typeDialog(c.atom("_NET_WM_WINDOW_TYPE_DIALOG")),
          state(c.atom("_NET_WM_STATE")),
          stateAbove(c.atom("_NET_WM_STATE_ABOVE")),
          stateHidden(c.atom("_NET_WM_STATE_HIDDEN")),
          desktop(c.atom("_NET_WM_DESKTOP")),
          currentDesktop(c.atom("_NET_CURRENT_DESKTOP")),
          frameExtents(c.atom("_NET_FRAME_EXTENTS")),
          gtkFrameExtents(c.atom("_GTK_FRAME_EXTENTS")) {}
    xcb_atom_t supportingWmCheck, clientListStacking, pid, windowType, typeNormal, typeDialog,
        state, stateAbove, stateHidden, desktop, currentDesktop, frameExtents, gtkFrameExtents;
};

bool contains(const std::vector<uint32_t>& values, uint32_t value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// True when a window manager announces itself (the check window names itself too).
bool hasWindowManager(const Connection& c, const Atoms& atoms) {
    const std::vector<uint32_t> check =
        c.property32(c.root(), atoms.supportingWmCheck, XCB_ATOM_WINDOW);
    if (check.empty()) {
        return false;
    }
    const std::vector<uint32_t> self =
        c.property32(check[0], atoms.supportingWmCheck, XCB_ATOM_WINDOW);
    return !self.empty() && self[0] == check[0];
}

// The window's entry, or nothing when it is not on screen.
std::optional<WindowListEntry> describe(const Connection& c, const Atoms& atoms,
                                        xcb_window_t window, bool managed,
                                        std::optional<uint32_t> currentDesktop) {
    xcb_connection_t* conn = c.get();
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(conn, xcb_get_window_attributes(conn, window), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
        attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) {
        return std::nullopt;
    }
    if (!managed && attributes->override_redirect) {
        return std::nullopt;
    }
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(conn, xcb_get_geometry(conn, window), nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        conn, xcb_translate_coordinates(conn, window, c.root(), 0, 0), nullptr));
    if (!geometry || !origin) {
        return std::nullopt;
    }

    const std::vector<uint32_t> states = c.property32(window, atoms.state, XCB_ATOM_ATOM);
    if (contains(states, atoms.stateHidden)) {
        return std::nullopt;
    }
    if (managed && currentDesktop) {
        const std::vector<uint32_t> desktop =
            c.property32(window, atoms.desktop, XCB_ATOM_CARDINAL);
        if (!desktop.empty() && desktop[0] != *currentDesktop && desktop[0] != 0xffffffffu) {
            return std::nullopt;
        }
    }

    WindowListEntry entry;
    const std::vector<uint32_t> pid = c.property32(window, atoms.pid, XCB_ATOM_CARDINAL);
    if (!pid.empty()) {
        entry.pid = pid[0];
    }
    const std::vector<uint32_t> types = c.property32(window, atoms.windowType, XCB_ATOM_ATOM);
    entry.isNormal =
        types.empty() || contains(types, atoms.typeNormal) || contains(types, atoms.typeDialog);
    entry.isAbove = contains(states, atoms.stateAbove);
    // The border counts as part of the window, like the window manager's frame.
    const int border = geometry->border_width;
    QRect bounds(origin->dst_x - border, origin->dst_y - border, geometry->width + 2 * border,
                 geometry->height + 2 * border);
    // A window that draws its own title bar includes an invisible shadow
    // margin in its geometry, and says how wide it is.
    const std::vector<uint32_t> shadow =
        c.property32(window, atoms.gtkFrameExtents, XCB_ATOM_CARDINAL);
    if (shadow.size() >= 4) {
        const QRect visible =
            bounds.adjusted(static_cast<int>(std::min<uint32_t>(shadow[0], 0x7fff)),
                            static_cast<int>(std::min<uint32_t>(shadow[2], 0x7fff)),
                            -static_cast<int>(std::min<uint32_t>(shadow[1], 0x7fff)),
                            -static_cast<int>(std::min<uint32_t>(shadow[3], 0x7fff)));
        if (visible.isValid()) {
            bounds = visible;
        }
    }
    const std::vector<uint32_t> extents =
        c.property32(window, atoms.frameExtents, XCB_ATOM_CARDINAL);
    if (extents.size() >= 4) {
        bounds.adjust(-static_cast<int>(extents[0]), -static_cast<int>(extents[2]),
                      static_cast<int>(extents[1]), static_cast<int>(extents[3]));
    }
    entry.bounds = bounds;
    entry.window = window;
    return entry;
}

}  // namespace

std::optional<std::vector<WindowListEntry>> X11WindowList::windowsFrontMostFirst() {
    Connection c(m_displayName);
    if (!c.ok()) {
        return std::nullopt;
    }
    const Atoms atoms(c);
    const bool managed = hasWindowManager(c, atoms);

    std::vector<uint32_t> bottomToTop;
    if (managed) {
        bottomToTop = c.property32(c.root(), atoms.clientListStacking, XCB_ATOM_WINDOW);
    } else {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c.get(), xcb_query_tree(c.get(), c.root()), nullptr));
        if (!tree) {
            return std::nullopt;
        }
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        bottomToTop.assign(children, children + xcb_query_tree_children_length(tree.get()));
    }
    std::optional<uint32_t> currentDesktop;
    const std::vector<uint32_t> desktop =
        c.property32(c.root(), atoms.currentDesktop, XCB_ATOM_CARDINAL);
    if (!desktop.empty()) {
        currentDesktop = desktop[0];
    }

    std::vector<WindowListEntry> entries;
    for (auto it = bottomToTop.rbegin(); it != bottomToTop.rend(); ++it) {
        if (std::optional<WindowListEntry> entry =
                describe(c, atoms, *it, managed, currentDesktop)) {
            entries.push_back(*entry);
        }
    }
    if (!c.ok()) {
        return std::nullopt;
    }
    return entries;
}

}  // namespace mirelo
