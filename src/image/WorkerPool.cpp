#include "image/WorkerPool.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace mirelo {

namespace {

void endWorkers() {
    workerPool()->waitForDone();
}

}  // namespace

QThreadPool* workerPool() {
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        pool.setObjectName(QStringLiteral("mirelo-workers"));
        // When the application goes, the work still running is waited for and
        // the threads end, as Qt does with its own pool: what they keep per
        // thread (laid-out fonts, for one) goes while the application that
        // made it still exists.
        qAddPostRoutine(endWorkers);
        return true;
    }();
    (void)configured;
    return &pool;
}

}  // namespace mirelo
