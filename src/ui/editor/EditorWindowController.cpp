#include "ui/editor/EditorWindowController.h"
#include "i18n/ModelTexts.h"

#include "editor/EditorState.h"
#include "editor/PictureChooser.h"
#include "export/ExportFormats.h"
#include "export/ExportModel.h"
#include "overlay/OverlayRenderer.h"
#include "ui/Theme.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/ExportAccessoryView.h"
#include "ui/editor/SaveDialogSize.h"
#include "ui/editor/SaveFailure.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <functional>

namespace mirelo {

namespace {

// The save dialog, with a last word on the typed name before it accepts it.
class SaveFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    std::function<void()> beforeAccept;

    void accept() override {
        if (beforeAccept) {
            beforeAccept();
        }
        QFileDialog::accept();
    }
};

}  // namespace

// The editor's top-level window: reports its closing to the controller.
class EditorWindow : public QWidget {
public:
    explicit EditorWindow(EditorWindowController* controller) : m_controller(controller) {}

    // 800 x 520, or more where the content needs more: never narrower than
    // the toolbar's commands side by side, however long their texts are.
    void fitMinimumSize() {
        const QSize least = layout() != nullptr ? layout()->minimumSize() : QSize();
        setMinimumSize(std::max(EditorWindowController::kMinimumWidth, least.width()),
                       std::max(EditorWindowController::kMinimumHeight, least.height()));
    }

protected:
    bool event(QEvent* event) override {
        const bool handled = QWidget::event(event);
        if (event->type() == QEvent::LayoutRequest) {
            fitMinimumSize();
        }
        return handled;
    }

    void closeEvent(QCloseEvent* event) override {
        if (m_controller && !m_controller->mayClose()) {
            event->ignore();
            return;
        }
        if (m_controller) {
            m_controller->windowWillClose();
        }
        event->accept();
    }

private:
    QPointer<EditorWindowController> m_controller;
};

namespace {

// Sticker pictures come from an open dialog over the editor window.
class DialogPictureChooser : public PictureChooser {
public:
    explicit DialogPictureChooser(QWidget* window) : m_window(window) {}
    QString choosePicture() override {
        return QFileDialog::getOpenFileName(
            m_window, QCoreApplication::translate("mirelo::EditorWindowController", "选择图片"),
            QDir::homePath(),
            QCoreApplication::translate("mirelo::EditorWindowController",
                                        "图片 (*.png *.jpg *.jpeg)"),
            nullptr, QFileDialog::DontUseNativeDialog);
    }

private:
    QPointer<QWidget> m_window;
};

}  // namespace

EditorWindowController::EditorWindowController(FrameList frames, QString outputFolder,
                                               QObject* parent)
    : QObject(parent),
      m_state(std::make_unique<EditorState>(std::move(frames))),
      m_outputFolder(std::move(outputFolder)) {
    auto* window = new EditorWindow(this);
    m_window = window;
    m_window->setWindowTitle(tr("Mirelo 编辑器"));
    m_window->resize(kWidth, kHeight);
    m_window->setAutoFillBackground(true);
    QPalette pal = m_window->palette();
    pal.setColor(QPalette::Window, Theme::paper());
    m_window->setPalette(pal);

    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new EditorView(m_state.get(), m_window);
    layout->addWidget(m_view);
    window->fitMinimumSize();
    connect(m_view, &EditorView::saveRequested, this, &EditorWindowController::save);
    connect(m_view, &EditorView::insertRequested, this,
            &EditorWindowController::chooseFilesToInsert);
    m_state->setPictureChooser(std::make_unique<DialogPictureChooser>(m_window));
    connect(m_state.get(), &EditorState::geometryStarted, this,
            &EditorWindowController::geometryStarted);
    connect(m_state.get(), &EditorState::geometryProgress, this,
            &EditorWindowController::geometryProgress);
    connect(m_state.get(), &EditorState::geometryFinished, this,
            &EditorWindowController::dismissGeometryProgress);
    // Once the history is full its oldest steps fall away: undoing all that is left then no
    // longer gives back the frames as they were opened.
    connect(m_state.get(), &EditorState::historyChanged, this,
            [this] { m_historyOverflowed |= m_state->undoCount() >= EditorState::kHistoryLimit; });

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        m_window->move(area.center() - QPoint(kWidth / 2, kHeight / 2));
    }
}

EditorWindowController::~EditorWindowController() {
    // The export model (and with it any running export) goes first: it
    // cancels its work, which removes its temporary file.
    delete m_model.data();
    delete m_window;
}

