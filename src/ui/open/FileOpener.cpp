#include "ui/open/FileOpener.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <climits>

namespace mirelo {

FileOpener::FileOpener(QStringList paths, OpenOptions options, QWidget* window, QObject* parent)
    : QObject(parent), m_paths(std::move(paths)), m_options(std::move(options)), m_window(window) {}

FileOpener::~FileOpener() {
    cancel();
    if (m_worker.joinable()) {
        m_worker.join();
    }
    if (m_progress) {
        delete m_progress;
    }
}

QProgressDialog* FileOpener::progressDialog() const {
    return m_progress;
}

void FileOpener::cancel() {
    m_cancelled->store(true);
}

void FileOpener::start() {
    auto* progress = new QProgressDialog(m_window);
    progress->setWindowTitle(QStringLiteral("Mirelo"));
    progress->setLabelText(QCoreApplication::translate("FileOpener", "正在打开…"));
    progress->setCancelButtonText(QCoreApplication::translate("FileOpener", "取消"));
    progress->setRange(0, 0);
    // Short work ends before the sheet would show: it appears only after half a second.
    progress->setMinimumDuration(500);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setWindowModality(m_window ? Qt::WindowModal : Qt::ApplicationModal);
    progress->setMinimumWidth(260);
    progress->setValue(0);
    m_progress = progress;
    connect(progress, &QProgressDialog::canceled, this, &FileOpener::cancel);

    // The worker posts to this object; the destructor waits for the worker, so no post comes
    // after the object is gone, and Qt drops the posts still queued when it goes.
    OpenOptions options = m_options;
    const auto cancelled = m_cancelled;
    options.progress = [this, cancelled](qint64 done, qint64 expected) {
        QMetaObject::invokeMethod(
            this, [this, done, expected] { showProgress(done, expected); }, Qt::QueuedConnection);
        return !cancelled->load();
    };
    m_worker = std::thread([this, paths = m_paths, options = std::move(options)] {
        auto result = std::make_shared<Result>(openAnimation(paths, options));
        QMetaObject::invokeMethod(
            this, [this, result] { finish(result); }, Qt::QueuedConnection);
    });
}

void FileOpener::showProgress(qint64 done, qint64 expected) {
    const QPointer<QProgressDialog> progress = m_progress;
    if (!progress || m_cancelled->load()) {
        return;
    }
    if (expected > 0) {
        progress->setLabelText(QCoreApplication::translate("FileOpener", "正在打开… %1 / %2 帧")
                                   .arg(done)
                                   .arg(expected));
        progress->setRange(0, int(std::min<qint64>(expected, INT_MAX)));
    } else {
        progress->setLabelText(
            QCoreApplication::translate("FileOpener", "正在打开… %1 帧").arg(done));
    }
    // setValue() of a modal sheet may run the event loop: set it last.
    if (progress) {
        progress->setValue(int(std::min<qint64>(done, progress->maximum())));
    }
}

void FileOpener::finish(std::shared_ptr<Result> result) {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    if (m_progress) {
        QProgressDialog* progress = m_progress;
        m_progress = nullptr;
        progress->disconnect(this);
        progress->close();
        progress->deleteLater();
    }
    if (m_cancelled->load() && std::holds_alternative<OpenedFrames>(*result)) {
        // Cancelled after the last frame was read: the frames are not wanted.
        std::get<OpenedFrames>(*result).store->removeFiles();
        *result = OpenError{.problem = OpenProblem::cancelled, .path = m_paths.value(0)};
    }
    if (onFinished) {
        onFinished(std::move(*result));
    }
}

}  // namespace mirelo
