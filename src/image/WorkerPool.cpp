#include "image/WorkerPool.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace mirelo {

QThreadPool* workerPool() {
    static QThreadPool* pool = [] {
        // Kept for the life of the process, as Qt's own pool is: threads still
        // finishing work at exit must not outlive their pool's memory.
        auto* made = new QThreadPool;
        made->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        made->setObjectName(QStringLiteral("mirelo-workers"));
        return made;
    }();
    return pool;
}

}  // namespace mirelo
