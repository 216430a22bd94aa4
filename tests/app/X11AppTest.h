#pragma once

// Shared by the programs that drive the whole application on a private Xvfb with a window
// manager: the server their main() starts, and alerts that only remember what they showed.
#include "XvfbFixture.h"
#include "app/Alerts.h"

#include <QStringList>

namespace mirelo::test {

// The server of this test program; valid while its tests run.
XvfbServer& appServer();

class SilentAlerts : public AlertPresenter {
public:
    QStringList shown;
    Response showRecordingError(const QString& description, bool) override {
        shown << description;
        return Response::ok;
    }
    QStringList notices;
    bool showStopNotice(const QString& text, bool canStart) override {
        notices << text;
        return canStart;
    }
    void showNotice(const QString& text) override { notices << text; }
    bool startWhileEditing = true;
    int askedToStart = 0;
    bool askStartWhileEditing() override {
        ++askedToStart;
        return startWhileEditing;
    }
};

}  // namespace mirelo::test
