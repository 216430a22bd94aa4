#include "capture/FrameStore.h"

#include "capture/ThreadScheduling.h"

#include <algorithm>

namespace mirelo {

FrameStore::FrameStore(StoreOptions options) : m_options(std::move(options)) {}

FrameStore::~FrameStore() {
    std::unique_lock lock(m_mutex);
    stopWriter(lock);
}

void FrameStore::setFailureHandler(std::function<void(const StoreError&)> handler) {
    std::lock_guard lock(m_mutex);
    m_onFailure = std::move(handler);
}

std::optional<StoreError> FrameStore::begin(double fps) {
    drain();
    StoreError error;
    std::shared_ptr<RecordingStore> recording = RecordingStore::create(m_options, fps, &error);
    if (!recording) {
        return error;
    }
    std::lock_guard lock(m_mutex);
    m_recording = std::move(recording);
    m_failed = false;
    m_pendingDrops = 0;
    m_dropped = 0;
    m_writerCounts = {};
    m_inputEvents.clear();
    m_firstFrameTime.reset();
    m_inputLog.open(m_recording->folder());
    m_stopWriter = false;
    m_writer = std::thread([this] { write(); });
    return std::nullopt;
}

void FrameStore::append(const Image& image, const MediaTime& timestamp) {
    std::lock_guard lock(m_mutex);
    if (!m_recording) {
        m_frames.push_back(Frame{image, timestamp, 0});
        return;
    }
    if (m_failed) {
        return;
    }
    if (!m_firstFrameTime) {
        m_firstFrameTime = timestamp;
        // Events that came before the first frame are placed at it.
        for (InputEvent& event : m_inputEvents) {
            event.seconds = 0.0;
            m_inputLog.append(event);
        }
    }
    const qint64 bytes = qint64{image.width()} * image.height() * 4;
    if (!m_queue.empty() && m_queuedBytes + bytes > kQueueBytes) {
        ++m_pendingDrops;
        ++m_dropped;
        return;
    }
    m_queuedBytes += bytes;
    m_queue.push_back(Pending{image, timestamp, std::exchange(m_pendingDrops, 0)});
    m_writerCounts.peakQueued = std::max(m_writerCounts.peakQueued, m_queue.size());
    m_wake.notify_one();
}

void FrameStore::write() {
    const std::chrono::nanoseconds waitedBefore = runQueueWait();
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopWriter || !m_queue.empty(); });
        if (m_queue.empty()) {
            m_writerCounts.runQueueWait = runQueueWait() - waitedBefore;
            return;  // stopping, and everything queued is written
        }
        Pending next = std::move(m_queue.front());
        m_queue.pop_front();
        m_queuedBytes -= qint64{next.image.width()} * next.image.height() * 4;
        m_writing = true;
        std::shared_ptr<RecordingStore> recording = m_recording;
        const bool failed = m_failed;
        lock.unlock();
        const auto started = std::chrono::steady_clock::now();
        Image stored;
        std::optional<StoreError> error =
            failed ? std::nullopt
                   : recording->append(next.image, next.timestamp, next.dropsBefore, &stored);
        next.image = Image();  // the raw pixels go now, outside the lock
        const auto took = std::chrono::steady_clock::now() - started;
        lock.lock();
        m_writing = false;
        m_writerCounts.busy += took;
        ++m_writerCounts.written;
        if (error && !m_failed) {
            m_failed = true;
            m_queue.clear();
            m_queuedBytes = 0;
            if (m_onFailure) {
                m_onFailure(*error);
            }
        } else if (!stored.isNull()) {
            if (!m_frames.empty()) {
                m_frames.back().dropsAfter += next.dropsBefore;
            }
            m_frames.push_back(Frame{stored, next.timestamp, 0});
        }
        m_wake.notify_all();
    }
}

void FrameStore::stopWriter(std::unique_lock<std::mutex>& lock) {
    if (!m_writer.joinable()) {
        return;
    }
    m_stopWriter = true;
    m_wake.notify_all();
    lock.unlock();
    m_writer.join();
    lock.lock();
    m_stopWriter = false;
}

std::vector<FrameStore::Frame> FrameStore::drain() {
    std::unique_lock lock(m_mutex);
    stopWriter(lock);
    std::vector<Frame> taken;
    taken.swap(m_frames);
    if (m_recording) {
        if (!taken.empty()) {
            taken.back().dropsAfter += m_pendingDrops;
        }
        if (!m_failed) {
            m_recording->finish(taken.empty() ? 0 : taken.back().dropsAfter);
        }
        m_lastRecording = std::exchange(m_recording, nullptr);
        m_lastDropped = m_dropped;
        m_lastWriterCounts = m_writerCounts;
        m_inputLog.close();
        // Events held for a first frame that never came belong to no frame.
        m_lastInputEvents = m_firstFrameTime ? std::move(m_inputEvents) : std::vector<InputEvent>{};
        m_inputEvents.clear();
        m_firstFrameTime.reset();
    }
    m_pendingDrops = 0;
    m_dropped = 0;
    return taken;
}

void FrameStore::appendInput(const InputEvent& event) {
    std::lock_guard lock(m_mutex);
    if (!m_recording || m_failed) {
        return;
    }
    InputEvent kept = event;
    if (m_firstFrameTime) {
        const double seconds = event.time.seconds() - m_firstFrameTime->seconds();
        kept.seconds = seconds > 0.0 ? seconds : 0.0;
        m_inputLog.append(kept);
    }
    m_inputEvents.push_back(std::move(kept));
}

std::vector<InputEvent> FrameStore::lastInputEvents() const {
    std::lock_guard lock(m_mutex);
    return m_lastInputEvents;
}

size_t FrameStore::count() const {
    std::lock_guard lock(m_mutex);
    return m_frames.size() + m_queue.size() + (m_writing ? 1 : 0);
}

size_t FrameStore::droppedFrames() const {
    std::lock_guard lock(m_mutex);
    return m_lastDropped;
}

FrameStore::WriterCounts FrameStore::writerCounts() const {
    std::lock_guard lock(m_mutex);
    return m_lastWriterCounts;
}

std::shared_ptr<RecordingStore> FrameStore::takeLastRecording() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_lastRecording, nullptr);
}

}  // namespace mirelo
