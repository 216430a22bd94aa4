#pragma once

#include "capture/InputEvent.h"
#include "capture/InputEventLog.h"
#include "capture/MediaTime.h"
#include "capture/RecordingStore.h"
#include "image/Image.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace mirelo {

// The queue of captured frames, not their store (that is RecordingStore): the
// hand-off point between the capture thread and the main thread, where
// frames collect in arrival order until drain() takes them all.
//
// While a recording is open (begin()), every frame goes to a RecordingStore on disk: append()
// only queues it, and a writer thread compresses and writes it, so the capture never waits on
// the disk. When the queue is full the frame is dropped and its time given to the frame
// before it. Without an open recording frames are kept as they are.
//
// Thread safety: every member may be called from any thread at any time.
class FrameStore {
public:
    struct Frame {
        Image image;
        MediaTime timestamp;
        // Frames dropped right after this one (the disk could not keep up): their time is this
        // frame's, so the recording keeps its length.
        uint32_t dropsAfter = 0;
    };

    explicit FrameStore(StoreOptions options = {});
    ~FrameStore();
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    // Opens a new recording on disk at `fps`; the frames appended from now on go there. An
    // open recording is ended first, its frames discarded. Returns the reason it cannot.
    std::optional<StoreError> begin(double fps);

    // Adds one frame at the end. Never waits for the disk. The image is never scaled.
    void append(const Image& image, const MediaTime& timestamp);

    // Keeps one input event of the open recording beside its frames (in the recording's folder,
    // so a recovered recording has it), its time made relative to the first frame appended
    // (events before that frame count as at it). Ignored without an open recording.
    void appendInput(const InputEvent& event);
    // The input events of the last drained recording, in order, `seconds` after its first frame.
    std::vector<InputEvent> lastInputEvents() const;

    // Every frame in the order appended, leaving the store empty; no append
    // can fall between the read and the emptying. Waits for the queued frames to be written
    // and ends the open recording.
    std::vector<Frame> drain();

    // Number of frames held now (for progress displays and tests).
    size_t count() const;

    // Frames of the last drained recording that were dropped because the disk fell behind.
    size_t droppedFrames() const;
    // How the writer kept up with the last drained recording.
    struct WriterCounts {
        size_t written = 0;
        size_t peakQueued = 0;                     // frames waiting at once, at most
        std::chrono::nanoseconds busy{0};          // compressing and writing
        std::chrono::nanoseconds runQueueWait{0};  // ready to run without a processor
    };
    WriterCounts writerCounts() const;
    // The recording store of the last drained recording, handed over once (null when none was
    // open or it was taken already). Its frames keep it alive too; whoever takes it decides
    // when its folder goes (RecordingStore::removeFiles()).
    std::shared_ptr<RecordingStore> takeLastRecording();

    // Called (from the writer thread, once per recording) when the store can take no more
    // frames: the disk is nearly full or a write failed. Later frames are discarded.
    void setFailureHandler(std::function<void(const StoreError&)> handler);

    const StoreOptions& options() const { return m_options; }

    // Pixel bytes of the frames that may wait for the writer at once (eight 1080p frames);
    // one frame may always wait, however large.
    static constexpr qint64 kQueueBytes = qint64{64} << 20;

private:
    struct Pending {
        Image image;
        MediaTime timestamp;
        uint32_t dropsBefore = 0;
    };
    void write();
    void stopWriter(std::unique_lock<std::mutex>& lock);

    const StoreOptions m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Frame> m_frames;
    std::deque<Pending> m_queue;
    std::shared_ptr<RecordingStore> m_recording;
    std::shared_ptr<RecordingStore> m_lastRecording;
    std::thread m_writer;
    bool m_stopWriter = false;
    bool m_writing = false;  // the writer holds a frame taken from the queue
    bool m_failed = false;
    qint64 m_queuedBytes = 0;
    uint32_t m_pendingDrops = 0;  // dropped since the last frame queued
    size_t m_dropped = 0;
    size_t m_lastDropped = 0;
    WriterCounts m_writerCounts;
    WriterCounts m_lastWriterCounts;
    std::function<void(const StoreError&)> m_onFailure;
    // The open recording's input events: written as they come once the first frame has set
    // the time origin, held until then.
    InputEventLog m_inputLog;
    std::optional<MediaTime> m_firstFrameTime;
    std::vector<InputEvent> m_inputEvents;
    std::vector<InputEvent> m_lastInputEvents;
};

}  // namespace mirelo
