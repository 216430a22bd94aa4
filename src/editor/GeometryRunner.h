#pragma once

#include "editor/EditorFrame.h"
#include "editor/FrameSink.h"
#include "image/Image.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace mirelo {

// Makes the new images of a geometry change over every frame: a batch at a
// time is transformed on workerPool() while the batch before goes to the
// sink (when there is one), so at most two batches of new frames are in
// memory.
//
// The runner works on a thread of its own rather than on workerPool(): it
// waits for the batches it runs there, and a pool thread waiting for work on
// its own pool could leave none to do it.
class GeometryRunner {
public:
    // Runs on several threads; must not touch shared state.
    using FrameTransform = std::function<Image(const Image&)>;
    // Called on the runner's thread: `done` of `total` frames are made (in
    // order), and once when the work has ended, made, cancelled or failed.
    struct Callbacks {
        std::function<void(int done, int total)> progress;
        std::function<void()> ended;
    };

    // Starts at once on the runner's thread.
    GeometryRunner(FrameList source, FrameTransform transform, std::unique_ptr<FrameSink> sink,
                   Callbacks callbacks);
    // Cancels, and waits for the thread.
    ~GeometryRunner();
    GeometryRunner(const GeometryRunner&) = delete;
    GeometryRunner& operator=(const GeometryRunner&) = delete;

    // Stops at the next frame, and waits for the thread.
    void cancel();
    // Waits until the work has ended.
    void wait();

    // The frames the images are made from.
    const FrameList& source() const { return m_source; }
    // Once ended: whether the sink failed (error() says why, for the user).
    bool failed() const { return m_failed; }
    const QString& error() const { return m_error; }
    // Once ended without failing or a cancel: one image per source frame, in
    // order, each as the sink kept it; a null one where the transform gave
    // none.
    std::vector<Image> takeResults() { return std::move(m_results); }

private:
    void run();

    const FrameList m_source;
    const FrameTransform m_transform;
    const std::unique_ptr<FrameSink> m_sink;
    const Callbacks m_callbacks;
    std::atomic<bool> m_cancelled{false};
    std::vector<Image> m_results;
    bool m_failed = false;
    QString m_error;
    std::thread m_thread;  // last: it starts once everything above is set
};

}  // namespace mirelo
