#include "capture/InputEvent.h"

#include <QStringList>

namespace mirelo {

QString keyCombination(const InputEvent& event) {
    if (event.typing) {
        return event.keyName;
    }
    QStringList parts;
    if (event.modifiers & modifierCtrl) {
        parts << QStringLiteral("Ctrl");
    }
    if (event.modifiers & modifierAlt) {
        parts << QStringLiteral("Alt");
    }
    if (event.modifiers & modifierShift) {
        parts << QStringLiteral("Shift");
    }
    if (event.modifiers & modifierSuper) {
        parts << QStringLiteral("Super");
    }
    parts << event.keyName;
    return parts.join(QLatin1Char('+'));
}

bool keeps(InputCapture capture, const InputEvent& event) {
    switch (capture) {
        case InputCapture::none:
            return false;
        case InputCapture::shortcuts:
            return event.kind != InputEvent::Kind::keyPress || !event.typing;
        case InputCapture::allKeys:
            return true;
    }
    return false;
}

}  // namespace mirelo
