#pragma once

#include "capture/RecordingStore.h"
#include "editor/EditorFrame.h"
#include "export/ExportTypes.h"
#include "export/FrameSequence.h"
#include "overlay/OverlayItem.h"
#include "ui/open/FileOpener.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QFileDialog;
class QMessageBox;
class QProgressDialog;
class QWidget;

namespace mirelo {

class EditorState;
class EditorView;
class ExportAccessoryView;
class ExportModel;

// One editor: its model, its window ("Mirelo 编辑器") and the save flow.
// The owner creates it with the recorded frames, shows window(), and hears
// back through onSaved (a file was written) and onClosed (the window is
// closing). Main thread only.
//
// Saving: playback pauses and a save dialog opens in the output folder with the export options
// inside it; the overlays are drawn into each frame only as the encoder asks for it. After OK the
// export runs off the main thread behind a "正在导出…" sheet; success reports the file and closes
// the editor, failure shows "保存失败" with the reason and leaves the editor exactly as it was.
// "取消" in the progress sheet (or its close box) cancels the export at its next frame and keeps
// the editor as it was; closing the window during an export cancels it too. No partial file is
// left either way.
//
// Geometry operations (crop, resize, rotate, mirror) make their frames off the main thread:
// meanwhile the editor takes no input, and work that lasts past half a second shows a sheet
// ("正在调整大小… 120 / 1800 帧") whose "取消" (or close box) drops the work and keeps the
// recording as it was. Closing the window cancels it too.
//
// The recording exists nowhere but in this editor, so closing the window
// before it was saved asks first ("放弃这段录制？" with 放弃 / 取消, over the
// window); 取消 keeps the editor as it is. The close that follows a
// successful save does not ask.
class EditorWindowController : public QObject {
    Q_OBJECT

public:
    static constexpr int kWidth = 1000;
    static constexpr int kHeight = 640;
    static constexpr int kMinimumWidth = 800;
    static constexpr int kMinimumHeight = 520;

    // `outputFolder` is where the save dialog opens.
    EditorWindowController(FrameList frames, QString outputFolder, QObject* parent = nullptr);
    ~EditorWindowController() override;

    EditorState* state() const { return m_state.get(); }
    QWidget* window() const { return m_window; }
    EditorView* view() const { return m_view; }

    std::function<void(const QString& path)> onSaved;
    std::function<void()> onClosed;

    // The save flow (the toolbar's save command).
    void save();

    // "插入…": asks for files, then inserts their frames (insertFiles()).
    void chooseFilesToInsert();
    // Reads the files' frames off the main thread (a sheet with 取消 after half a second) and
    // inserts them after the current frame, each fitted into the recording's size, centred on
    // black: one undo step. A file that cannot be read gives one alert naming it; the
    // recording and its history stay as they were.
    void insertFiles(const QStringList& paths);
    // The frames were opened from files rather than recorded: the files stay as they are, so
    // closing asks only when something was changed, and then about the changes
    // ("放弃所做的修改？"), never about losing a recording.
    void setOpenedFromFiles(bool opened) { m_openedFromFiles = opened; }
    bool openedFromFiles() const { return m_openedFromFiles; }

    // Where inserted frames are kept (the recordings' cache folder by default).
    void setInsertStoreOptions(StoreOptions options) { m_insertStore = std::move(options); }
    // The insertion under way, for tests; null when none is.
    FileOpener* inserting() const { return m_inserting; }

    // What an export of `frames` with `overlays` reads: the frames as they
    // are now (later edits cannot reach the export), each drawn with the
    // overlays only when the encoder asks for it.
    static FrameSequence exportFrames(const FrameList& frames, const QList<OverlayItem>& overlays);

    // "Mirelo-20250305-090703.gif": the local time `now` and the format's
    // extension.
    static QString proposedFileName(const QDateTime& now, ExportFormat format);
    // A file name with its extension replaced by the format's: "clip.gif"
    // becomes "clip.webp", "a.b.gif" "a.b.webp", and a bare "clip" gains the
    // extension.
    static QString renamedForFormat(const QString& name, ExportFormat format);
    // The format a typed file name asks for by its extension ("x.MP4" asks
    // for MP4), or none for another or no extension.
    static std::optional<ExportFormat> formatOfFileName(const QString& name);
    // The name to save under: kept when its extension is the format's (in any
    // case), otherwise with the format's extension added, so that a name
    // never promises another format than the file holds.
    static QString nameWithFormatExtension(const QString& name, ExportFormat format);
    // The dialog's type filter for a format, e.g. "GIF 动画 (*.gif)".
    static QString nameFilter(ExportFormat format);

    // --- The flow's parts while they are shown (null otherwise), for tests --
    QFileDialog* saveDialog() const;
    ExportAccessoryView* accessory() const;
    ExportModel* exportModel() const;
    QProgressDialog* progressDialog() const;
    // The sheet of a running geometry operation (hidden for its first half second).
    QProgressDialog* geometryProgressDialog() const;
    QMessageBox* errorAlert() const;
    // The question shown when closing an unsaved recording (or unsaved changes to opened
    // files), while it is open.
    QMessageBox* discardQuestion() const;
    bool isExporting() const;

private:
    friend class EditorWindow;

    void dialogFinished(int result);
    void startExport(const QString& path);
    void exportFinished(const QString& path, const ExportStatus& status);
    void showExportProgress();
    void cancelExport();
    void dismissExportProgress();
    void formatChanged(ExportFormat format);
    // The user typed a name in the dialog: its extension picks the format.
    void nameTyped(const QString& name);
    void geometryStarted(int total);
    void geometryProgress(int done, int total);
    void dismissGeometryProgress();
    // Whether the window may close now; asks first (and answers false) when
    // the recording would be lost.
    bool mayClose();
    // The window is closing: stop playback and any export, tell the owner.
    void windowWillClose();

    std::unique_ptr<EditorState> m_state;
    QWidget* m_window = nullptr;  // owned; deleted with the controller
    EditorView* m_view = nullptr;
    QString m_outputFolder;
    QPointer<QFileDialog> m_dialog;
    QPointer<ExportAccessoryView> m_accessory;
    QPointer<ExportModel> m_model;
    QPointer<QProgressDialog> m_progress;
    QPointer<QProgressDialog> m_geometryProgress;
    QPointer<QMessageBox> m_alert;
    QPointer<FileOpener> m_inserting;
    StoreOptions m_insertStore;
    QPointer<QMessageBox> m_discardQuestion;
    bool m_closed = false;
    // The recording was saved, or the user chose to let it go: closing no
    // longer asks.
    bool m_mayDiscard = false;
    bool m_openedFromFiles = false;
    bool m_historyOverflowed = false;  // some edits can no longer be undone
};

}  // namespace mirelo
