#pragma once

#include "capture/InputEvent.h"

#include <xkbcommon/xkbcommon.h>

#include <optional>

namespace mirelo::x11 {

// A modifier or lock key (Shift, Ctrl, Caps Lock, AltGr, ...): held, not shown by itself.
bool isModifierKey(xkb_keysym_t keysym);

// The key press as an input event (kind, modifiers, name, typing; no time): `base` is the key's
// symbol without modifiers and `shifted` the one the held modifiers give, `text` what the key
// types (UTF-8, empty for none). With Ctrl, Alt or Super held the key is named by its base
// symbol ("Ctrl+Shift+T", "Ctrl+1"); keys that type nothing by their names ("Enter", "↑",
// "F5"); other keys type their character. Nothing for a modifier key by itself.
std::optional<InputEvent> describeKey(xkb_keysym_t base, xkb_keysym_t shifted, const QString& text,
                                      uint32_t modifiers);

}  // namespace mirelo::x11
