#include "MireloIdentity.h"
#include "app/Alerts.h"
#include "app/AppMenu.h"
#include "app/AppState.h"
#include "platform/Autostart.h"
#include "platform/UpdateChecker.h"
#include "support/FakeCaptureBackend.h"
#include "support/TestImages.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/RecorderHeader.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QFile>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

class SilentAlerts : public AlertPresenter {
public:
    Response showRecordingError(const QString&, bool) override { return Response::ok; }
};

QStringList visibleEntries(const QMenu* menu) {
    QStringList entries;
    for (const QAction* action : menu->actions()) {
        if (action->isVisible()) {
            entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
        }
    }
    return entries;
}

}  // namespace

TEST(AppMenu, EntriesFollowTheRecordingState) {
    auto backend = std::make_shared<test::FakeCaptureBackend>();
    AppServices services;
    services.recorder = std::make_unique<ScreenRecorder>(backend, [] {
        return std::vector<ScreenInfo>{{QStringLiteral("fake"), 1.0}};
    });
    services.alerts = std::make_shared<SilentAlerts>();
    AppState state(std::move(services));
    state.setChromeSettleDelay(0);
    state.setCountdownSeconds(0);
    AppMenu menu(&state, nullptr);
    test::spinFor(20ms);

    // No update feed here: no "检查更新…".
    EXPECT_EQ(visibleEntries(menu.menu()),
              (QStringList{"开始录制", "显示录制窗口", "打开…", "倒计时", "-", "打开输出文件夹",
                           "登录时启动", "-", "退出 Mirelo"}));
    // No desktop-wide shortcuts were given: none is shown, and no note either.
    EXPECT_TRUE(menu.startAction()->shortcut().isEmpty());
    EXPECT_FALSE(menu.shortcutNoteAction()->isVisible());
    // The countdown's choices, the one in force checked; a choice is kept.
    EXPECT_EQ(visibleEntries(menu.countdownMenu()), (QStringList{"关", "3 秒", "5 秒", "10 秒"}));
    EXPECT_TRUE(menu.countdownMenu()->actions()[0]->isChecked());
    menu.countdownMenu()->actions()[2]->trigger();
    EXPECT_EQ(state.countdownSeconds(), 5);
    state.setCountdownSeconds(0);
    EXPECT_TRUE(menu.countdownMenu()->actions()[0]->isChecked());
    EXPECT_FALSE(menu.countdownMenu()->actions()[2]->isChecked());
    EXPECT_EQ(menu.openFilesAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(menu.showRecorderAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));
    EXPECT_EQ(menu.quitAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    const QImage idle = menu.trayIcon()->icon().pixmap(24).toImage();

    // Without a tray (true here) the menu is reachable from the recorder window.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        QToolButton* button = state.recorderWindowController()->window()->header()->menuButton();
        EXPECT_FALSE(button->isHidden());
        EXPECT_EQ(button->menu(), menu.menu());
    }

    menu.startAction()->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return state.isRecording(); }, 3s));
    EXPECT_FALSE(menu.startAction()->isVisible());
    EXPECT_EQ(visibleEntries(menu.menu()).value(0), QStringLiteral("停止录制"));
    EXPECT_EQ(menu.stopAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_EQ(visibleEntries(menu.menu()).value(1), QStringLiteral("暂停录制"));
    EXPECT_EQ(menu.pauseAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    // Nothing opens while a recording runs.
    EXPECT_FALSE(menu.openFilesAction()->isEnabled());
    menu.pauseAction()->trigger();
    EXPECT_TRUE(state.isPaused());
    EXPECT_EQ(menu.pauseAction()->text(), QStringLiteral("继续录制"));
    menu.pauseAction()->trigger();
    EXPECT_FALSE(state.isPaused());
    EXPECT_EQ(menu.pauseAction()->text(), QStringLiteral("暂停录制"));
    EXPECT_NE(menu.trayIcon()->icon().pixmap(24).toImage(), idle);

    // "停止录制" stops the recording and opens the editor.
    backend->deliver(test::solidImage(16, 16, Qt::cyan), 4);
    menu.stopAction()->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return state.editor() != nullptr; }, 3s));
    EXPECT_FALSE(menu.stopAction()->isVisible());
    EXPECT_FALSE(menu.pauseAction()->isVisible());
    EXPECT_EQ(menu.trayIcon()->icon().pixmap(24).toImage(), idle);

    // "显示录制窗口" brings the recorder back next to the open editor.
    menu.showRecorderAction()->trigger();
    EXPECT_TRUE(state.recorderWindowController()->window()->isVisible());
    EXPECT_TRUE(state.editor()->window()->isVisible());
}

TEST(AppMenu, UpdateEntryOnlyWithAFeedAndAutostartEntryTogglesTheLoginEntry) {
    QTemporaryDir config;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    AppServices services;
    services.recorder =
        std::make_unique<ScreenRecorder>(std::make_shared<test::FakeCaptureBackend>(), [] {
            return std::vector<ScreenInfo>{{QStringLiteral("fake"), 1.0}};
        });
    services.alerts = std::make_shared<SilentAlerts>();
    AppState state(std::move(services));
    UpdateChecker updates(QUrl(QStringLiteral("https://example.com/appcast.xml")), "0.1.0");
    AppMenu menu(&state, &updates);
    EXPECT_TRUE(visibleEntries(menu.menu()).contains(QStringLiteral("检查更新…")));

    const QString entry = autostart::entryPath(QStringLiteral(MIRELO_APP_ID));
    EXPECT_TRUE(entry.startsWith(config.path()));
    EXPECT_FALSE(menu.autostartAction()->isChecked());
    menu.autostartAction()->trigger();
    EXPECT_TRUE(menu.autostartAction()->isChecked());
    EXPECT_TRUE(QFile::exists(entry));
    menu.autostartAction()->trigger();
    EXPECT_FALSE(menu.autostartAction()->isChecked());
    EXPECT_FALSE(QFile::exists(entry));
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST(AppMenu, DescribesUpdateResults) {
    UpdateCheckResult result;
    result.status = UpdateCheckResult::Status::notConfigured;
    EXPECT_EQ(AppMenu::describe(result, "0.1.0"),
              QStringLiteral("此版本没有设置更新地址,无法检查更新。"));
    result.status = UpdateCheckResult::Status::updateAvailable;
    result.latest.version = "0.2.0";
    EXPECT_TRUE(AppMenu::describe(result, "0.1.0").contains("0.2.0"));
}
