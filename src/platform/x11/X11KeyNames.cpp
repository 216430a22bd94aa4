#include "platform/x11/X11KeyNames.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>

namespace mirelo::x11 {

namespace {

// The keys shown with 仅快捷键 even without a modifier, by the names captions give them.
std::optional<QString> specialKeyName(xkb_keysym_t keysym) {
    switch (keysym) {
        case XKB_KEY_Return:
        case XKB_KEY_KP_Enter:
            return QStringLiteral("Enter");
        case XKB_KEY_Escape:
            return QStringLiteral("Esc");
        case XKB_KEY_Tab:
        case XKB_KEY_ISO_Left_Tab:
            return QStringLiteral("Tab");
        case XKB_KEY_BackSpace:
            return QStringLiteral("Backspace");
        case XKB_KEY_Delete:
        case XKB_KEY_KP_Delete:
            return QStringLiteral("Delete");
        case XKB_KEY_Up:
        case XKB_KEY_KP_Up:
            return QStringLiteral("↑");
        case XKB_KEY_Down:
        case XKB_KEY_KP_Down:
            return QStringLiteral("↓");
        case XKB_KEY_Left:
        case XKB_KEY_KP_Left:
            return QStringLiteral("←");
        case XKB_KEY_Right:
        case XKB_KEY_KP_Right:
            return QStringLiteral("→");
        case XKB_KEY_Page_Up:
        case XKB_KEY_KP_Page_Up:
            return QStringLiteral("PgUp");
        case XKB_KEY_Page_Down:
        case XKB_KEY_KP_Page_Down:
            return QStringLiteral("PgDn");
        case XKB_KEY_Home:
        case XKB_KEY_KP_Home:
            return QStringLiteral("Home");
        case XKB_KEY_End:
        case XKB_KEY_KP_End:
            return QStringLiteral("End");
        default:
            break;
    }
    if (keysym >= XKB_KEY_F1 && keysym <= XKB_KEY_F35) {
        return QStringLiteral("F%1").arg(keysym - XKB_KEY_F1 + 1);
    }
    return std::nullopt;
}

// The name of a key pressed with Ctrl, Alt or Super: its character in capitals, or its name.
QString comboKeyName(xkb_keysym_t keysym) {
    if (std::optional<QString> special = specialKeyName(keysym)) {
        return *special;
    }
    if (keysym == XKB_KEY_space) {
        return QStringLiteral("Space");
    }
    char utf8[16] = {};
    if (xkb_keysym_to_utf8(keysym, utf8, sizeof(utf8)) > 1 &&
        QChar::isPrint(QString::fromUtf8(utf8).front().unicode())) {
        return QString::fromUtf8(utf8).toUpper();
    }
    char name[64] = {};
    if (xkb_keysym_get_name(keysym, name, sizeof(name)) > 0) {
        return QString::fromUtf8(name);
    }
    return QStringLiteral("?");
}

}  // namespace

bool isModifierKey(xkb_keysym_t keysym) {
    return (keysym >= XKB_KEY_Shift_L && keysym <= XKB_KEY_Hyper_R) ||
           (keysym >= XKB_KEY_ISO_Lock && keysym <= XKB_KEY_ISO_Last_Group_Lock) ||
           keysym == XKB_KEY_Mode_switch || keysym == XKB_KEY_Num_Lock ||
           keysym == XKB_KEY_Scroll_Lock;
}

std::optional<InputEvent> describeKey(xkb_keysym_t base, xkb_keysym_t shifted, const QString& text,
                                      uint32_t modifiers) {
    if (isModifierKey(base) || isModifierKey(shifted) || base == XKB_KEY_NoSymbol) {
        return std::nullopt;
    }
    InputEvent event;
    event.kind = InputEvent::Kind::keyPress;
    event.modifiers = modifiers;
    if (modifiers & (modifierCtrl | modifierAlt | modifierSuper)) {
        event.keyName = comboKeyName(base);
        return event;
    }
    if (std::optional<QString> special = specialKeyName(shifted)) {
        event.keyName = *special;
        return event;
    }
    const bool prints = !text.isEmpty() && std::all_of(text.cbegin(), text.cend(),
                                                       [](QChar c) { return c.isPrint(); });
    if (prints) {
        event.keyName = text;
        event.typing = true;
        return event;
    }
    // A key that types nothing and is none of the above (a media key, Insert, Print).
    event.keyName = comboKeyName(shifted != XKB_KEY_NoSymbol ? shifted : base);
    return event;
}

}  // namespace mirelo::x11