FrameSequence EditorWindowController::exportFrames(const FrameList& frames,
                                                   const QList<OverlayItem>& overlays) {
    std::vector<Image> images;
    std::vector<QUuid> ids;
    images.reserve(size_t(frames.size()));
    ids.reserve(size_t(frames.size()));
    for (const EditorFrame& frame : frames) {
        images.push_back(frame.image);
        ids.push_back(frame.id);
    }
    if (overlays.isEmpty()) {
        return FrameSequence::of(std::move(images));
    }
    auto shared = std::make_shared<const std::vector<Image>>(std::move(images));
    auto sharedIds = std::make_shared<const std::vector<QUuid>>(std::move(ids));
    const OverlayRenderer::FrameRenderer renderer(overlays);
    FrameSequence sequence;
    sequence.count = shared->size();
    // Key captions and click marks only on the frames they belong to.
    sequence.frame = [shared, sharedIds, renderer](size_t index) {
        return renderer.render((*shared)[index], (*sharedIds)[index]);
    };
    sequence.size = [shared](size_t index) { return (*shared)[index].size(); };
    return sequence;
}

QString EditorWindowController::proposedFileName(const QDateTime& now, ExportFormat format) {
    return QStringLiteral("Mirelo-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss")) +
           QLatin1Char('.') + extension(format);
}

QString EditorWindowController::renamedForFormat(const QString& name, ExportFormat format) {
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > slash ? name.left(dot) : name;
    return base + QLatin1Char('.') + extension(format);
}

std::optional<ExportFormat> EditorWindowController::formatOfFileName(const QString& name) {
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1) {
        return std::nullopt;  // no extension, or a name that only starts with a dot
    }
    return formatFromExtension(name.mid(dot + 1).toLower());
}

QString EditorWindowController::nameWithFormatExtension(const QString& name, ExportFormat format) {
    if (formatOfFileName(name) == format) {
        return name;
    }
    return name + QLatin1Char('.') + extension(format);
}

QString EditorWindowController::nameFilter(ExportFormat format) {
    switch (format) {
        case ExportFormat::gif:
            return tr("GIF 动画 (*.gif)");
        case ExportFormat::webp:
            return tr("WebP 动画 (*.webp)");
        case ExportFormat::mp4:
            return tr("MPEG-4 视频 (*.mp4)");
    }
    return {};
}

QFileDialog* EditorWindowController::saveDialog() const {
    return m_dialog;
}
ExportAccessoryView* EditorWindowController::accessory() const {
    return m_accessory;
}
ExportModel* EditorWindowController::exportModel() const {
    return m_model;
}
QProgressDialog* EditorWindowController::progressDialog() const {
    return m_progress;
}
QProgressDialog* EditorWindowController::geometryProgressDialog() const {
    return m_geometryProgress;
}
QMessageBox* EditorWindowController::errorAlert() const {
    return m_alert;
}
QMessageBox* EditorWindowController::discardQuestion() const {
    return m_discardQuestion;
}

bool EditorWindowController::isExporting() const {
    return m_model && m_model->isExporting();
}

void EditorWindowController::save() {
    if (m_dialog || isExporting() || m_closed || m_state->isTransforming()) {
        return;  // one save at a time
    }
    m_state->pause();

    std::vector<double> delays;
    delays.reserve(m_state->frames().size());
    for (const EditorFrame& frame : m_state->frames()) {
        delays.push_back(frame.delay);
    }

    delete m_model.data();
    m_model = new ExportModel(exportFrames(m_state->frames(), m_state->overlays()),
                              std::move(delays), this);
    connect(m_model, &ExportModel::formatChanged, this, &EditorWindowController::formatChanged);

    auto* dialog = new SaveFileDialog(m_window, tr("存储"));
    // Before the dialog takes the name (and asks about a file already there),
    // the name gets the extension of the format that will be written.
    dialog->beforeAccept = [this, dialog] {
        QLineEdit* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (m_model && edit && !edit->text().trimmed().isEmpty()) {
            const QString fixed =
                nameWithFormatExtension(edit->text().trimmed(), m_model->format());
            if (fixed != edit->text()) {
                edit->setText(fixed);
            }
        }
    };
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    const ExportFormat format = m_model->format();
    dialog->setNameFilter(nameFilter(format));
    dialog->setDefaultSuffix(extension(format));
    if (!m_outputFolder.isEmpty()) {
        QDir().mkpath(m_outputFolder);
        dialog->setDirectory(m_outputFolder);
    }
    dialog->selectFile(proposedFileName(QDateTime::currentDateTime(), format));
    if (QLineEdit* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        connect(edit, &QLineEdit::textEdited, this, &EditorWindowController::nameTyped);
    }

    // The options go under the dialog's own controls, across its width.
    m_accessory = new ExportAccessoryView(m_model, dialog);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        grid->addWidget(m_accessory, grid->rowCount(), 0, 1, grid->columnCount());
    }
    saveDialogSize::apply(dialog);
    m_dialog = dialog;
    connect(dialog, &QDialog::finished, this, &EditorWindowController::dialogFinished);
    dialog->open();
}

