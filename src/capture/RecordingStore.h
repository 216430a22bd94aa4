#pragma once

#include "capture/MediaTime.h"
#include "capture/StoreScan.h"
#include "image/Image.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace mirelo {

// Compressed frame memory shared by every recording of the process: bands are kept in memory
// while the total stays under the limit and read from their file beyond it.
class MemoryBudget {
public:
    explicit MemoryBudget(qint64 limit) : m_limit(limit) {}
    // Takes `bytes` when they fit under the limit.
    bool take(qint64 bytes);
    void give(qint64 bytes) { m_used.fetch_sub(bytes); }
    qint64 used() const { return m_used.load(); }
    qint64 limit() const { return m_limit; }

    // 512 MiB, for the whole process.
    static const std::shared_ptr<MemoryBudget>& standard();

private:
    const qint64 m_limit;
    std::atomic<qint64> m_used{0};
};

struct StoreOptions {
    // The folder holding one folder per recording; empty means defaultStoreRoot().
    QString root;
    // Where compressed frames stay in memory; null means MemoryBudget::standard().
    std::shared_ptr<MemoryBudget> budget;
    // Free bytes that are never used: a recording stops before the disk has less.
    qint64 diskReserve = qint64{256} << 20;
    // Free bytes on the file system of a folder; the default asks the file system.
    std::function<qint64(const QString& folder)> freeSpace;
};

// The cache folder for recordings: "mirelo" in the user's cache folder (XDG_CACHE_HOME).
QString defaultStoreRoot();

// Why a store cannot take a frame.
struct StoreError {
    enum class Kind {
        lowDisk,         // the disk is (nearly) full: the recording stops, its frames stay
        writeFailed,     // writing the cache failed with `systemError` (errno)
        cannotCreate,    // the cache folder `path` could not be made
        unavailable,     // the store was closed or failed before
        emptyFrame,      // a frame without pixels
        compressFailed,  // a frame's bands could not be compressed
    };
    Kind kind = Kind::writeFailed;
    int systemError = 0;
    QString path;
    // lowDisk before the first frame: nothing was recorded. The folder whose disk is short
    // and the free bytes missing for a recording to start.
    bool noRoomToStart = false;
    QString folder;
    qint64 neededBytes = 0;

    bool lowDisk() const { return kind == Kind::lowDisk; }
    friend bool operator==(const StoreError&, const StoreError&) = default;
};

class StoreFile;

// One recording's frames on disk, in a folder of their own: every band of 16 rows compressed
// (lossless) once, a band equal to the previous frame's band stored only once, and an index
// of the frames with their times. The folder is self-describing, so a recording left by a
// process that died can be read back (recover()). Frames read back are Images decoding their
// bands on demand; they keep the store alive, and the folder goes when the last of them does
// or when removeFiles() is called.
//
// Writing (append(), finish()) is for one thread at a time; reading frames is for any thread.
class RecordingStore {
public:
    // A new recording folder under the options' root. Fails when the folder cannot be made or
    // the disk has no more than the reserve free.
    static std::shared_ptr<RecordingStore> create(const StoreOptions& options, double fps,
                                                  StoreError* error = nullptr);
    ~RecordingStore();
    RecordingStore(const RecordingStore&) = delete;
    RecordingStore& operator=(const RecordingStore&) = delete;

    // Stores `frame` (any size, but frames of one recording normally share one) and returns it
    // as read back from the store: bit for bit the same pixels. `dropsBefore` frames were lost
    // just before it (their time belongs to the frame before). A failed or refused write
    // (the disk is nearly full) is an error and leaves earlier frames intact.
    std::optional<StoreError> append(const Image& frame, const MediaTime& timestamp,
                                     uint32_t dropsBefore, Image* stored);
    // Marks the end of the recording (`dropsAfter` frames lost after the last one) and flushes.
    std::optional<StoreError> finish(uint32_t dropsAfter);

