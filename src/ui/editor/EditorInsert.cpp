// "插入…": another file's frames inserted after the current frame.
#include "editor/EditorState.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/open/FileOpener.h"
#include "ui/open/OpenErrorText.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>

namespace mirelo {

void EditorWindowController::chooseFilesToInsert() {
    if (m_inserting || m_state->isTransforming() || isExporting()) {
        return;
    }
    const QStringList paths = QFileDialog::getOpenFileNames(
        m_window, tr("插入"), QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
        openFileFilter());
    if (!paths.isEmpty()) {
        insertFiles(paths);
    }
}

void EditorWindowController::insertFiles(const QStringList& paths) {
    if (paths.isEmpty() || m_inserting || m_state->frames().isEmpty()) {
        return;
    }
    m_state->pause();
    OpenOptions options;
    options.store = m_insertStore;
    options.fitTo = m_state->imageSize().toSize();
    options.background = Qt::black;
    auto* opener = new FileOpener(paths, std::move(options), m_window, this);
    m_inserting = opener;
    // No edit may change the frames while the inserted ones are read.
    m_view->setEnabled(false);
    opener->onFinished = [this, opener](FileOpener::Result result) {
        opener->deleteLater();
        m_inserting = nullptr;
        m_view->setEnabled(true);
        if (const OpenError* error = std::get_if<OpenError>(&result)) {
            if (error->problem == OpenProblem::cancelled || m_closed) {
                return;
            }
            auto* alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Mirelo"),
                                          tr("无法插入"), QMessageBox::Ok, m_window);
            alert->setInformativeText(describeOpenError(*error));
            alert->setWindowModality(Qt::WindowModal);
            alert->setAttribute(Qt::WA_DeleteOnClose);
            m_alert = alert;
            alert->open();
            return;
        }
        const OpenedFrames& opened = std::get<OpenedFrames>(result);
        FrameList frames;
        frames.reserve(qsizetype(opened.images.size()));
        for (size_t i = 0; i < opened.images.size(); ++i) {
            frames.push_back(EditorFrame::make(opened.images[i], opened.delays[i]));
        }
        m_state->insertFrames(frames);
    };
    opener->start();
}

}  // namespace mirelo
