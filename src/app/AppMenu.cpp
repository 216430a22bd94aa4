#include "app/AppMenu.h"

#include "MireloIdentity.h"
#include "app/AppState.h"
#include "platform/Autostart.h"
#include "platform/DesktopIntegration.h"
#include "platform/UpdateChecker.h"
#include "ui/Icons.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>

namespace mirelo {

AppMenu::AppMenu(AppState* state, UpdateChecker* updates, QObject* parent)
    : QObject(parent), m_state(state), m_updates(updates), m_menu(new QMenu) {
    m_menu->setTitle(QStringLiteral("Mirelo"));

    m_stop = m_menu->addAction(QStringLiteral("停止录制"));
    m_stop->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(m_stop, &QAction::triggered, this, [this] {
        if (m_state && m_state->isRecording()) {
            m_state->toggleRecording();
        }
    });

    m_pause = m_menu->addAction(QStringLiteral("暂停录制"));
    m_pause->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(m_pause, &QAction::triggered, this, [this] {
        if (m_state) {
            m_state->togglePause();
        }
    });

    m_showRecorder = m_menu->addAction(QStringLiteral("显示录制窗口"));
    m_showRecorder->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(m_showRecorder, &QAction::triggered, this, [this] {
        if (m_state) {
            m_state->showRecorderWindow();
        }
    });

    m_openFiles = m_menu->addAction(QCoreApplication::translate("AppMenu", "打开…"));
    m_openFiles->setShortcut(QKeySequence::Open);
    connect(m_openFiles, &QAction::triggered, this, [this] {
        if (m_state) {
            m_state->chooseFilesToOpen();
        }
    });

    m_menu->addSeparator();

    m_openFolder = m_menu->addAction(QStringLiteral("打开输出文件夹"));
    connect(m_openFolder, &QAction::triggered, this,
            [] { desktop::openFolder(AppState::outputFolder()); });

    m_autostart = m_menu->addAction(QStringLiteral("登录时启动"));
    m_autostart->setCheckable(true);
    m_autostart->setChecked(autostart::isEnabled(QStringLiteral(MIRELO_APP_ID)));
    connect(m_autostart, &QAction::triggered, this, &AppMenu::setAutostart);
    connect(m_menu, &QMenu::aboutToShow, this, [this] {
        m_autostart->setChecked(autostart::isEnabled(QStringLiteral(MIRELO_APP_ID)));
    });

    m_checkUpdates = m_menu->addAction(QStringLiteral("检查更新…"));
    m_checkUpdates->setVisible(m_updates && m_updates->isConfigured());
    connect(m_checkUpdates, &QAction::triggered, this, [this] {
        if (m_updates) {
            m_updates->checkNow();
        }
    });
    if (m_updates) {
        connect(m_updates, &UpdateChecker::finished, this, &AppMenu::showUpdateResult);
    }

    m_menu->addSeparator();

    m_quit = m_menu->addAction(QStringLiteral("退出 Mirelo"));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(m_quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    m_tray = new QSystemTrayIcon(this);
    m_tray->setToolTip(QStringLiteral("Mirelo"));
    m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) {
            m_menu->popup(QCursor::pos());
        }
    });

    if (m_state) {
        connect(m_state, &AppState::isRecordingChanged, this, &AppMenu::refresh);
        connect(m_state, &AppState::isPausedChanged, this, &AppMenu::refresh);
        RecorderWindowController* recorder = m_state->recorderWindowController();
        if (!QSystemTrayIcon::isSystemTrayAvailable()) {
            recorder->setAppMenu(m_menu);
        } else {
            m_state->setTrayMenuAvailable(true);
        }
    }
    refresh();
    m_tray->show();
}

AppMenu::~AppMenu() {
    delete m_menu;
}

void AppMenu::addShortcutsTo(QWidget* window) {
    for (QAction* action : {m_stop, m_pause, m_showRecorder, m_openFiles, m_quit}) {
        window->addAction(action);
    }
}

void AppMenu::refresh() {
    const bool recording = m_state && m_state->isRecording();
    m_stop->setVisible(recording);
    m_stop->setEnabled(recording);
    const bool paused = m_state && m_state->isPaused();
    m_pause->setText(paused ? QStringLiteral("继续录制") : QStringLiteral("暂停录制"));
    m_pause->setVisible(recording);
    m_pause->setEnabled(recording);
    m_openFiles->setEnabled(!recording);
    m_tray->setIcon(recording ? Icons::trayRecording() : Icons::trayIdle());
}

void AppMenu::setAutostart(bool enabled) {
    const QString id = QStringLiteral(MIRELO_APP_ID);
    const std::optional<QString> error =
        autostart::setEnabled(id, enabled, QCoreApplication::applicationFilePath());
    m_autostart->setChecked(autostart::isEnabled(id));
    if (error) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("登录时启动"),
                        QStringLiteral("无法更改登录时启动:%1").arg(*error));
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
    }
}

QString AppMenu::describe(const UpdateCheckResult& result, const QString& currentVersion) {
    using Status = UpdateCheckResult::Status;
    switch (result.status) {
        case Status::notConfigured:
            return QStringLiteral("此版本没有设置更新地址,无法检查更新。");
        case Status::upToDate:
            return QStringLiteral("Mirelo %1 已是最新版本。").arg(currentVersion);
        case Status::updateAvailable:
            return QStringLiteral("有新版本 Mirelo %1 可用(当前版本 %2)。")
                .arg(result.latest.version, currentVersion);
        case Status::failed:
            return QStringLiteral("检查更新失败:%1").arg(result.error);
    }
    return {};
}

void AppMenu::showUpdateResult(const UpdateCheckResult& result) {
    const QString version = QCoreApplication::applicationVersion();
    QMessageBox box(QMessageBox::Information, QStringLiteral("检查更新"),
                    describe(result, version));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QPushButton* download = nullptr;
    // Only web links from the feed are opened, never local files or other
    // schemes a forged feed might name.
    const QString scheme = result.latest.link.scheme();
    if (result.status == UpdateCheckResult::Status::updateAvailable &&
        result.latest.link.isValid() &&
        (scheme == QLatin1String("https") || scheme == QLatin1String("http"))) {
        download = box.addButton(QStringLiteral("下载"), QMessageBox::AcceptRole);
    }
    QPushButton* ok = box.addButton(QStringLiteral("好"), QMessageBox::RejectRole);
    box.setDefaultButton(download ? download : ok);
    box.exec();
    if (download && box.clickedButton() == download) {
        QDesktopServices::openUrl(result.latest.link);
    }
}

}  // namespace mirelo
