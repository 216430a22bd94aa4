#pragma once

#include <QStringList>

#include <functional>

class QWidget;

namespace mirelo {

// Lets `window` take local files dropped onto it: `onDrop` gets their paths (files and
// folders) once they are dropped. Drops of anything else are refused.
void acceptFileDrops(QWidget* window, std::function<void(const QStringList& paths)> onDrop);

}  // namespace mirelo
