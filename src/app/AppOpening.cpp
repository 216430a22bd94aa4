// Opening files in a new editor: the open dialog, the command line, drops.
#include "app/Alerts.h"
#include "app/AppState.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/open/FileOpener.h"
#include "ui/open/OpenErrorText.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QFileDialog>
#include <QStandardPaths>
#include <QWidget>

namespace mirelo {

void AppState::chooseFilesToOpen() {
    if (isRecording() || isStartingRecording() || m_opener) {
        return;
    }
    QWidget* parent = recorderWindowController()->window();
    const QStringList paths = QFileDialog::getOpenFileNames(
        parent->isVisible() ? parent : nullptr, tr("打开"),
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation), openFileFilter());
    if (!paths.isEmpty()) {
        openFiles(paths);
    }
}

void AppState::openFiles(const QStringList& paths, QWidget* window) {
    if (paths.isEmpty() || isRecording() || isStartingRecording() || m_opener) {
        return;
    }
    if (!window) {
        QWidget* recorder = recorderWindowController()->window();
        window = recorder->isVisible() ? recorder : nullptr;
    }
    OpenOptions options;
    options.store = m_services.recorder->frameStore().options();
    auto* opener = new FileOpener(paths, std::move(options), window, this);
    m_opener = opener;
    QPointer<AppState> self(this);
    opener->onFinished = [self, opener](FileOpener::Result result) {
        opener->deleteLater();
        if (!self) {
            return;
        }
        self->m_opener = nullptr;
        if (const OpenError* error = std::get_if<OpenError>(&result)) {
            if (error->problem != OpenProblem::cancelled) {
                self->m_services.alerts->showNotice(describeOpenError(*error));
            }
            return;
        }
        OpenedFrames& opened = std::get<OpenedFrames>(result);
        FrameList frames;
        frames.reserve(qsizetype(opened.images.size()));
        for (size_t i = 0; i < opened.images.size(); ++i) {
            frames.push_back(EditorFrame::make(opened.images[i], opened.delays[i]));
        }
        self->openEditor(std::move(frames), std::move(opened.store));
        if (self->m_editor) {
            self->m_editor->setOpenedFromFiles(true);
        }
    };
    opener->start();
}

}  // namespace mirelo
