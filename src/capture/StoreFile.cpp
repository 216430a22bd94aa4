#include "capture/StoreFile.h"

#include "capture/StoreFormat.h"

#include <QDir>

#include <zstd.h>

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace mirelo {

namespace {

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

}  // namespace

StoreFile::~StoreFile() {
    if (removeWhenUnused) {
        removeFiles();
    }
    for (int fd : {bands, index, lock}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void StoreFile::removeFiles() {
    std::lock_guard guard(m_mutex);
    if (m_removed || folder.isEmpty()) {
        return;
    }
    m_removed = true;
    // Whole: the folder may hold more than the frames (other files of the same recording).
    QDir(folder).removeRecursively();
}

StoredBand::StoredBand(std::shared_ptr<StoreFile> file, QSize size, const StoreScan::Band& where,
                       QByteArray memory, std::shared_ptr<MemoryBudget> budget)
    : m_file(std::move(file)),
      m_size(size),
      m_where(where),
      m_memory(std::move(memory)),
      m_budget(std::move(budget)) {}

StoredBand::~StoredBand() {
    if (m_budget) {
        m_budget->give(m_memory.size());
    }
}

bool StoredBand::decode(uchar* out) const {
    const char* compressed = m_memory.constData();
    if (m_memory.isEmpty()) {
        thread_local std::vector<char> buffer;
        buffer.resize(m_where.bytes);
        if (!readFully(m_file->bands, buffer.data(), m_where.bytes, m_where.offset) ||
            storeformat::checksum(buffer.data(), m_where.bytes) != m_where.checksum) {
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

}  // namespace mirelo
