#include "capture/FrameStore.h"
#include "capture/RecordingStore.h"
#include "image/ImageServices.h"
#include "support/TestImages.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numeric>

using namespace mirelo;

namespace {

MediaTime at(int64_t value) {
    return MediaTime{value, 600, MediaTime::Valid};
}

// Random premultiplied pixels (alpha opaque, so premultiplication changes nothing).
Image noiseImage(int width, int height, uint32_t seed) {
    QImage surface = ImageServices::createSurface(width, height);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(surface.scanLine(y));
        for (int x = 0; x < width; ++x) {
            row[x] = random.generate() | 0xff000000u;
        }
    }
    return ImageServices::imageFromSurface(std::move(surface));
}

// `base` with rows [top, top + rows) replaced by noise, as a frame of 16-row bands sharing
// the other bands with `base` (as the X11 capture makes them).
Image withChangedRows(const Image& base, int top, int rows, uint32_t seed) {
    std::vector<Image> bands;
    const Image noise = noiseImage(base.width(), base.height(), seed);
    for (int y = 0; y < base.height(); y += 16) {
        const QRect band(0, y, base.width(), std::min(16, base.height() - y));
        const bool changed = band.intersects(QRect(0, top, base.width(), rows));
        bands.push_back(ImageServices::subImage(changed ? noise : base, band));
    }
    return Image::stacked(std::move(bands));
}

StoreOptions optionsIn(const QTemporaryDir& dir) {
    StoreOptions options;
    options.root = dir.path();
    options.budget = std::make_shared<MemoryBudget>(qint64{64} << 20);
    options.diskReserve = 0;
    return options;
}

}  // namespace

TEST(RecordingStore, FramesReadBackBitExactAndUnchangedBandsAreStoredOnce) {
    QTemporaryDir dir;
    StoreOptions options = optionsIn(dir);
    auto store = RecordingStore::create(options, 30);
    ASSERT_TRUE(store);

    const Image random = noiseImage(203, 77, 1);  // not a multiple of 16 rows
    const Image partial = withChangedRows(random, 20, 5, 2);
    const Image pattern = test::patternImage(203, 77, 9);
    const std::vector<Image> frames = {random, random, partial, pattern, pattern};
    std::vector<Image> stored;
    std::vector<qint64> written;
    for (size_t i = 0; i < frames.size(); ++i) {
        Image back;
        ASSERT_FALSE(store->append(frames[i], at(int64_t(i)), 0, &back));
        stored.push_back(back);
        written.push_back(store->bytesWritten());
    }
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(ImageServices::readBytes(stored[i]), ImageServices::readBytes(frames[i])) << i;
        EXPECT_EQ(stored[i].qimage(), frames[i].qimage()) << i;
    }
    // A still frame adds only its frame record (to each file); a change of 5 rows adds one or
    // two bands.
    const qint64 still = written[1] - written[0];
    EXPECT_LT(still, 200);
    EXPECT_LT(written[2] - written[1], (written[0] / 5) * 2 + 200);
    EXPECT_EQ(written[4] - written[3], still);
    EXPECT_TRUE(stored[1].bands()[0].sharesPixelsWith(stored[0].bands()[0]));
    // Crops of a stored frame share its bands and read the same pixels.
    const Image crop = ImageServices::subImage(stored[2], QRect(10, 14, 50, 20));
    EXPECT_EQ(ImageServices::readBytes(crop),
              ImageServices::readBytes(ImageServices::subImage(partial, QRect(10, 14, 50, 20))));
}