    // Deletes the folder now. Frames already read keep working (the files stay open).
    void removeFiles();
    // A recovered store leaves its folder on disk when it goes, unless this was called: the
    // folder then goes with the last of its frames, as a new recording's does.
    void removeWhenUnused();

    QString folder() const;
    double fps() const { return m_fps; }
    // Bytes written to the folder so far.
    qint64 bytesWritten() const;
    size_t frameCount() const { return m_frameCount; }

    // A recording found on disk: the intact frames with their delays. A lost frame's time
    // stays where it was (with the intact frame before it), so every frame keeps its time.
    struct Recovered {
        std::shared_ptr<RecordingStore> store;
        std::vector<Image> images;
        std::vector<double> delays;
        std::vector<double> times;  // each frame's start, in seconds from the recording's start
        // Frames the files show were recorded whose record or pixels are damaged or missing,
        // and how long they lasted.
        size_t lostFrames = 0;
        double lostSeconds = 0;
        // Something in the files could not be read (a frame may be lost that no record
        // tells of); with no frame recovered, the recording cannot be read at all.
        bool damaged = false;
        // The folder holds no frame and no sign of one: nothing is lost by removing it.
        bool nothingRecorded = false;
    };
    // Reads the recording in `folder`, locking it for this process. Nothing on disk is trusted,
    // and nothing is removed: the folder stays until the caller removes it or takes the
    // recording (removeWhenUnused()). Null when another process is using the folder.
    static std::optional<Recovered> recover(const QString& folder, const StoreOptions& options);

    // Recording folders under `root` that no running process uses, newest first, whatever is
    // left in them.
    static QStringList leftovers(const QString& root);

private:
    RecordingStore() = default;
    std::optional<StoreError> writeBytes(int fd, const void* data, size_t size, qint64* offset);
    // Asks the file system for the free space before a write of `bytes`: an error when the
    // write would leave less than the reserve.
    std::optional<StoreError> checkSpace(qint64 bytes);
    // Whether the free space is asked before a frame's write of `bytes`: before the first frame,
    // after every second's worth of frames, and before a write that would take this
    // recording's writes since the last answer past half the room that answer left above the
    // reserve. The recording's own writes so never take the disk below the reserve, and what
    // others write is noticed within a second of frames, without a question at every frame.
    bool spaceCheckDue(qint64 bytes) const;
    std::optional<StoreError> sync();

    std::shared_ptr<StoreFile> m_file;
    StoreOptions m_options;
    double m_fps = 0;
    size_t m_frameCount = 0;
    uint32_t m_nextBand = 1;
    // Where the next frame starts, in frame intervals, if none is dropped before it.
    uint64_t m_nextPosition = 0;
    qint64 m_bandsOffset = 0;
    qint64 m_indexOffset = 0;
    qint64 m_lastSync = 0;
    // Free bytes above the reserve at the last check (-1: unknown), and what was written since.
    qint64 m_room = -1;
    qint64 m_writtenSinceCheck = 0;
    size_t m_framesSinceCheck = 0;
    bool m_failed = false;
    // The previous frame's source bands and what they were stored as, to find shared bands.
    std::vector<Image> m_lastSource;
    std::vector<Image> m_lastStored;
    std::vector<uint32_t> m_lastIds;
    // Bytes that growing leaves uninitialised: each band reserves room for its worst case
    // before compressing into it, and zero-filling that room cost more than a tenth of
    // storing a changed 1080p frame.
    struct UninitializedChar {
        char value;             // one byte, so a run of them is a run of bytes
        UninitializedChar() {}  // NOLINT: leaves `value` unset on purpose
    };
    std::vector<UninitializedChar> m_scratch;
    char* scratch(size_t at = 0) { return reinterpret_cast<char*>(m_scratch.data()) + at; }
    void* m_compressor = nullptr;
};

}  // namespace mirelo
