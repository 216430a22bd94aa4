#include "app/AppMenu.h"

#include "MireloIdentity.h"
#include "app/AppState.h"
#include "platform/Autostart.h"
#include "platform/DesktopIntegration.h"
#include "platform/GlobalShortcuts.h"
#include "platform/UpdateChecker.h"
#include "ui/Icons.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QActionGroup>
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

    m_start = m_menu->addAction(tr("开始录制"));
    connect(m_start, &QAction::triggered, this, [this] {
        if (m_state && !m_state->isRecording()) {
            m_state->toggleRecording();
        }
    });

    m_stop = m_menu->addAction(tr("停止录制"));
    m_stop->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(m_stop, &QAction::triggered, this, [this] {
        if (m_state && m_state->isRecording()) {
            m_state->toggleRecording();
        }
    });

    m_pause = m_menu->addAction(tr("暂停录制"));
    m_pause->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(m_pause, &QAction::triggered, this, [this] {
        if (m_state) {
            m_state->togglePause();
        }
    });

    m_shortcutNote = m_menu->addAction(QString());
    m_shortcutNote->setEnabled(false);

    m_showRecorder = m_menu->addAction(tr("显示录制窗口"));
    m_showRecorder->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(m_showRecorder, &QAction::triggered, this, [this] {
        if (m_state) {
            m_state->showRecorderWindow();
        }
    });

    m_openFiles = m_menu->addAction(tr("打开…"));
    m_openFiles->setShortcut(QKeySequence::Open);
    connect(m_openFiles, &QAction::triggered, this, [this] {
        if (m_state) {
            m_state->chooseFilesToOpen();
        }
    });
    addCountdownMenu();

    m_menu->addSeparator();

    m_openFolder = m_menu->addAction(tr("打开输出文件夹"));
    connect(m_openFolder, &QAction::triggered, this,
            [] { desktop::openFolder(AppState::outputFolder()); });

    m_autostart = m_menu->addAction(tr("登录时启动"));
    m_autostart->setCheckable(true);
    m_autostart->setChecked(autostart::isEnabled(QStringLiteral(MIRELO_APP_ID)));
    connect(m_autostart, &QAction::triggered, this, &AppMenu::setAutostart);
    connect(m_menu, &QMenu::aboutToShow, this, [this] {
        m_autostart->setChecked(autostart::isEnabled(QStringLiteral(MIRELO_APP_ID)));
    });

    m_checkUpdates = m_menu->addAction(tr("检查更新…"));
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

    m_quit = m_menu->addAction(tr("退出 Mirelo"));
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
        connect(m_state, &AppState::isStartingRecordingChanged, this, &AppMenu::refresh);
        if (GlobalShortcuts* shortcuts = m_state->globalShortcuts()) {
            connect(shortcuts, &GlobalShortcuts::stateChanged, this, &AppMenu::refresh);
        }
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
    m_pause->setText(paused ? tr("继续录制") : tr("暂停录制"));
    m_pause->setVisible(recording);
    m_pause->setEnabled(recording);
    m_start->setVisible(!recording);
    m_start->setEnabled(!recording && !(m_state && m_state->isStartingRecording()));

    // The desktop-wide keys, shown at the entries they work for; where there
    // are none, a line says why.
    using Action = GlobalShortcuts::Action;
    using State = GlobalShortcuts::State;
    GlobalShortcuts* shortcuts = m_state ? m_state->globalShortcuts() : nullptr;
    const bool startKey = shortcuts && shortcuts->isActive(Action::toggleRecording);
    m_start->setShortcut(startKey ? QKeySequence(GlobalShortcuts::keys(Action::toggleRecording))
                                  : QKeySequence());
    QString note;
    if (shortcuts && shortcuts->state() == State::heldElsewhere) {
        note = tr("全局快捷键已被其他程序占用");
    } else if (shortcuts && shortcuts->state() == State::notOffered) {
        note = tr("桌面不提供全局快捷键");
    }
    m_shortcutNote->setText(note);
    m_shortcutNote->setVisible(!note.isEmpty());
    m_openFiles->setEnabled(!recording);
    m_tray->setIcon(recording ? Icons::trayRecording() : Icons::trayIdle());
}

void AppMenu::addCountdownMenu() {
    m_countdown = m_menu->addMenu(tr("倒计时"));
    auto* group = new QActionGroup(m_countdown);
    for (int seconds : {0, 3, 5, 10}) {
        QAction* action =
            m_countdown->addAction(seconds == 0 ? tr("关") : tr("%1 秒").arg(seconds));
        action->setCheckable(true);
        action->setData(seconds);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, seconds] {
            if (m_state) {
                m_state->setCountdownSeconds(seconds);
            }
        });
    }
    auto check = [group](int seconds) {
        for (QAction* action : group->actions()) {
            action->setChecked(action->data().toInt() == seconds);
        }
    };
    if (m_state) {
        check(m_state->countdownSeconds());
        connect(m_state, &AppState::countdownSecondsChanged, this, check);
    }
}

void AppMenu::setAutostart(bool enabled) {
    const QString id = QStringLiteral(MIRELO_APP_ID);
    const std::optional<QString> error =
        autostart::setEnabled(id, enabled, QCoreApplication::applicationFilePath());
    m_autostart->setChecked(autostart::isEnabled(id));
    if (error) {
        QMessageBox box(QMessageBox::Warning, tr("登录时启动"),
                        tr("无法更改登录时启动:%1").arg(*error));
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
    }
}

QString AppMenu::describe(const UpdateCheckResult& result, const QString& currentVersion) {
    using Status = UpdateCheckResult::Status;
    switch (result.status) {
        case Status::notConfigured:
            return tr("此版本没有设置更新地址,无法检查更新。");
        case Status::upToDate:
            return tr("Mirelo %1 已是最新版本。").arg(currentVersion);
        case Status::updateAvailable:
            return tr("有新版本 Mirelo %1 可用(当前版本 %2)。")
                .arg(result.latest.version, currentVersion);
        case Status::failed:
            return tr("检查更新失败:%1").arg(result.error);
    }
    return {};
}

void AppMenu::showUpdateResult(const UpdateCheckResult& result) {
    const QString version = QCoreApplication::applicationVersion();
    QMessageBox box(QMessageBox::Information, tr("检查更新"), describe(result, version));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QPushButton* download = nullptr;
    // Only web links from the feed are opened, never local files or other
    // schemes a forged feed might name.
    const QString scheme = result.latest.link.scheme();
    if (result.status == UpdateCheckResult::Status::updateAvailable &&
        result.latest.link.isValid() &&
        (scheme == QLatin1String("https") || scheme == QLatin1String("http"))) {
        download = box.addButton(tr("下载"), QMessageBox::AcceptRole);
    }
    QPushButton* ok = box.addButton(tr("好"), QMessageBox::RejectRole);
    box.setDefaultButton(download ? download : ok);
    box.exec();
    if (download && box.clickedButton() == download) {
        QDesktopServices::openUrl(result.latest.link);
    }
}

}  // namespace mirelo
