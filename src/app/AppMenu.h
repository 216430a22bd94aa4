#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace mirelo {

class AppState;
class UpdateChecker;
struct UpdateCheckResult;

// The application's menu: in the system tray when the desktop has one, and
// always reachable from the recorder window, whose header shows a menu
// button when there is no tray. Its entries follow the session:
// "停止录制" and "暂停录制"/"继续录制" only while a recording runs; the tray icon shows the state.
// "检查更新…" is there only when the build names an update feed.
class AppMenu : public QObject {
    Q_OBJECT

public:
    AppMenu(AppState* state, UpdateChecker* updates, QObject* parent = nullptr);
    ~AppMenu() override;

    QMenu* menu() const { return m_menu; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }

    // "开始录制", shown while idle, with the desktop-wide shortcut when it works.
    QAction* startAction() const { return m_start; }
    // Why there is no desktop-wide shortcut, when there is none (disabled).
    QAction* shortcutNoteAction() const { return m_shortcutNote; }
    QAction* stopAction() const { return m_stop; }
    // "暂停录制" / "继续录制" (Ctrl+P), shown only while recording.
    QAction* pauseAction() const { return m_pause; }
    QAction* showRecorderAction() const { return m_showRecorder; }
    // "打开…" (Ctrl+O): files to open in a new editor; off while recording.
    QAction* openFilesAction() const { return m_openFiles; }
    QAction* openFolderAction() const { return m_openFolder; }
    QAction* autostartAction() const { return m_autostart; }
    QAction* checkUpdatesAction() const { return m_checkUpdates; }
    QAction* quitAction() const { return m_quit; }
    // "倒计时": 关 / 3 秒 / 5 秒 / 10 秒, one of them checked.
    QMenu* countdownMenu() const { return m_countdown; }

    // Makes the shortcuts of the entries work while `window` has the focus.
    void addShortcutsTo(QWidget* window);

    // The text of the dialog that reports an update check.
    static QString describe(const UpdateCheckResult& result, const QString& currentVersion);

private:
    void refresh();
    void showUpdateResult(const UpdateCheckResult& result);
    void setAutostart(bool enabled);
    void addCountdownMenu();

    QPointer<AppState> m_state;
    UpdateChecker* m_updates = nullptr;
    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QAction* m_start = nullptr;
    QAction* m_shortcutNote = nullptr;
    QAction* m_stop = nullptr;
    QAction* m_pause = nullptr;
    QAction* m_showRecorder = nullptr;
    QAction* m_openFiles = nullptr;
    QAction* m_openFolder = nullptr;
    QAction* m_autostart = nullptr;
    QAction* m_checkUpdates = nullptr;
    QAction* m_quit = nullptr;
    QMenu* m_countdown = nullptr;
};

}  // namespace mirelo
