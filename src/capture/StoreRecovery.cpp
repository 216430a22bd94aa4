// Reading back a recording folder that a process left behind: recover() and leftovers().
#include "capture/RecordingStore.h"
#include "capture/StoreFile.h"
#include "capture/StoreScan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace mirelo {

namespace {

const QString kIndexName = QStringLiteral("frames.idx");
const QString kBandsName = QStringLiteral("bands.dat");
const QString kLockName = QStringLiteral("lock");

// A file's bytes, mapped for reading; empty when it is missing or empty.
class MappedFile {
public:
    explicit MappedFile(const QString& path) : m_file(path) {
        if (m_file.open(QIODevice::ReadOnly) && m_file.size() > 0) {
            m_data = reinterpret_cast<const char*>(m_file.map(0, m_file.size()));
            m_size = m_data ? static_cast<size_t>(m_file.size()) : 0;
        }
    }
    bool exists() const { return m_file.exists(); }
    const char* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    QFile m_file;
    const char* m_data = nullptr;
    size_t m_size = 0;
};

}  // namespace

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

    StoreScan scan;
    {
        const MappedFile index(dir.filePath(kIndexName));
        const MappedFile bands(dir.filePath(kBandsName));
        scan = scanStore(index.data(), index.size(), bands.data(), bands.size());
        const QStringList others =
            dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        const bool onlyStoreFiles = std::all_of(others.begin(), others.end(), [](const QString& n) {
            return n == kLockName || n == kIndexName || n == kBandsName;
        });
        // A store made just before its process died, or a folder left with nothing of a
        // recording in it: there is nothing to lose.
        recovered.nothingRecorded =
            scan.frames.empty() && scan.lostFrames == 0 &&
            ((scan.valid && !scan.damaged) || (index.size() == 0 && bands.size() == 0)) &&
            onlyStoreFiles;
    }
    store->m_fps = scan.valid ? scan.fps : 0;
    recovered.lostFrames = scan.lostFrames;
    recovered.lostSeconds = scan.valid ? static_cast<double>(scan.lostIntervals) / scan.fps : 0;
    recovered.damaged = scan.damaged || !scan.valid;
    if (file->bands < 0) {
        return recovered;
    }
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
        const double delay = static_cast<double>(scan.intervals[i]) / scan.fps;
        if (image.isNull()) {
            // Its time stays with the frame before, as a lost frame's does.
            ++recovered.lostFrames;
            recovered.lostSeconds += 1.0 / scan.fps;
            if (!recovered.delays.empty()) {
                recovered.delays.back() += delay;
            }
            continue;
        }
        recovered.images.push_back(image);
        recovered.delays.push_back(delay);
        recovered.times.push_back(static_cast<double>(frame.position) / scan.fps);
    }
    store->m_frameCount = recovered.images.size();
    return recovered;
}

QStringList RecordingStore::leftovers(const QString& root) {
    QStringList found;
    const QFileInfoList entries =
        QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time);
    for (const QFileInfo& entry : entries) {
        // Every recording folder counts, whichever of its files is left: one with nothing
        // readable in it is still shown to the user, never dropped unseen.
        if (!entry.fileName().startsWith(QStringLiteral("rec-")) || entry.isSymLink()) {
            continue;
        }
        const QDir dir(entry.absoluteFilePath());
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
