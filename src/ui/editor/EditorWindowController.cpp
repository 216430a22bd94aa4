#include "ui/editor/EditorWindowController.h"

#include "editor/EditorState.h"
#include "editor/PictureChooser.h"
#include "export/ExportFormats.h"
#include "export/ExportModel.h"
#include "overlay/OverlayRenderer.h"
#include "ui/Theme.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/ExportAccessoryView.h"

#include <QCloseEvent>
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

namespace mirelo {

// The editor's top-level window: reports its closing to the controller.
class EditorWindow : public QWidget {
public:
    explicit EditorWindow(EditorWindowController* controller) : m_controller(controller) {}

protected:
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
        return QFileDialog::getOpenFileName(m_window, QStringLiteral("选择图片"), QDir::homePath(),
                                            QStringLiteral("图片 (*.png *.jpg *.jpeg)"), nullptr,
                                            QFileDialog::DontUseNativeDialog);
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
    m_window = new EditorWindow(this);
    m_window->setWindowTitle(QStringLiteral("Mirelo 编辑器"));
    m_window->resize(kWidth, kHeight);
    m_window->setMinimumSize(kMinimumWidth, kMinimumHeight);
    m_window->setAutoFillBackground(true);
    QPalette pal = m_window->palette();
    pal.setColor(QPalette::Window, Theme::paper());
    m_window->setPalette(pal);

    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new EditorView(m_state.get(), m_window);
    layout->addWidget(m_view);
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
    images.reserve(size_t(frames.size()));
    for (const EditorFrame& frame : frames) {
        images.push_back(frame.image);
    }
    if (overlays.isEmpty()) {
        return FrameSequence::of(std::move(images));
    }
    auto shared = std::make_shared<const std::vector<Image>>(std::move(images));
    const OverlayRenderer::FrameRenderer renderer(overlays);
    FrameSequence sequence;
    sequence.count = shared->size();
    sequence.frame = [shared, renderer](size_t index) { return renderer.render((*shared)[index]); };
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

QString EditorWindowController::nameFilter(ExportFormat format) {
    switch (format) {
        case ExportFormat::gif:
            return QStringLiteral("GIF 动画 (*.gif)");
        case ExportFormat::webp:
            return QStringLiteral("WebP 动画 (*.webp)");
        case ExportFormat::mp4:
            return QStringLiteral("MPEG-4 视频 (*.mp4)");
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

    auto* dialog = new QFileDialog(m_window, QStringLiteral("存储"));
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

    // The options go under the dialog's own controls, across its width.
    m_accessory = new ExportAccessoryView(m_model, dialog);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        grid->addWidget(m_accessory, grid->rowCount(), 0, 1, grid->columnCount());
    }
    dialog->resize(720, 600);
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
        nameEdit->setText(renamed);
    } else {
        m_dialog->selectFile(renamed);
    }
}

void EditorWindowController::dialogFinished(int result) {
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
        progress->setLabelText(QStringLiteral("正在导出… %1 / %2 帧").arg(done).arg(total));
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
    auto* alert = new QMessageBox(QMessageBox::Critical, QStringLiteral("保存失败"),
                                  QStringLiteral("保存失败"), QMessageBox::Ok, m_window);
    alert->setInformativeText(status->message);
    alert->setWindowModality(Qt::ApplicationModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    m_alert = alert;
    alert->open();
}

void EditorWindowController::showExportProgress() {
    dismissExportProgress();
    auto* progress = new QProgressDialog(m_window);
    progress->setWindowTitle(QStringLiteral("Mirelo"));
    progress->setLabelText(QStringLiteral("正在导出…"));
    progress->setCancelButtonText(QStringLiteral("取消"));
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
            return QStringLiteral("正在裁剪…");
        case EditorState::GeometryOperation::resize:
            return QStringLiteral("正在调整大小…");
        case EditorState::GeometryOperation::rotate:
            return QStringLiteral("正在旋转…");
        case EditorState::GeometryOperation::flip:
            return QStringLiteral("正在翻转…");
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
    progress->setCancelButtonText(QStringLiteral("取消"));
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
    progress->setLabelText(QStringLiteral("%1 %2 / %3 帧")
                               .arg(geometryText(m_state->geometryOperation()))
                               .arg(done)
                               .arg(total));
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
    if (m_discardQuestion) {
        m_discardQuestion->raise();
        return false;
    }
    auto* question =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Mirelo"),
                        QStringLiteral("放弃这段录制？"), QMessageBox::NoButton, m_window);
    question->setInformativeText(QStringLiteral("这段录制还没有存储，关闭后将无法找回。"));
    QPushButton* discard =
        question->addButton(QStringLiteral("放弃"), QMessageBox::DestructiveRole);
    QPushButton* cancel = question->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
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
