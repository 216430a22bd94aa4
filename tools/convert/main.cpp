#include "convert/Convert.h"
#include "i18n/Language.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

// Ctrl-C, a termination and a hang-up (the terminal closed) cancel the export, so no
// partial file is left behind.
mirelo::CancelFlag* g_cancel = nullptr;

extern "C" void onInterrupt(int) {
    if (g_cancel) {
        g_cancel->cancel();
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    mirelo::i18n::install(mirelo::i18n::chooseLanguage());
    mirelo::CancelFlag cancel;
    g_cancel = &cancel;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    std::signal(SIGHUP, onInterrupt);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return mirelo::convert::run(arguments, out, err, cancel);
}