void EditorWindowController::formatChanged(ExportFormat format) {
    if (!m_dialog) {
        return;
    }
    auto* nameEdit = m_dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const QString current = nameEdit != nullptr ? nameEdit->text() : QStringLiteral("Mirelo");
    m_dialog->setNameFilter(nameFilter(format));
    m_dialog->setDefaultSuffix(extension(format));
    const QString renamed =
        renamedForFormat(current.isEmpty() ? QStringLiteral("Mirelo") : current, format);
    if (nameEdit != nullptr) {
        if (renamed != current) {  // a typed extension chose the format: keep the text
            nameEdit->setText(renamed);
        }
    } else {
        m_dialog->selectFile(renamed);
    }
}

void EditorWindowController::nameTyped(const QString& name) {
    const std::optional<ExportFormat> asked = formatOfFileName(name.trimmed());
    if (m_model && asked && *asked != m_model->format()) {
        m_model->setFormat(*asked);  // the options view and the filter follow
    }
}

void EditorWindowController::dialogFinished(int result) {
    if (m_dialog) {
        saveDialogSize::remember(m_dialog);
    }
    const QStringList files = m_dialog ? m_dialog->selectedFiles() : QStringList();
    m_dialog = nullptr;
    if (result != QDialog::Accepted || files.isEmpty() || files.first().isEmpty()) {
        // Cancelled: nothing written, the editor stays as it is (paused).
        delete m_model.data();
        return;
    }
    startExport(files.first());
}

void EditorWindowController::startExport(const QString& path) {
    if (!m_model) {
        return;
    }
    showExportProgress();
    connect(m_model, &ExportModel::exportProgress, this, [this](int done, int total) {
        // setValue() of a modal progress dialog runs the event loop, in which
        // the export may finish and the dialog go: set the value last.
        const QPointer<QProgressDialog> progress = m_progress;
        if (!progress || total <= 0) {
            return;
        }
        progress->setLabelText(tr("正在导出… %1 / %n 帧", nullptr, total).arg(done));
        progress->setRange(0, total);
        if (progress) {
            progress->setValue(std::min(done, total));
        }
    });
    QPointer<EditorWindowController> self(this);
    m_model->exportTo(path, [self, path](ExportStatus status) {
        if (self) {
            self->exportFinished(path, status);
        }
    });
}

