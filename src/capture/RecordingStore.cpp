#include "capture/RecordingStore.h"

#include "capture/InputEventLog.h"
#include "capture/StoreFile.h"
#include "capture/StoreFormat.h"

#include "image/BandedFrame.h"
#include "image/ImageServices.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <zstd.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

namespace mirelo {

using namespace storeformat;

namespace {

// Measured on 1080p screen content, one thread: zstd level 1 keeps a quarter or less of the
// raw bytes even for a moving picture with JPEG noise (0.23; desktop 0.06) at about 470 MB/s,
// twice what 30 fps needs. LZ4 is faster but keeps 0.32 of that picture; zstd's negative
// levels keep 0.25 and more.
constexpr int kCompressionLevel = 1;

const QString kIndexName = QStringLiteral("frames.idx");
const QString kBandsName = QStringLiteral("bands.dat");
const QString kLockName = QStringLiteral("lock");

qint64 fileSystemFreeSpace(const QString& folder) {
    struct statvfs info {};
    if (statvfs(QFile::encodeName(folder).constData(), &info) != 0) {
        return -1;  // unknown: the writes themselves will tell
    }
    return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
}

StoreError writeError(int error) {
    if (error == ENOSPC || error == EDQUOT) {
        return StoreError{StoreError::Kind::lowDisk};
    }
    return StoreError{StoreError::Kind::writeFailed, error};
}

}  // namespace

bool MemoryBudget::take(qint64 bytes) {
    qint64 used = m_used.load();
    while (used + bytes <= m_limit) {
        if (m_used.compare_exchange_weak(used, used + bytes)) {
            return true;
        }
    }
    return false;
}

const std::shared_ptr<MemoryBudget>& MemoryBudget::standard() {
    static const auto budget = std::make_shared<MemoryBudget>(qint64{512} << 20);
    return budget;
}

QString defaultStoreRoot() {
    QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) {
        cache = QDir::home().filePath(QStringLiteral(".cache"));
    }
    return QDir(cache).filePath(QStringLiteral("mirelo"));
}

// --- Writing -------------------------------------------------------------------------------

std::shared_ptr<RecordingStore> RecordingStore::create(const StoreOptions& options, double fps,
                                                       StoreError* error) {
    auto fail = [error](StoreError e) -> std::shared_ptr<RecordingStore> {
        if (error) {
            *error = std::move(e);
        }
        return nullptr;
    };
    std::shared_ptr<RecordingStore> store(new RecordingStore());
    store->m_options = options;
    if (store->m_options.root.isEmpty()) {
        store->m_options.root = defaultStoreRoot();
    }
    if (!store->m_options.budget) {
        store->m_options.budget = MemoryBudget::standard();
    }
    if (!store->m_options.freeSpace) {
        store->m_options.freeSpace = fileSystemFreeSpace;
    }
    store->m_fps = std::isfinite(fps) && fps >= 1 ? fps : 1.0;
    const QString root = store->m_options.root;
    const StoreError cannotCreate{StoreError::Kind::cannotCreate, 0, root};
    if (!QDir().mkpath(root)) {
        return fail(cannotCreate);
    }
    if (auto low = store->checkSpace(0)) {
        return fail(*low);
    }
    static std::atomic<int> serial{0};
    const QString name =
        QStringLiteral("rec-%1-%2-%3")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
            .arg(static_cast<qint64>(getpid()))
            .arg(++serial);
    const QString folder = QDir(root).filePath(name);
    if (!QDir().mkdir(folder)) {
        return fail(cannotCreate);
    }
    auto file = std::make_shared<StoreFile>();
    file->folder = folder;
    store->m_file = file;
    auto open = [&folder](const QString& name, int flags) {
        return ::open(QFile::encodeName(QDir(folder).filePath(name)).constData(), flags | O_CLOEXEC,
                      0600);
    };
    // The lock tells other instances the folder is in use; it goes with the process.
    file->lock = open(kLockName, O_CREAT | O_RDWR);
    if (file->lock < 0 || flock(file->lock, LOCK_EX | LOCK_NB) != 0) {
        return fail(cannotCreate);
    }
    file->bands = open(kBandsName, O_CREAT | O_EXCL | O_RDWR);
    file->index = open(kIndexName, O_CREAT | O_EXCL | O_RDWR);
    if (file->bands < 0 || file->index < 0) {
        return fail(cannotCreate);
    }
    // Both files begin with the frame rate, so that either tells how to read the other.
    std::vector<char> header = storeformat::header(kBandsMagic, store->m_fps);
    if (auto e =
            store->writeBytes(file->bands, header.data(), header.size(), &store->m_bandsOffset)) {
        return fail(*e);
    }
    header = storeformat::header(kIndexMagic, store->m_fps);
    if (auto e =
            store->writeBytes(file->index, header.data(), header.size(), &store->m_indexOffset)) {
        return fail(*e);
    }
    store->m_compressor = ZSTD_createCCtx();
    if (!store->m_compressor) {
        return fail(cannotCreate);
    }
    return store;
}

