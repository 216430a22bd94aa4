#pragma once

#include <QString>

namespace mirelo {

// The session's alerts, behind an interface so that the flows can be tested
// without showing a dialog. Implementations show a modal alert and return
// once it is closed.
class AlertPresenter {
public:
    enum class Response {
        ok,            // "好", or the alert was dismissed
        openSettings,  // "打开系统设置"
    };

    virtual ~AlertPresenter() = default;

    // The recording error alert "Mirelo 出错了" with `description` as its
    // informative text, the button "好" and, when `offerSettings`, a second
    // button "打开系统设置".
    virtual Response showRecordingError(const QString& description, bool offerSettings) = 0;

    // Says, before a recording starts, how it will be stopped when no stop
    // button can show (`text`). With `canStart` the user may start or
    // cancel, and the answer is whether to start; without it the alert only
    // explains why the recording cannot start, and the answer is false.
    virtual bool showStopNotice(const QString& text, bool canStart) {
        (void)text;
        return canStart;
    }

    // Says, before a recording starts, that only part of the frame will be
    // recorded (`text` says which); the answer is whether to start.
    virtual bool confirmPartialRecording(const QString& text) {
        (void)text;
        return true;
    }

    // Says where a saved file is, when no file manager could show it.
    virtual void showFileLocation(const QString& path) { (void)path; }

    enum class RestoreAnswer {
        restore,  // "恢复", the default button
        discard,  // "丢弃"
        later,    // the alert was dismissed: ask again at the next start
    };
    // "恢复上次的录制？" with `details` as informative text.
    virtual RestoreAnswer askRestoreRecording(const QString& details) {
        (void)details;
        return RestoreAnswer::later;
    }

    enum class DamagedAnswer {
        openFolder,  // "打开文件夹": the folder is shown and kept
        remove,      // "删除"
        later,       // the alert was dismissed: ask again at the next start
    };
    // "上次的录制已损坏，无法恢复" with `details` as informative text, for a recording of which
    // nothing can be read: the user decides what becomes of its folder.
    virtual DamagedAnswer askDamagedRecording(const QString& details) {
        (void)details;
        return DamagedAnswer::later;
    }

    // A notice with the button "好" (frames dropped or lost, for example).
    virtual void showNotice(const QString& text) { (void)text; }

    // Asked before a new recording starts while an editor holds a recording
    // not saved yet; the answer is whether to start.
    virtual bool askStartWhileEditing() { return true; }
};

// The alerts as modal warning message boxes.
class MessageBoxAlerts : public AlertPresenter {
public:
    Response showRecordingError(const QString& description, bool offerSettings) override;
    bool showStopNotice(const QString& text, bool canStart) override;
    bool confirmPartialRecording(const QString& text) override;
    void showFileLocation(const QString& path) override;

    RestoreAnswer askRestoreRecording(const QString& details) override;
    DamagedAnswer askDamagedRecording(const QString& details) override;
    void showNotice(const QString& text) override;
    bool askStartWhileEditing() override;
};

}  // namespace mirelo
