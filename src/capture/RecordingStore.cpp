#include "capture/RecordingStore.h"

#include "capture/InputEventLog.h"

#include "image/ImageServices.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <zlib.h>
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
#include <mutex>

namespace mirelo {

namespace {

// Rows per stored band; frames from the X11 grabber are already cut so.
constexpr int kBandRows = 16;
// Measured on 1080p screen content, one thread: zstd level 1 keeps a quarter or less of the
// raw bytes even for a moving picture with JPEG noise (0.23; desktop 0.06) at about 470 MB/s,
// twice what 30 fps needs. LZ4 is faster but keeps 0.32 of that picture; zstd's negative
// levels keep 0.25 and more.
constexpr int kCompressionLevel = 1;
constexpr int kMaxSide = 32768;

constexpr char kIndexMagic[8] = {'M', 'I', 'R', 'E', 'L', 'O', 'I', 'X'};
constexpr char kBandsMagic[8] = {'M', 'I', 'R', 'E', 'L', 'O', 'B', 'D'};
constexpr uint32_t kVersion = 1;
constexpr uint32_t kFrameTag = 0x4d52464d;  // "MFRM"
constexpr uint32_t kEndTag = 0x444e454d;    // "MEND"
constexpr uint32_t kBandTag = 0x444e424d;   // "MBND"
constexpr size_t kIndexHeaderBytes = 32;
constexpr size_t kBandsHeaderBytes = 16;
constexpr size_t kBandHeaderBytes = 24;
constexpr size_t kFrameFixedBytes = 48;  // a frame record's payload before its band ids
constexpr uint32_t kMaxBandsPerFrame = (kMaxSide + kBandRows - 1) / kBandRows;

const QString kIndexName = QStringLiteral("frames.idx");
const QString kBandsName = QStringLiteral("bands.dat");
const QString kLockName = QStringLiteral("lock");

uint32_t checksum(const void* data, size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* bytes = static_cast<const Bytef*>(data);
    while (size > 0) {
        const uInt chunk = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        crc = crc32(crc, bytes, chunk);
        bytes += chunk;
        size -= chunk;
    }
    return static_cast<uint32_t>(crc);
}

void put32(std::vector<char>& out, uint32_t value) {
    char b[4];
    std::memcpy(b, &value, 4);
    out.insert(out.end(), b, b + 4);
}
void put64(std::vector<char>& out, uint64_t value) {
    char b[8];
    std::memcpy(b, &value, 8);
    out.insert(out.end(), b, b + 8);
}
uint32_t get32(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
uint64_t get64(const char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

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

bool readFully(int fd, char* out, size_t size, qint64 offset) {
    while (size > 0) {
        const ssize_t n = pread(fd, out, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        out += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

struct DecompressorDeleter {
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

// Exactly `size` bytes from the device, else false.
bool readExactly(QIODevice& device, char* out, qint64 size) {
    while (size > 0) {
        const qint64 n = device.read(out, size);
        if (n <= 0) {
            return false;
        }
        out += n;
        size -= n;
    }
    return true;
}

}  // namespace

// The open files of one recording folder, shared by the store and every band read from it.
// Removes the folder when the last of them goes.
class StoreFile {
public:
    QString folder;
    int bands = -1;
    int index = -1;
    int lock = -1;
    std::atomic<bool> removeWhenUnused{true};

    ~StoreFile() {
        if (removeWhenUnused) {
            removeFiles();
        }
        for (int fd : {bands, index, lock}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    void removeFiles() {
        std::lock_guard guard(m_mutex);
        if (m_removed || folder.isEmpty()) {
            return;
        }
        m_removed = true;
        QDir dir(folder);
        dir.remove(kIndexName);
        dir.remove(kBandsName);
        dir.remove(InputEventLog::fileName());
        dir.remove(kLockName);
        QDir().rmdir(folder);
    }

private:
    std::mutex m_mutex;
    bool m_removed = false;
};

namespace {

// One compressed band of a store, decoded when an Image reads it.
class StoredBand : public PixelSource {
public:
    StoredBand(std::shared_ptr<StoreFile> file, QSize size, const StoreScan::Band& where,
               QByteArray memory, std::shared_ptr<MemoryBudget> budget)
        : m_file(std::move(file)),
          m_size(size),
          m_where(where),
          m_memory(std::move(memory)),
          m_budget(std::move(budget)) {}
    ~StoredBand() override {
        if (m_budget) {
            m_budget->give(m_memory.size());
        }
    }
    QSize size() const override { return m_size; }

    bool decode(uchar* out) const override {
        const char* compressed = m_memory.constData();
        if (m_memory.isEmpty()) {
            thread_local std::vector<char> buffer;
            buffer.resize(m_where.bytes);
            if (!readFully(m_file->bands, buffer.data(), m_where.bytes, m_where.offset) ||
                checksum(buffer.data(), m_where.bytes) != m_where.checksum) {
                return false;
            }
            compressed = buffer.data();
        }
        thread_local std::unique_ptr<ZSTD_DCtx, DecompressorDeleter> context(ZSTD_createDCtx());
        if (!context) {
            return false;
        }
        const size_t raw =
            static_cast<size_t>(m_size.width()) * static_cast<size_t>(m_size.height()) * 4;
        const size_t n = ZSTD_decompressDCtx(context.get(), out, raw, compressed, m_where.bytes);
        return !ZSTD_isError(n) && n == raw;
    }

private:
    std::shared_ptr<StoreFile> m_file;
    QSize m_size;
    StoreScan::Band m_where;
    QByteArray m_memory;  // the compressed bytes, when the budget allowed keeping them
    std::shared_ptr<MemoryBudget> m_budget;
};

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
    std::vector<char> header(kBandsMagic, kBandsMagic + 8);
    put32(header, kVersion);
    put32(header, 0);
    if (auto e =
            store->writeBytes(file->bands, header.data(), header.size(), &store->m_bandsOffset)) {
        return fail(*e);
    }
    header.assign(kIndexMagic, kIndexMagic + 8);
    put32(header, kVersion);
    put32(header, 0);
    uint64_t fpsBits;
    std::memcpy(&fpsBits, &store->m_fps, 8);
    put64(header, fpsBits);
    put32(header, checksum(header.data(), header.size()));
    put32(header, 0);
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
        return StoreError{StoreError::Kind::lowDisk};
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
    // The frame in bands of kBandRows rows: its own bands when it is cut so, else cut here
    // (the cuts share the frame's pixels).
    std::vector<Image> sources = frame.bands();
    bool cut = sources.size() == static_cast<size_t>((height + kBandRows - 1) / kBandRows);
    for (size_t i = 0; cut && i + 1 < sources.size(); ++i) {
        cut = sources[i].height() == kBandRows;
    }
    if (!cut) {
        sources.clear();
        for (int top = 0; top < height; top += kBandRows) {
            sources.push_back(ImageServices::subImage(
                frame, QRect(0, top, width, std::min(kBandRows, height - top))));
        }
    }
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
        const size_t n = ZSTD_compressCCtx(compressor, m_scratch.data() + at + kBandHeaderBytes,
                                           bound, input, rawBytes, kCompressionLevel);
        if (ZSTD_isError(n)) {
            return StoreError{StoreError::Kind::compressFailed};
        }
        const uint32_t sum = checksum(m_scratch.data() + at + kBandHeaderBytes, n);
        ids[b] = m_nextBand++;
        const uint32_t header[6] = {kBandTag,
                                    ids[b],
                                    static_cast<uint32_t>(width),
                                    static_cast<uint32_t>(rows),
                                    static_cast<uint32_t>(n),
                                    sum};
        std::memcpy(m_scratch.data() + at, header, sizeof header);
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
    put64(record, 0);  // reserved
    put32(record, static_cast<uint32_t>(ids.size()));
    put32(record, 0);  // reserved
    for (uint32_t id : ids) {
        put32(record, id);
    }
    put32(record, checksum(record.data() + payloadAt, record.size() - payloadAt));

    const auto bytes = static_cast<qint64>(m_scratch.size() + record.size());
    if (spaceCheckDue(bytes)) {
        if (auto low = checkSpace(bytes)) {
            m_failed = true;
            return low;
        }
    }
    const qint64 bandsStart = m_bandsOffset;
    // Bands first: an index record on disk only ever names bands written before it.
    if (auto e = writeBytes(m_file->bands, m_scratch.data(), m_scratch.size(), &m_bandsOffset)) {
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
                memory = QByteArray(m_scratch.data() + nb.recordAt + kBandHeaderBytes, nb.bytes);
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
    put32(record, 4);
    put32(record, dropsAfter);
    put32(record, checksum(record.data() + 8, 4));
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

// --- Reading back --------------------------------------------------------------------------

StoreScan scanStore(QIODevice& index, QIODevice& bands) {
    StoreScan scan;
    char header[kIndexHeaderBytes];
    if (!readExactly(bands, header, kBandsHeaderBytes) ||
        std::memcmp(header, kBandsMagic, 8) != 0 || get32(header + 8) != kVersion) {
        return scan;
    }
    if (!readExactly(index, header, kIndexHeaderBytes) ||
        std::memcmp(header, kIndexMagic, 8) != 0 || get32(header + 8) != kVersion ||
        get32(header + 24) != checksum(header, 24)) {
        return scan;
    }
    uint64_t fpsBits = get64(header + 16);
    std::memcpy(&scan.fps, &fpsBits, 8);
    if (!std::isfinite(scan.fps) || scan.fps < 1 || scan.fps > 1000) {
        scan.fps = 0;
        return scan;
    }
    scan.valid = true;

    // Every band record, up to the first damaged one.
    qint64 offset = static_cast<qint64>(kBandsHeaderBytes);
    std::vector<char> chunk(1 << 16);
    for (;;) {
        char h[kBandHeaderBytes];
        if (!readExactly(bands, h, kBandHeaderBytes)) {
            break;
        }
        const uint32_t width = get32(h + 8);
        const uint32_t rows = get32(h + 12);
        const uint32_t bytes = get32(h + 16);
        if (get32(h) != kBandTag || get32(h + 4) != scan.bands.size() + 1 || width < 1 ||
            width > kMaxSide || rows < 1 || rows > kBandRows || bytes < 1 ||
            bytes > ZSTD_compressBound(size_t{width} * rows * 4)) {
            break;
        }
        uLong crc = crc32(0L, Z_NULL, 0);
        uint32_t left = bytes;
        while (left > 0) {
            const uint32_t n = std::min<uint32_t>(left, static_cast<uint32_t>(chunk.size()));
            if (!readExactly(bands, chunk.data(), n)) {
                break;
            }
            crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()), n);
            left -= n;
        }
        if (left > 0 || static_cast<uint32_t>(crc) != get32(h + 20)) {
            break;
        }
        scan.bands.push_back(StoreScan::Band{offset + static_cast<qint64>(kBandHeaderBytes), bytes,
                                             get32(h + 20), static_cast<int>(width),
                                             static_cast<int>(rows)});
        offset += static_cast<qint64>(kBandHeaderBytes) + bytes;
    }

    // Every frame record, up to the first damaged one; a frame whose bands are not all intact
    // is lost, and its time goes to the intact frame before it.
    auto giveTime = [&scan](uint32_t intervals) {
        if (!scan.extraIntervals.empty()) {
            scan.extraIntervals.back() += intervals;
        }
    };
    std::vector<char> payload;
    for (;;) {
        char h[8];
        if (!readExactly(index, h, 8)) {
            break;
        }
        const uint32_t tag = get32(h);
        const uint32_t size = get32(h + 4);
        if (tag == kEndTag && size == 4) {
            char body[8];
            if (!readExactly(index, body, 8) || get32(body + 4) != checksum(body, 4)) {
                break;
            }
            giveTime(std::min<uint32_t>(get32(body), 1u << 20));
            break;
        }
        if (tag != kFrameTag || size < kFrameFixedBytes || (size - kFrameFixedBytes) % 4 != 0 ||
            (size - kFrameFixedBytes) / 4 > kMaxBandsPerFrame) {
            break;
        }
        payload.resize(size + 4);
        if (!readExactly(index, payload.data(), size + 4) ||
            get32(payload.data() + size) != checksum(payload.data(), size)) {
            break;
        }
        const char* p = payload.data();
        StoreScan::Frame frame;
        const uint32_t width = get32(p + 4);
        const uint32_t height = get32(p + 8);
        frame.dropsBefore = std::min<uint32_t>(get32(p + 12), 1u << 20);
        frame.timestamp.value = static_cast<int64_t>(get64(p + 16));
        frame.timestamp.timescale = static_cast<int32_t>(get32(p + 24));
        frame.timestamp.flags = get32(p + 28);
        const uint32_t count = get32(p + 40);
        bool intact = width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide &&
                      qint64{width} * height <= ImageServices::kMaxSurfacePixels &&
                      count == (height + kBandRows - 1) / kBandRows &&
                      count == (size - kFrameFixedBytes) / 4;
        for (uint32_t i = 0; intact && i < count; ++i) {
            const uint32_t id = get32(p + kFrameFixedBytes + 4 * i);
            const uint32_t rows = std::min<uint32_t>(kBandRows, height - i * kBandRows);
            intact = id >= 1 && id <= scan.bands.size() &&
                     scan.bands[id - 1].width == static_cast<int>(width) &&
                     scan.bands[id - 1].rows == static_cast<int>(rows);
            if (intact) {
                frame.bands.push_back(id - 1);
            }
        }
        if (!intact) {
            ++scan.lostFrames;
            giveTime(frame.dropsBefore + 1);
            continue;
        }
        giveTime(frame.dropsBefore);
        frame.width = static_cast<int>(width);
        frame.height = static_cast<int>(height);
        scan.frames.push_back(std::move(frame));
        scan.extraIntervals.push_back(0);
    }
    return scan;
}

StoreScan scanStore(const QByteArray& index, const QByteArray& bands) {
    QByteArray indexCopy = index;
    QByteArray bandsCopy = bands;
    QBuffer indexDevice(&indexCopy);
    QBuffer bandsDevice(&bandsCopy);
    indexDevice.open(QIODevice::ReadOnly);
    bandsDevice.open(QIODevice::ReadOnly);
    return scanStore(indexDevice, bandsDevice);
}

std::optional<RecordingStore::Recovered> RecordingStore::recover(const QString& folder,
                                                                 const StoreOptions& options) {
    auto file = std::make_shared<StoreFile>();
    const QDir dir(folder);
    file->lock = ::open(QFile::encodeName(dir.filePath(kLockName)).constData(),
                        O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (file->lock < 0 || flock(file->lock, LOCK_EX | LOCK_NB) != 0) {
        return std::nullopt;  // in use by a running instance, or not ours to take
    }
    file->folder = folder;
    file->removeWhenUnused = false;  // until the caller takes the recording
    file->bands =
        ::open(QFile::encodeName(dir.filePath(kBandsName)).constData(), O_RDONLY | O_CLOEXEC);

    std::shared_ptr<RecordingStore> store(new RecordingStore());
    store->m_options = options;
    store->m_file = file;
    store->m_failed = true;  // read only
    Recovered recovered;
    recovered.store = store;

    QFile index(dir.filePath(kIndexName));
    QFile bands(dir.filePath(kBandsName));
    if (file->bands < 0 || !index.open(QIODevice::ReadOnly) || !bands.open(QIODevice::ReadOnly)) {
        return recovered;
    }
    const StoreScan scan = scanStore(index, bands);
    store->m_fps = scan.fps;
    recovered.lostFrames = scan.lostFrames;
    std::vector<std::shared_ptr<const PixelSource>> sources(scan.bands.size());
    for (size_t i = 0; i < scan.frames.size(); ++i) {
        const StoreScan::Frame& frame = scan.frames[i];
        std::vector<Image> parts;
        for (uint32_t b : frame.bands) {
            if (!sources[b]) {
                const StoreScan::Band& band = scan.bands[b];
                sources[b] = std::make_shared<StoredBand>(file, QSize(band.width, band.rows), band,
                                                          QByteArray(), nullptr);
            }
            parts.push_back(Image::decodedOnDemand(sources[b]));
        }
        Image image = Image::stacked(std::move(parts));
        if (image.isNull()) {
            ++recovered.lostFrames;
            continue;
        }
        recovered.images.push_back(image);
        recovered.delays.push_back((1.0 + scan.extraIntervals[i]) / scan.fps);
    }
    store->m_frameCount = recovered.images.size();
    return recovered;
}

QStringList RecordingStore::leftovers(const QString& root) {
    QStringList found;
    const QFileInfoList entries =
        QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time);
    for (const QFileInfo& entry : entries) {
        const QDir dir(entry.absoluteFilePath());
        if (!entry.fileName().startsWith(QStringLiteral("rec-")) || !dir.exists(kIndexName)) {
            continue;
        }
        const int lock = ::open(QFile::encodeName(dir.filePath(kLockName)).constData(),
                                O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (lock < 0) {
            continue;
        }
        if (flock(lock, LOCK_EX | LOCK_NB) == 0) {
            found << entry.absoluteFilePath();
        }
        ::close(lock);
    }
    return found;
}

}  // namespace mirelo