RecordingStore::~RecordingStore() {
    ZSTD_freeCCtx(static_cast<ZSTD_CCtx*>(m_compressor));
}

QString RecordingStore::folder() const {
    return m_file ? m_file->folder : QString();
}

qint64 RecordingStore::bytesWritten() const {
    return m_bandsOffset + m_indexOffset;
}

void RecordingStore::removeWhenUnused() {
    if (m_file) {
        m_file->removeWhenUnused = true;
    }
}

void RecordingStore::removeFiles() {
    if (m_file) {
        m_file->removeFiles();
    }
}

std::optional<StoreError> RecordingStore::checkSpace(qint64 bytes) {
    const qint64 free = m_options.freeSpace(m_file ? m_file->folder : m_options.root);
    if (free >= 0 && free - bytes < m_options.diskReserve) {
        StoreError error{StoreError::Kind::lowDisk};
        error.noRoomToStart = m_frameCount == 0;
        error.folder = m_options.root;
        error.neededBytes = m_options.diskReserve + bytes - free;
        return error;
    }
    m_room = free >= 0 ? free - m_options.diskReserve : -1;
    m_writtenSinceCheck = 0;
    m_framesSinceCheck = 0;
    return std::nullopt;
}

bool RecordingStore::spaceCheckDue(qint64 bytes) const {
    const auto framesPerSecond = static_cast<size_t>(std::ceil(m_fps));
    return m_frameCount == 0 || m_framesSinceCheck >= framesPerSecond ||
           (m_room >= 0 && m_writtenSinceCheck + bytes > m_room / 2);
}

std::optional<StoreError> RecordingStore::writeBytes(int fd, const void* data, size_t size,
                                                     qint64* offset) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_failed = true;
            return writeError(n < 0 ? errno : ENOSPC);
        }
        p += n;
        size -= static_cast<size_t>(n);
        *offset += n;
    }
    return std::nullopt;
}

