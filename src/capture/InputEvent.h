#pragma once

#include "capture/MediaTime.h"

#include <QPoint>
#include <QString>

#include <cstdint>

namespace mirelo {

// Which input a recording keeps beside its frames.
enum class InputCapture : uint8_t {
    none,       // no keys and no clicks
    shortcuts,  // clicks, and keys pressed with Ctrl, Alt or Super, or keys that type nothing
    allKeys,    // clicks and every key, plain typing included
};

// Modifier keys held at a key press, as bits.
enum InputModifier : uint32_t {
    modifierCtrl = 1u << 0,
    modifierAlt = 1u << 1,
    modifierShift = 1u << 2,
    modifierSuper = 1u << 3,
};

// One key press, mouse button change or pointer position seen during a recording.
struct InputEvent {
    // pointerMove: the pointer is at `position` from `time` until the next pointerMove.
    enum class Kind : uint8_t { keyPress, buttonPress, buttonRelease, pointerMove };

    Kind kind = Kind::keyPress;
    // When it happened. From a backend: on the frames' clock. In a recording: seconds after the
    // recording's first frame (a pause taken out, as from the frames' times).
    MediaTime time;
    double seconds = 0.0;

    // Key presses: the modifiers held (InputModifier bits) and the key's name in the current
    // layout ("T", "Enter", "↑", "a"). `typing` marks a key that only types a character (no
    // Ctrl, Alt or Super held, and not a key such as Enter or an arrow): such keys are kept only
    // with InputCapture::allKeys.
    uint32_t modifiers = 0;
    QString keyName;
    bool typing = false;

    // Button changes: the button (1 left, 2 middle, 3 right). Button changes and pointer moves:
    // the pointer in the recording's pixels (origin at the recorded area's top-left corner; it
    // may lie outside it).
    int button = 0;
    QPoint position;

    friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

// The key press as a caption shows it: the modifiers in the order Ctrl, Alt, Shift, Super,
// then the key, joined with "+" ("Ctrl+Shift+T"). A typed character stands alone.
QString keyCombination(const InputEvent& event);

// Whether `capture` keeps `event`.
bool keeps(InputCapture capture, const InputEvent& event);

}  // namespace mirelo