TEST(RecordingStore, BeyondTheBudgetFramesAreReadFromDiskAndTheFolderGoesWithThem) {
    QTemporaryDir dir;
    StoreOptions options = optionsIn(dir);
    options.budget = std::make_shared<MemoryBudget>(40'000);  // room for a band or two
    QString folder;
    {
        auto store = RecordingStore::create(options, 15);
        ASSERT_TRUE(store);
        folder = store->folder();
        std::vector<Image> frames, stored;
        for (uint32_t i = 0; i < 6; ++i) {
            frames.push_back(noiseImage(160, 64, i));
            Image back;
            ASSERT_FALSE(store->append(frames.back(), at(i), 0, &back));
            stored.push_back(back);
        }
        EXPECT_LE(options.budget->used(), options.budget->limit());
        EXPECT_GT(store->bytesWritten(), options.budget->limit() * 4);
        // Read back on other threads too, newest first.
        std::vector<std::vector<uint8_t>> read(frames.size());
        std::vector<std::thread> readers;
        for (size_t i = 0; i < frames.size(); ++i) {
            readers.emplace_back([&, i] { read[i] = ImageServices::readBytes(stored[5 - i]); });
        }
        for (auto& reader : readers) {
            reader.join();
        }
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(read[i], ImageServices::readBytes(frames[5 - i])) << i;
        }
        EXPECT_TRUE(QDir(folder).exists());
        store.reset();
        // The frames still read after the store object is gone...
        EXPECT_EQ(ImageServices::readBytes(stored[0]), ImageServices::readBytes(frames[0]));
        EXPECT_TRUE(QDir(folder).exists());
    }
    // ...and the folder goes with the last of them.
    EXPECT_FALSE(QDir(folder).exists());
    EXPECT_EQ(options.budget->used(), 0);
}

TEST(RecordingStore, ATruncatedOrDamagedStoreGivesBackItsIntactFramesWithTheirTime) {
    QTemporaryDir dir;
    const StoreOptions options = optionsIn(dir);
    std::vector<Image> frames;
    QString folder;
    {
        auto store = RecordingStore::create(options, 10);
        ASSERT_TRUE(store);
        folder = store->folder();
        for (uint32_t i = 0; i < 8; ++i) {
            frames.push_back(noiseImage(64, 40, 100 + i));
            ASSERT_FALSE(store->append(frames.back(), at(i), i == 2 ? 3 : 0, nullptr));
        }
        ASSERT_FALSE(store->finish(1));
        // Cut the bands file inside the sixth frame's pixels, as a crash would.
        QFile bands(QDir(folder).filePath(QStringLiteral("bands.dat")));
        ASSERT_TRUE(bands.open(QIODevice::ReadWrite));
        const qint64 perFrame = (bands.size() - 32) / 8;
        ASSERT_TRUE(bands.resize(32 + perFrame * 5 + perFrame / 2));
        // Moved away, the folder outlives the store object, as when the process dies.
        const QString kept = QDir(dir.path()).filePath(QStringLiteral("kept"));
        ASSERT_TRUE(QDir().rename(folder, kept));
        folder = kept;
    }
    ASSERT_TRUE(QDir(folder).exists());
    const QStringList found = RecordingStore::leftovers(dir.path());
    ASSERT_TRUE(found.isEmpty()) << "only recording folders are offered";
    const QString named = QDir(dir.path()).filePath(QStringLiteral("rec-crashed"));
    ASSERT_TRUE(QDir().rename(folder, named));
    ASSERT_EQ(RecordingStore::leftovers(dir.path()), QStringList{named});

    auto recovered = RecordingStore::recover(named, options);
    ASSERT_TRUE(recovered);
    ASSERT_EQ(recovered->images.size(), 5u);
    EXPECT_EQ(recovered->lostFrames, 3u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(ImageServices::readBytes(recovered->images[i]),
                  ImageServices::readBytes(frames[i]));
    }
    // Frame 1 had 3 frames dropped after it; the last intact frame keeps the lost frames' time
    // and the end record's drop: 8 frames + 3 dropped + 1 dropped at the end = 1.2 s at 10 fps.
    EXPECT_DOUBLE_EQ(recovered->delays[1], 0.4);
    EXPECT_DOUBLE_EQ(std::accumulate(recovered->delays.begin(), recovered->delays.end(), 0.0), 1.2);
    // A running store is not offered twice while it is held.
    EXPECT_TRUE(RecordingStore::leftovers(dir.path()).isEmpty());
    EXPECT_FALSE(RecordingStore::recover(named, options));
    // Let go without being taken, it stays for the next start; taken, it goes with its frames.
    recovered.reset();
    EXPECT_TRUE(QDir(named).exists());
    recovered = RecordingStore::recover(named, options);
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->images.size(), 5u);
    recovered->store->removeWhenUnused();
    recovered.reset();
    EXPECT_FALSE(QDir(named).exists());
}