std::optional<StoreError> RecordingStore::append(const Image& frame, const MediaTime& timestamp,
                                                 uint32_t dropsBefore, Image* stored) {
    if (m_failed || !m_file) {
        return StoreError{StoreError::Kind::unavailable};
    }
    if (frame.isNull()) {
        return StoreError{StoreError::Kind::emptyFrame};
    }
    const int width = frame.width();
    const int height = frame.height();
    // The frame in bands of kBandRows rows (the cuts share the frame's pixels).
    const std::vector<Image> sources = BandedFrame::cut(frame);
    const bool sameLayout = m_lastSource.size() == sources.size() && !m_lastSource.empty() &&
                            m_lastSource.front().width() == width;
    const size_t rowBytes = static_cast<size_t>(width) * 4;

    // Compress the bands that changed into one buffer of band records, written at once.
    struct NewBand {
        size_t band;
        size_t recordAt;  // in m_scratch
        uint32_t bytes;
        uint32_t checksum;
    };
    std::vector<NewBand> fresh;
    std::vector<uint32_t> ids(sources.size(), 0);
    std::vector<char> raw;
    m_scratch.clear();
    ZSTD_CCtx* compressor = static_cast<ZSTD_CCtx*>(m_compressor);
    for (size_t b = 0; b < sources.size(); ++b) {
        const Image& source = sources[b];
        const int rows = source.height();
        if (sameLayout && m_lastSource[b].height() == rows) {
            bool same = source.cacheKey() == m_lastSource[b].cacheKey();
            for (int y = 0; !same && y < rows; ++y) {
                if (std::memcmp(source.constScanLine(y), m_lastSource[b].constScanLine(y),
                                rowBytes) != 0) {
                    break;
                }
                same = y + 1 == rows;
            }
            if (same) {
                ids[b] = m_lastIds[b];
                continue;
            }
        }
        const size_t rawBytes = rowBytes * static_cast<size_t>(rows);
        // The band's rows as one run of bytes: where they lie, when they follow each other
        // without padding (a band of its own normally does), else gathered.
        const uchar* first = source.constScanLine(0);
        bool contiguous = true;
        for (int y = 1; contiguous && y < rows; ++y) {
            contiguous = source.constScanLine(y) == first + rowBytes * static_cast<size_t>(y);
        }
        if (!contiguous) {
            raw.resize(rawBytes);
            for (int y = 0; y < rows; ++y) {
                std::memcpy(raw.data() + rowBytes * static_cast<size_t>(y), source.constScanLine(y),
                            rowBytes);
            }
        }
        const void* input = contiguous ? static_cast<const void*>(first) : raw.data();
        const size_t at = m_scratch.size();
        const size_t bound = ZSTD_compressBound(rawBytes);
        m_scratch.resize(at + kBandHeaderBytes + bound);
        const size_t n = ZSTD_compressCCtx(compressor, scratch(at + kBandHeaderBytes), bound, input,
                                           rawBytes, kCompressionLevel);
        if (ZSTD_isError(n)) {
            return StoreError{StoreError::Kind::compressFailed};
        }
        const uint32_t sum = checksum(scratch(at + kBandHeaderBytes), n);
        ids[b] = m_nextBand++;
        uint32_t header[7] = {kBandTag,
                              ids[b],
                              static_cast<uint32_t>(width),
                              static_cast<uint32_t>(rows),
                              static_cast<uint32_t>(n),
                              sum,
                              0};
        header[6] = checksum(header, 24);
        static_assert(sizeof header == kBandHeaderBytes);
        static_assert(sizeof(UninitializedChar) == 1);
        std::memcpy(scratch(at), header, sizeof header);
        m_scratch.resize(at + kBandHeaderBytes + n);
        fresh.push_back(NewBand{b, at, static_cast<uint32_t>(n), sum});
    }

    std::vector<char> record;
    put32(record, kFrameTag);
    put32(record, static_cast<uint32_t>(kFrameFixedBytes + 4 * ids.size()));
    const size_t payloadAt = record.size();
    put32(record, static_cast<uint32_t>(m_frameCount));
    put32(record, static_cast<uint32_t>(width));
    put32(record, static_cast<uint32_t>(height));
    put32(record, dropsBefore);
    put64(record, static_cast<uint64_t>(timestamp.value));
    put32(record, static_cast<uint32_t>(timestamp.timescale));
    put32(record, timestamp.flags);
    const uint64_t position = m_nextPosition + dropsBefore;
    put64(record, position);
    put32(record, static_cast<uint32_t>(ids.size()));
    put32(record, 0);  // reserved
    for (uint32_t id : ids) {
        put32(record, id);
    }
    put32(record, checksum(record.data() + payloadAt, record.size() - payloadAt));
    // The bands file holds the frame record too, after the bands it names: either file then
    // gives the frame list back.
    const size_t frameAt = m_scratch.size();
    m_scratch.resize(frameAt + record.size());
    std::memcpy(scratch(frameAt), record.data(), record.size());

    const auto bytes = static_cast<qint64>(m_scratch.size() + record.size());
    if (spaceCheckDue(bytes)) {
        if (auto low = checkSpace(bytes)) {
            m_failed = true;
            return low;
        }
    }
    const qint64 bandsStart = m_bandsOffset;
    // Bands first: an index record on disk only ever names bands written before it.
    if (auto e = writeBytes(m_file->bands, scratch(), m_scratch.size(), &m_bandsOffset)) {
        return e;
    }
    if (auto e = writeBytes(m_file->index, record.data(), record.size(), &m_indexOffset)) {
        return e;
    }
    m_writtenSinceCheck += bytes;
    ++m_framesSinceCheck;
    // Flushed about once a second, so that a power cut loses little; a failed flush is a
    // failed write.
    const qint64 now = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    if (now - m_lastSync >= 1000) {
        m_lastSync = now;
        if (auto e = sync()) {
            return e;
        }
    }

    std::vector<Image> storedBands(sources.size());
    size_t next = 0;
    for (size_t b = 0; b < sources.size(); ++b) {
        if (next < fresh.size() && fresh[next].band == b) {
            const NewBand& nb = fresh[next++];
            StoreScan::Band where{bandsStart + static_cast<qint64>(nb.recordAt + kBandHeaderBytes),
                                  nb.bytes, nb.checksum, width, sources[b].height()};
            QByteArray memory;
            std::shared_ptr<MemoryBudget> budget;
            if (m_options.budget->take(nb.bytes)) {
                memory = QByteArray(scratch(nb.recordAt + kBandHeaderBytes), nb.bytes);
                budget = m_options.budget;
            }
            storedBands[b] = Image::decodedOnDemand(std::make_shared<StoredBand>(
                m_file, sources[b].size(), where, std::move(memory), std::move(budget)));
        } else {
            storedBands[b] = m_lastStored[b];
        }
    }
    m_lastSource = std::move(sources);
    m_lastStored = storedBands;
    m_lastIds = std::move(ids);
    ++m_frameCount;
    m_nextPosition = position + 1;
    if (stored) {
        *stored = Image::stacked(std::move(storedBands));
    }
    return std::nullopt;
}

std::optional<StoreError> RecordingStore::finish(uint32_t dropsAfter) {
    if (m_failed || !m_file) {
        return std::nullopt;
    }
    std::vector<char> record;
    put32(record, kEndTag);
    put32(record, static_cast<uint32_t>(kEndPayloadBytes));
    put32(record, dropsAfter);
    put32(record, static_cast<uint32_t>(m_frameCount));
    put64(record, m_nextPosition + dropsAfter);
    put32(record, checksum(record.data() + 8, kEndPayloadBytes));
    if (auto e = writeBytes(m_file->bands, record.data(), record.size(), &m_bandsOffset)) {
        return e;
    }
    if (auto e = writeBytes(m_file->index, record.data(), record.size(), &m_indexOffset)) {
        return e;
    }
    m_lastSource.clear();  // the source frames' memory is not needed any more
    return sync();
}

std::optional<StoreError> RecordingStore::sync() {
    if (fdatasync(m_file->bands) != 0 || fdatasync(m_file->index) != 0) {
        m_failed = true;
        return writeError(errno);
    }
    return std::nullopt;
}

}  // namespace mirelo
