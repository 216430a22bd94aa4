// Desktop-wide shortcuts on a Wayland desktop: whether the desktop's portal
// offers them is found out without blocking and within its time limit, and
// the menu shows the answer.
#include "app/Alerts.h"
#include "app/AppMenu.h"
#include "app/AppState.h"
#include "platform/GlobalShortcuts.h"
#include "support/FakeCaptureBackend.h"
#include "support/TestImages.h"

#include <QAction>
#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace mirelo {
namespace {

class SilentAlerts : public AlertPresenter {
public:
    Response showRecordingError(const QString&, bool) override { return Response::ok; }
};

TEST(WaylandShortcuts, WhetherThePortalOffersThemIsFoundOutAndShown) {
    ASSERT_EQ(GlobalShortcuts::mechanismForThisSession(), GlobalShortcuts::Mechanism::portal);
    AppServices services;
    services.recorder =
        std::make_unique<ScreenRecorder>(std::make_shared<test::FakeCaptureBackend>(), [] {
            return std::vector<ScreenInfo>{{QStringLiteral("fake"), 1.0}};
        });
    services.alerts = std::make_shared<SilentAlerts>();
    AppState state(std::move(services));

    QElapsedTimer clock;
    clock.start();
    GlobalShortcuts shortcuts(GlobalShortcuts::Mechanism::portal);
    // The constructor only asks; the answer comes from the event loop.
    EXPECT_LT(clock.elapsed(), 1000);
    state.useGlobalShortcuts(&shortcuts);
    AppMenu menu(&state, nullptr);
    ASSERT_TRUE(
        test::waitUntil([&] { return shortcuts.state() != GlobalShortcuts::State::detecting; },
                        std::chrono::milliseconds(2 * GlobalShortcuts::kPortalTimeoutMs)));
    test::spinFor(50ms);
    if (shortcuts.state() == GlobalShortcuts::State::active) {
        EXPECT_FALSE(menu.shortcutNoteAction()->isVisible());
        EXPECT_FALSE(menu.startAction()->shortcut().isEmpty());
    } else {
        // This desktop's portal (the one the tests run) offers none: the menu says so.
        EXPECT_EQ(shortcuts.state(), GlobalShortcuts::State::notOffered);
        EXPECT_TRUE(menu.shortcutNoteAction()->isVisible());
        EXPECT_EQ(menu.shortcutNoteAction()->text(), QStringLiteral("桌面不提供全局快捷键"));
        EXPECT_TRUE(menu.startAction()->shortcut().isEmpty());
    }
}

}  // namespace
}  // namespace mirelo
