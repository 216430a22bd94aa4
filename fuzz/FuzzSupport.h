#pragma once

#include <QCoreApplication>

namespace mirelo::fuzz {

// One application object for the whole run: image plugins are found through it.
inline void ensureApplication() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

}  // namespace mirelo::fuzz
