#include "editor/GeometryRunner.h"

#include "image/WorkerPool.h"

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <utility>

namespace mirelo {

namespace {

// Whether `made` needs keeping in the sink: new pixels in plain memory do; a view of the
// source's pixels (a crop) or of pixels decoded on demand (a crop of stored frames) does not.
bool needsKeeping(const Image& made, const Image& source) {
    if (made.isNull() || made.sharesPixelsWith(source)) {
        return false;
    }
    return made.holdsPixelsInMemory();
}

}  // namespace

GeometryRunner::GeometryRunner(FrameList source, FrameTransform transform,
                               std::unique_ptr<FrameSink> sink, Callbacks callbacks)
    : m_source(std::move(source)),
      m_transform(std::move(transform)),
      m_sink(std::move(sink)),
      m_callbacks(std::move(callbacks)),
      m_thread([this] { run(); }) {}

GeometryRunner::~GeometryRunner() {
    cancel();
}

void GeometryRunner::cancel() {
    m_cancelled.store(true);
    wait();
}

void GeometryRunner::wait() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void GeometryRunner::run() {
    const auto count = size_t(m_source.size());
    m_results.resize(count);
    const size_t batch = size_t(std::max(2, workerPool()->maxThreadCount()) * 2);
    std::atomic<bool>* stop = &m_cancelled;
    const FrameTransform& transform = m_transform;
    auto startBatch = [&](size_t first) {
        QList<Image> images;
        for (size_t i = first; i < std::min(first + batch, count); ++i) {
            images.push_back(m_source[qsizetype(i)].image);
        }
        return QtConcurrent::mapped(workerPool(), std::move(images),
                                    [stop, &transform](const Image& image) {
                                        return stop->load() ? Image() : transform(image);
                                    });
    };
    QFuture<Image> pending = startBatch(0);
    for (size_t first = 0; first < count && !m_cancelled.load(); first += batch) {
        QList<Image> made = pending.results();
        if (first + batch < count) {
            pending = startBatch(first + batch);
        }
        for (qsizetype k = 0; k < made.size() && !m_cancelled.load(); ++k) {
            const size_t i = first + size_t(k);
            Image image = std::exchange(made[k], Image());
            if (m_sink && needsKeeping(image, m_source[qsizetype(i)].image)) {
                Image kept;
                if (!m_sink->keep(image, &kept, &m_error)) {
                    m_failed = true;
                    m_cancelled.store(true);
                    break;
                }
                image = std::move(kept);
            }
            m_results[i] = std::move(image);
            if (m_callbacks.progress) {
                m_callbacks.progress(int(i + 1), int(count));
            }
        }
    }
    pending.waitForFinished();
    if (!m_cancelled.load() && m_sink && !m_sink->finish(&m_error)) {
        m_failed = true;
    }
    if (m_callbacks.ended) {
        m_callbacks.ended();
    }
}

}  // namespace mirelo