void EditorWindowController::exportFinished(const QString& path, const ExportStatus& status) {
    dismissExportProgress();
    if (m_model) {
        m_model->deleteLater();
        m_model = nullptr;
    }
    if (!status) {
        m_mayDiscard = true;
        if (onSaved) {
            onSaved(path);
        }
        m_window->close();
        return;
    }
    if (status->isCancellation() || m_closed) {
        return;
    }
    auto* alert = new QMessageBox(QMessageBox::Critical, tr("保存失败"), tr("保存失败"),
                                  QMessageBox::Ok, m_window);
    // The error's own words, then why on the disk and where: the folder
    // that refused the file, or at least the file meant.
    alert->setInformativeText(i18n::describe(*status) + QStringLiteral("\n\n") +
                              describeSaveFailure(findWriteProblem(path), path));
    alert->setWindowModality(Qt::ApplicationModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    m_alert = alert;
    alert->open();
}

void EditorWindowController::showExportProgress() {
    dismissExportProgress();
    auto* progress = new QProgressDialog(m_window);
    progress->setWindowTitle(QStringLiteral("Mirelo"));
    progress->setLabelText(tr("正在导出…"));
    progress->setCancelButtonText(tr("取消"));
    progress->setRange(0, 0);  // indeterminate until the encoder reports
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumWidth(260);
    m_progress = progress;
    // "取消" and the close box both stop the export at its next frame; the
    // sheet goes at once and the editor keeps every edit.
    connect(progress, &QProgressDialog::canceled, this, &EditorWindowController::cancelExport);
    progress->show();
}

void EditorWindowController::cancelExport() {
    dismissExportProgress();
    if (m_model) {
        m_model->cancelExport();
    }
}

void EditorWindowController::dismissExportProgress() {
    if (m_progress) {
        QProgressDialog* progress = m_progress;
        m_progress = nullptr;
        progress->disconnect(this);
        progress->close();
        progress->deleteLater();
    }
}

namespace {

QString geometryText(EditorState::GeometryOperation operation) {
    switch (operation) {
        case EditorState::GeometryOperation::crop:
            return QCoreApplication::translate("mirelo::EditorWindowController", "正在裁剪…");
        case EditorState::GeometryOperation::resize:
            return QCoreApplication::translate("mirelo::EditorWindowController", "正在调整大小…");
        case EditorState::GeometryOperation::rotate:
            return QCoreApplication::translate("mirelo::EditorWindowController", "正在旋转…");
        case EditorState::GeometryOperation::flip:
            return QCoreApplication::translate("mirelo::EditorWindowController", "正在翻转…");
    }
    return {};
}

}  // namespace

void EditorWindowController::geometryStarted(int total) {
    dismissGeometryProgress();
    // No edit may reach the frames while their new images are being made.
    m_view->setEnabled(false);
    auto* progress = new QProgressDialog(m_window);
    progress->setWindowTitle(QStringLiteral("Mirelo"));
    progress->setLabelText(geometryText(m_state->geometryOperation()));
    progress->setCancelButtonText(tr("取消"));
    progress->setRange(0, std::max(total, 1));
    // Short work ends before the sheet would show: it appears only after half a second.
    progress->setMinimumDuration(500);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumWidth(260);
    m_geometryProgress = progress;
    connect(progress, &QProgressDialog::canceled, m_state.get(), &EditorState::cancelGeometry);
}

void EditorWindowController::geometryProgress(int done, int total) {
    // setValue() of a modal progress dialog runs the event loop, in which the work may end and
    // the sheet go: set the value last.
    const QPointer<QProgressDialog> progress = m_geometryProgress;
    if (!progress || total <= 0) {
        return;
    }
    progress->setLabelText(tr("%1 %2 / %n 帧", nullptr, total)
                               .arg(geometryText(m_state->geometryOperation()))
                               .arg(done));
    if (progress) {
        progress->setValue(std::min(done, total));
    }
}

void EditorWindowController::dismissGeometryProgress() {
    m_view->setEnabled(true);
    if (m_geometryProgress) {
        QProgressDialog* progress = m_geometryProgress;
        m_geometryProgress = nullptr;
        progress->disconnect(this);
        progress->disconnect(m_state.get());
        progress->close();
        progress->deleteLater();
    }
}

bool EditorWindowController::mayClose() {
    if (m_mayDiscard || m_closed) {
        return true;
    }
    if (m_openedFromFiles && !m_state->canUndo() && !m_historyOverflowed) {
        return true;  // nothing but what the files hold, and they are still there
    }
    if (m_discardQuestion) {
        m_discardQuestion->raise();
        return false;
    }
    auto* question =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Mirelo"),
                        m_openedFromFiles ? tr("放弃所做的修改？") : tr("放弃这段录制？"),
                        QMessageBox::NoButton, m_window);
    question->setInformativeText(m_openedFromFiles
                                     ? tr("打开的文件不会改变，但所做的修改关闭后将无法找回。")
                                     : tr("这段录制还没有存储，关闭后将无法找回。"));
    QPushButton* discard = question->addButton(tr("放弃"), QMessageBox::DestructiveRole);
    QPushButton* cancel = question->addButton(tr("取消"), QMessageBox::RejectRole);
    question->setDefaultButton(cancel);
    question->setEscapeButton(cancel);
    question->setWindowModality(Qt::WindowModal);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::buttonClicked, this, [this, discard](QAbstractButton* button) {
        if (button != discard) {
            return;
        }
        m_mayDiscard = true;
        // After the question has gone: closing from inside its click would
        // tear down its parent under it.
        QMetaObject::invokeMethod(
            this, [this] { m_window->close(); }, Qt::QueuedConnection);
    });
    m_discardQuestion = question;
    question->open();
    return false;
}

void EditorWindowController::windowWillClose() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    m_state->pause();
    m_state->cancelGeometry();
    // Closing ends the save flow: an open dialog goes, a running export is
    // cancelled (the model leaves no partial file behind).
    if (m_dialog) {
        m_dialog->disconnect(this);
        m_dialog->close();
        m_dialog = nullptr;
    }
    dismissExportProgress();
    delete m_model.data();
    if (onClosed) {
        onClosed();
    }
}

}  // namespace mirelo