TEST(RecordingStore, DamagedBytesNeverCrashTheScanAndNeverYieldABadFrame) {
    QTemporaryDir dir;
    auto store = RecordingStore::create(optionsIn(dir), 30);
    ASSERT_TRUE(store);
    for (uint32_t i = 0; i < 4; ++i) {
        ASSERT_FALSE(store->append(noiseImage(40, 33, i), at(i), 0, nullptr));
    }
    ASSERT_FALSE(store->finish(0));
    QFile indexFile(QDir(store->folder()).filePath(QStringLiteral("frames.idx")));
    QFile bandsFile(QDir(store->folder()).filePath(QStringLiteral("bands.dat")));
    ASSERT_TRUE(indexFile.open(QIODevice::ReadOnly) && bandsFile.open(QIODevice::ReadOnly));
    const QByteArray index = indexFile.readAll();
    const QByteArray bands = bandsFile.readAll();
    const StoreScan whole = scanStore(index, bands);
    ASSERT_TRUE(whole.valid);
    ASSERT_EQ(whole.frames.size(), 4u);
    EXPECT_EQ(whole.lostFrames, 0u);

    QRandomGenerator random(7);
    for (int round = 0; round < 400; ++round) {
        QByteArray i = index, b = bands;
        QByteArray& target = round % 2 ? i : b;
        for (int flips = 1 + round % 4; flips > 0; --flips) {
            target[random.bounded(target.size())] = char(random.generate());
        }
        if (round % 5 == 0) {
            target.truncate(random.bounded(target.size()));
        }
        const StoreScan scan = scanStore(i, b);
        ASSERT_LE(scan.frames.size() + scan.lostFrames, 4u);
        ASSERT_EQ(scan.intervals.size(), scan.frames.size());
        for (const StoreScan::Frame& frame : scan.frames) {
            ASSERT_EQ(frame.bands.size(), size_t((frame.height + 15) / 16));
            for (uint32_t band : frame.bands) {
                ASSERT_LT(band, scan.bands.size());
                ASSERT_LE(scan.bands[band].offset + scan.bands[band].bytes, b.size());
            }
        }
    }
    EXPECT_FALSE(scanStore(QByteArray(), QByteArray()).valid);
}

// The writer thread waits in the free-space check until the test lets it go, so the queue fills
// and frames are dropped at a known place.
TEST(FrameStoreRecording, FramesTheDiskCannotTakeAreDroppedWithTheirTimeKept) {
    QTemporaryDir dir;
    StoreOptions options = optionsIn(dir);
    std::mutex mutex;
    std::condition_variable changed;
    bool held = true;
    int checks = 0;
    options.freeSpace = [&](const QString&) -> qint64 {
        std::unique_lock lock(mutex);
        ++checks;
        changed.notify_all();
        changed.wait(lock, [&] { return !held || checks == 1; });
        return qint64{1} << 40;
    };
    FrameStore store(options);
    ASSERT_FALSE(store.begin(30));  // the first check (at creation) passes at once
    // 4 MiB frames: the queue holds kQueueBytes of them.
    const Image image = test::patternImage(1024, 1024, 1);
    const size_t queued = FrameStore::kQueueBytes / (qint64{1024} * 1024 * 4);
    store.append(image, at(0));
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return checks == 2; });  // the writer holds frame 0
    }
    for (int i = 1; i < 30; ++i) {
        store.append(i == 1 ? image : test::solidImage(1024, 1024, Qt::red), at(i));
    }
    {
        std::lock_guard lock(mutex);
        held = false;
    }
    changed.notify_all();
    const auto frames = store.drain();
    ASSERT_EQ(frames.size(), 1 + queued);
    EXPECT_EQ(store.droppedFrames(), 30 - frames.size());
    const FrameStore::WriterCounts writer = store.writerCounts();
    EXPECT_EQ(writer.written, frames.size());
    EXPECT_EQ(writer.peakQueued, queued);
    size_t intervals = 0;
    for (const auto& frame : frames) {
        intervals += 1 + frame.dropsAfter;
    }
    EXPECT_EQ(intervals, 30u);
    EXPECT_EQ(frames[0].dropsAfter, 0u);
    EXPECT_EQ(frames.back().dropsAfter, 30 - frames.size());
    EXPECT_EQ(frames[1].image.qimage(), image.qimage());
    EXPECT_EQ(frames[2].image.qimage(), test::solidImage(1024, 1024, Qt::red).qimage());
}

