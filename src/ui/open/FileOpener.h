#pragma once

#include "import/AnimationOpener.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <variant>

class QProgressDialog;
class QWidget;

namespace mirelo {

// Reads files into frames off the main thread (see openAnimation()). Opening that lasts past
// half a second shows a sheet over `window` ("正在打开… 120 / 1800 帧") whose 取消 (or close
// box) stops it. The result comes back once, on the main thread, through onFinished; a
// cancelled opening gives OpenProblem::cancelled. Deleting the opener stops the work.
class FileOpener : public QObject {
    Q_OBJECT

public:
    using Result = std::variant<OpenedFrames, OpenError>;

    FileOpener(QStringList paths, OpenOptions options, QWidget* window, QObject* parent = nullptr);
    ~FileOpener() override;

    std::function<void(Result result)> onFinished;

    void start();
    void cancel();
    QProgressDialog* progressDialog() const;

private:
    void showProgress(qint64 done, qint64 expected);
    void finish(std::shared_ptr<Result> result);

    QStringList m_paths;
    OpenOptions m_options;
    QPointer<QWidget> m_window;
    QPointer<QProgressDialog> m_progress;
    std::shared_ptr<std::atomic_bool> m_cancelled = std::make_shared<std::atomic_bool>(false);
    std::thread m_worker;
};

}  // namespace mirelo