// A disk with room for three and a half frames above the reserve: the free space is what the
// store's files leave of it.
TEST(FrameStoreRecording, ANearlyFullDiskStopsTheRecordingAndKeepsItsFrames) {
    QTemporaryDir dir;
    StoreOptions options = optionsIn(dir);
    qint64 perFrame = 0;
    {
        QTemporaryDir probeDir;
        auto probe = RecordingStore::create(optionsIn(probeDir), 15);
        ASSERT_TRUE(probe);
        const qint64 empty = probe->bytesWritten();
        ASSERT_FALSE(probe->append(noiseImage(100, 100, 0), at(0), 0, nullptr));
        perFrame = probe->bytesWritten() - empty;
        options.diskReserve = 1 << 20;
        options.diskReserve += empty;
    }
    const qint64 capacity = options.diskReserve + perFrame * 7 / 2;
    auto used = [&dir] {
        qint64 bytes = 0;
        for (QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            bytes += it.nextFileInfo().size();
        }
        return bytes;
    };
    options.freeSpace = [&](const QString&) { return capacity - used(); };
    FrameStore store(options);
    std::mutex mutex;
    std::vector<StoreError> failures;
    store.setFailureHandler([&](const StoreError& error) {
        std::lock_guard lock(mutex);
        failures.push_back(error);
    });
    ASSERT_FALSE(store.begin(15));
    // Noise hardly compresses: every frame takes about as much as the probe's.
    std::vector<Image> frames;
    for (uint32_t i = 0; i < 6; ++i) {
        frames.push_back(noiseImage(100, 100, i));
        store.append(frames.back(), at(i));
    }
    const auto kept = store.drain();
    ASSERT_EQ(kept.size(), 3u);
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(ImageServices::readBytes(kept[i].image), ImageServices::readBytes(frames[i]));
    }
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(failures[0].lowDisk());
    EXPECT_LE(used(), capacity - (1 << 20));
    EXPECT_EQ(store.droppedFrames(), 0u);
    // With the reserve all that is left, a new recording is refused with the same message.
    options.diskReserve = capacity;
    const std::optional<StoreError> refused = FrameStore(options).begin(15);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->lowDisk());
    EXPECT_TRUE(refused->noRoomToStart);
    EXPECT_EQ(refused->folder, options.root);
    EXPECT_GT(refused->neededBytes, 0);
}

// A recorder killed with SIGKILL leaves a store the next start reads back whole.
TEST(RecordingStore, ARecordingLeftByAKilledProcessIsRecovered) {
    QTemporaryDir dir;
    QProcess writer;
    writer.start(QStringLiteral(STORE_WRITER), {dir.path(), QStringLiteral("12")});
    ASSERT_TRUE(writer.waitForStarted());
    QByteArray said;
    while (!said.contains("ready") && writer.waitForReadyRead(60'000)) {
        said += writer.readAllStandardOutput();
    }
    ASSERT_TRUE(said.contains("ready")) << said.constData();
    // In use while its writer lives.
    EXPECT_TRUE(RecordingStore::leftovers(dir.path()).isEmpty());
    writer.kill();
    ASSERT_TRUE(writer.waitForFinished());

    const QStringList found = RecordingStore::leftovers(dir.path());
    ASSERT_EQ(found.size(), 1);
    auto recovered = RecordingStore::recover(found[0], optionsIn(dir));
    ASSERT_TRUE(recovered);
    ASSERT_EQ(recovered->images.size(), 12u);
    EXPECT_EQ(recovered->lostFrames, 0u);
    for (uint32_t i = 0; i < 12; ++i) {
        // The writer records noise frames 0, 1, 2 and then every frame again (a still screen).
        EXPECT_EQ(ImageServices::readBytes(recovered->images[i]),
                  ImageServices::readBytes(noiseImage(300, 170, std::min(i, 2u))))
            << i;
        EXPECT_DOUBLE_EQ(recovered->delays[i], 1.0 / 24);
    }
}

// A store written by the first version of the format (four noise frames of 24 x 20 at 10 fps,
// seeds 1, 1, 2, 3, two frames dropped before the third, one after the last) still reads, and
// taken, its folder goes whole with whatever else was put in it.
TEST(RecordingStore, AStoreOfTheFirstFormatStillReadsAndGoesWhole) {
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).filePath(QStringLiteral("rec-old"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QDir data(QStringLiteral(STORE_V1));
    for (const QString& name : {QStringLiteral("frames.idx"), QStringLiteral("bands.dat")}) {
        ASSERT_TRUE(QFile::copy(data.filePath(name), QDir(folder).filePath(name)));
    }
    QFile other(QDir(folder).filePath(QStringLiteral("input-events")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("other data of the recording");
    other.close();

    ASSERT_EQ(RecordingStore::leftovers(dir.path()), QStringList{folder});
    auto recovered = RecordingStore::recover(folder, optionsIn(dir));
    ASSERT_TRUE(recovered);
    ASSERT_EQ(recovered->images.size(), 4u);
    EXPECT_EQ(recovered->lostFrames, 0u);
    EXPECT_FALSE(recovered->damaged);
    const uint32_t seeds[] = {1, 1, 2, 3};
    const double delays[] = {0.1, 0.3, 0.1, 0.2};
    const double times[] = {0, 0.1, 0.4, 0.5};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(ImageServices::readBytes(recovered->images[i]),
                  ImageServices::readBytes(noiseImage(24, 20, seeds[i])))
            << i;
        EXPECT_DOUBLE_EQ(recovered->delays[i], delays[i]) << i;
        EXPECT_DOUBLE_EQ(recovered->times[i], times[i]) << i;
    }
    recovered->store->removeWhenUnused();
    recovered.reset();
    EXPECT_FALSE(QDir(folder).exists());
}

// Frames lost in the middle leave their time where it was: the frames after them start when
// they started, and the offer can tell how much was lost.
TEST(RecordingStore, AFrameWithADamagedBandIsTheOnlyOneLostAndTheGapKeepsItsLength) {
    QTemporaryDir dir;
    const StoreOptions options = optionsIn(dir);
    QString folder;
    std::vector<Image> frames;
    {
        auto store = RecordingStore::create(options, 10);
        ASSERT_TRUE(store);
        for (uint32_t i = 0; i < 10; ++i) {
            frames.push_back(noiseImage(32, 16, 200 + i));  // one band each
            ASSERT_FALSE(store->append(frames.back(), at(i), 0, nullptr));
        }
        ASSERT_FALSE(store->finish(0));
        store->removeWhenUnused();
        folder = QDir(dir.path()).filePath(QStringLiteral("rec-damaged"));
        ASSERT_TRUE(QDir().rename(store->folder(), folder));
    }
    // 16 bytes flipped in the middle of the bands file, inside one frame's pixels.
    QFile bands(QDir(folder).filePath(QStringLiteral("bands.dat")));
    ASSERT_TRUE(bands.open(QIODevice::ReadWrite));
    QByteArray bytes = bands.readAll();
    const qsizetype middle = bytes.size() / 2;
    for (qsizetype i = middle; i < middle + 16; ++i) {
        bytes[i] = char(~bytes[i]);
    }
    ASSERT_TRUE(bands.seek(0));
    ASSERT_EQ(bands.write(bytes), bytes.size());
    bands.close();

    auto recovered = RecordingStore::recover(folder, options);
    ASSERT_TRUE(recovered);
    ASSERT_EQ(recovered->images.size(), 9u);
    EXPECT_EQ(recovered->lostFrames, 1u);
    EXPECT_DOUBLE_EQ(recovered->lostSeconds, 0.1);
    EXPECT_TRUE(recovered->damaged);
    double total = 0;
    for (size_t i = 0; i < 9; ++i) {
        const auto n = size_t(std::llround(recovered->times[i] * 10));
        EXPECT_EQ(ImageServices::readBytes(recovered->images[i]),
                  ImageServices::readBytes(frames[n]));
        EXPECT_DOUBLE_EQ(total, recovered->times[i]);
        total += recovered->delays[i];
    }
    EXPECT_DOUBLE_EQ(total, 1.0);
    recovered.reset();
    EXPECT_TRUE(QDir(folder).exists());
}
