// Fault injection for the recording store: a store of known frames is written once, and every
// case damages a copy of its two files (cuts at and inside every record, flipped bytes in every
// record and header field, bursts of flipped bytes, a file deleted) before recovering it the
// way the application does. The property: every frame whose records and bands are intact
// comes back with its pixels and its time, nothing damaged comes back, and nothing is deleted.
#include "capture/RecordingStore.h"
#include "image/ImageServices.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

using namespace mirelo;

namespace {

constexpr double kFps = 10;
constexpr int kFrames = 24;
constexpr int kWidth = 40;
constexpr int kHeight = 40;  // three bands: 16, 16 and 8 rows

uint32_t get32(const QByteArray& data, qsizetype at) {
    uint32_t v;
    std::memcpy(&v, data.constData() + at, 4);
    return v;
}

Image noiseImage(uint32_t seed) {
    QImage surface = ImageServices::createSurface(kWidth, kHeight);
    QRandomGenerator random(seed);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(surface.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            row[x] = random.generate() | 0xff000000u;
        }
    }
    return ImageServices::imageFromSurface(std::move(surface));
}

// One record (or the header) of a file, as the intact file lays it out.
struct Record {
    enum Kind { header, band, frame, end } kind;
    qsizetype offset;
    qsizetype size;
    uint32_t id;                 // a band's id, a frame's number
    std::vector<uint32_t> uses;  // a frame's band ids
};

std::vector<Record> layout(const QByteArray& file) {
    std::vector<Record> records{{Record::header, 0, 32, 0, {}}};
    for (qsizetype at = 32; at < file.size();) {
        const uint32_t tag = get32(file, at);
        Record r{Record::end, at, 12 + qsizetype(get32(file, at + 4)), 0, {}};
        if (tag == 0x444e424d) {  // band
            r = {Record::band, at, 28 + qsizetype(get32(file, at + 16)), get32(file, at + 4), {}};
        } else if (tag == 0x4d52464d) {  // frame
            r.kind = Record::frame;
            r.id = get32(file, at + 8);
            for (uint32_t i = 0; i < get32(file, at + 48); ++i) {
                r.uses.push_back(get32(file, at + 56 + 4 * qsizetype(i)));
            }
        }
        records.push_back(r);
        at += r.size;
    }
    return records;
}

// What was written: both files, every frame's pixels and start (in frame intervals).
struct Written {
    QByteArray index, bands;
    std::vector<std::vector<uint8_t>> pixels;
    std::vector<uint64_t> positions;
};

Written writeStore() {
    QTemporaryDir dir;
    StoreOptions options;
    options.root = dir.path();
    options.diskReserve = 0;
    Written written;
    auto store = RecordingStore::create(options, kFps);
    EXPECT_TRUE(store);
    Image previous = noiseImage(1000);
    uint64_t position = 0;
    for (uint32_t n = 0; n < kFrames; ++n) {
        // Each frame changes one band of the one before, every fifth none; a few frames are
        // dropped before frame 7.
        Image frame = previous;
        if (n % 5 != 4) {
            const int top = 16 * int(n % 3);
            std::vector<Image> parts;
            const Image noise = noiseImage(n);
            for (int y = 0; y < kHeight; y += 16) {
                const QRect band(0, y, kWidth, std::min(16, kHeight - y));
                parts.push_back(ImageServices::subImage(y == top ? noise : previous, band));
            }
            frame = Image::stacked(std::move(parts));
        }
        const uint32_t drops = n == 7 ? 2 : 0;
        position += drops;
        EXPECT_FALSE(store->append(frame, MediaTime{n, 10, MediaTime::Valid}, drops, nullptr));
        written.pixels.push_back(ImageServices::readBytes(frame));
        written.positions.push_back(position++);
        previous = frame;
    }
    EXPECT_FALSE(store->finish(1));
    QFile index(QDir(store->folder()).filePath(QStringLiteral("frames.idx")));
    QFile bands(QDir(store->folder()).filePath(QStringLiteral("bands.dat")));
    EXPECT_TRUE(index.open(QIODevice::ReadOnly) && bands.open(QIODevice::ReadOnly));
    written.index = index.readAll();
    written.bands = bands.readAll();
    return written;
}

// One damage: the two files as they are left (null: deleted) and the byte ranges touched.
struct Damage {
    std::string what;
    std::optional<QByteArray> index, bands;
    std::vector<std::pair<qsizetype, qsizetype>> indexTouched, bandsTouched;  // [from, to)
};

bool touched(const Record& r, const std::vector<std::pair<qsizetype, qsizetype>>& ranges) {
    for (const auto& [from, to] : ranges) {
        if (from < r.offset + r.size && to > r.offset) {
            return true;
        }
    }
    return false;
}

class Harness {
public:
    Harness() : m_written(writeStore()) {
        m_index = layout(m_written.index);
        m_bands = layout(m_written.bands);
    }
    const Written& written() const { return m_written; }
    const std::vector<Record>& records(bool bandsFile) const {
        return bandsFile ? m_bands : m_index;
    }

    Damage cut(bool bandsFile, qsizetype at) const {
        Damage d{
            (bandsFile ? "bands.dat" : "frames.idx") + std::string(" cut at ") + std::to_string(at),
            m_written.index,
            m_written.bands,
            {},
            {}};
        (bandsFile ? *d.bands : *d.index).truncate(at);
        (bandsFile ? d.bandsTouched : d.indexTouched).push_back({at, qsizetype{1} << 40});
        return d;
    }
    Damage flip(bool bandsFile, qsizetype at, qsizetype count, QRandomGenerator& random) const {
        Damage d{(bandsFile ? "bands.dat" : "frames.idx") + std::string(" flipped at ") +
                     std::to_string(at) + "+" + std::to_string(count),
                 m_written.index,
                 m_written.bands,
                 {},
                 {}};
        QByteArray& file = bandsFile ? *d.bands : *d.index;
        count = std::min(count, file.size() - at);
        for (qsizetype i = 0; i < count; ++i) {
            file[at + i] = char(file[at + i] ^ char(1 + random.bounded(255)));
        }
        (bandsFile ? d.bandsTouched : d.indexTouched).push_back({at, at + count});
        return d;
    }
    Damage remove(bool bandsFile) const {
        Damage d{bandsFile ? "bands.dat deleted" : "frames.idx deleted",
                 m_written.index,
                 m_written.bands,
                 {},
                 {}};
        (bandsFile ? d.bands : d.index).reset();
        (bandsFile ? d.bandsTouched : d.indexTouched).push_back({0, qsizetype{1} << 40});
        return d;
    }

    // The frame numbers a recovery must give back: one of the frame's records, all its bands
    // and one of the headers untouched.
    std::set<uint32_t> intact(const Damage& d) const {
        std::set<uint32_t> frames;
        std::set<uint32_t> bands;
        std::set<uint32_t> badBands;
        for (const Record& r : m_bands) {
            if (r.kind == Record::band) {
                (touched(r, d.bandsTouched) ? badBands : bands).insert(r.id);
            }
        }
        if (touched(m_index[0], d.indexTouched) && touched(m_bands[0], d.bandsTouched)) {
            return frames;
        }
        for (bool bandsFile : {false, true}) {
            for (const Record& r : records(bandsFile)) {
                if (r.kind != Record::frame ||
                    touched(r, bandsFile ? d.bandsTouched : d.indexTouched)) {
                    continue;
                }
                bool whole = true;
                for (uint32_t id : r.uses) {
                    whole = whole && bands.contains(id) && !badBands.contains(id);
                }
                if (whole) {
                    frames.insert(r.id);
                }
            }
        }
        return frames;
    }

private:
    Written m_written;
    std::vector<Record> m_index, m_bands;
};

void writeFile(const QString& path, const std::optional<QByteArray>& bytes) {
    if (bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(*bytes), bytes->size());
    }
}

}  // namespace

TEST(StoreDamage, EveryIntactFrameComesBackWithItsPixelsAndTimeAndNothingIsDeleted) {
    const Harness harness;
    const Written& written = harness.written();
    ASSERT_EQ(written.pixels.size(), size_t(kFrames));
    QRandomGenerator random(24);
    std::vector<Damage> damages;
    for (bool bandsFile : {false, true}) {
        for (const Record& r : harness.records(bandsFile)) {
            damages.push_back(harness.cut(bandsFile, r.offset));
            damages.push_back(harness.cut(bandsFile, r.offset + 1 + random.bounded(r.size - 1)));
            damages.push_back(
                harness.flip(bandsFile, r.offset + random.bounded(r.size), 1, random));
        }
        // Every field of the header: magic, version, 0, frame rate, checksum, 0.
        for (qsizetype field : {0, 8, 12, 16, 24, 28}) {
            damages.push_back(harness.flip(bandsFile, field, 1, random));
        }
        const qsizetype size = bandsFile ? written.bands.size() : written.index.size();
        for (int burst = 0; burst < 20; ++burst) {
            damages.push_back(
                harness.flip(bandsFile, random.bounded(size), 1 + random.bounded(64), random));
        }
        damages.push_back(harness.remove(bandsFile));
    }
    // Both headers: nothing can be read, and the store must still be kept.
    Damage both = harness.flip(false, 8, 1, random);
    both.bands->data()[8] ^= 0x40;
    both.bandsTouched.push_back({8, 9});
    both.what = "both versions changed";
    damages.push_back(both);

    size_t intactFrames = 0;
    size_t recoveredFrames = 0;
    size_t casesWithLoss = 0;
    QTemporaryDir root;
    for (size_t c = 0; c < damages.size(); ++c) {
        const Damage& damage = damages[c];
        SCOPED_TRACE(damage.what);
        const QString folder = QDir(root.path()).filePath(QStringLiteral("rec-case-%1").arg(c));
        ASSERT_TRUE(QDir().mkpath(folder));
        writeFile(QDir(folder).filePath(QStringLiteral("frames.idx")), damage.index);
        writeFile(QDir(folder).filePath(QStringLiteral("bands.dat")), damage.bands);
        // Another file of the same recording, which recovery leaves alone.
        writeFile(QDir(folder).filePath(QStringLiteral("extra")), QByteArray("keep"));

        const std::set<uint32_t> expected = harness.intact(damage);
        intactFrames += expected.size();
        {
            auto recovered = RecordingStore::recover(folder, StoreOptions{});
            ASSERT_TRUE(recovered);
            ASSERT_EQ(recovered->images.size(), recovered->delays.size());
            ASSERT_EQ(recovered->images.size(), recovered->times.size());
            std::set<uint32_t> back;
            for (size_t i = 0; i < recovered->images.size(); ++i) {
                // The frame is known by its time.
                const auto position = uint64_t(std::llround(recovered->times[i] * kFps));
                const auto it =
                    std::find(written.positions.begin(), written.positions.end(), position);
                ASSERT_NE(it, written.positions.end()) << "a frame at a time never recorded";
                const auto n = uint32_t(it - written.positions.begin());
                ASSERT_TRUE(expected.contains(n)) << "frame " << n << " came back damaged";
                ASSERT_EQ(ImageServices::readBytes(recovered->images[i]), written.pixels[n])
                    << "frame " << n;
                if (i + 1 < recovered->images.size()) {
                    EXPECT_NEAR(recovered->delays[i], recovered->times[i + 1] - recovered->times[i],
                                1e-9);
                }
                back.insert(n);
            }
            recoveredFrames += back.size();
            EXPECT_EQ(back, expected);
            if (!expected.empty()) {
                // The end record survives in one of the files: the count of the lost is known.
                EXPECT_EQ(recovered->lostFrames, kFrames - expected.size());
                EXPECT_TRUE(recovered->damaged || recovered->lostFrames == 0);
                EXPECT_GE(recovered->lostSeconds + 1e-9, double(recovered->lostFrames) / kFps);
            } else {
                EXPECT_TRUE(recovered->damaged);
                EXPECT_FALSE(recovered->nothingRecorded);
            }
            casesWithLoss += expected.size() < size_t(kFrames) ? 1 : 0;
        }
        // Let go without being taken: everything is still there.
        EXPECT_EQ(QFile::exists(QDir(folder).filePath(QStringLiteral("frames.idx"))),
                  damage.index.has_value());
        EXPECT_EQ(QFile::exists(QDir(folder).filePath(QStringLiteral("bands.dat"))),
                  damage.bands.has_value());
        EXPECT_TRUE(QFile::exists(QDir(folder).filePath(QStringLiteral("extra"))));
        QDir(folder).removeRecursively();
    }
    std::printf(
        "[ figures  ] %zu damage cases (%zu with frames lost): %zu of %zu intact frames "
        "recovered\n",
        damages.size(), casesWithLoss, recoveredFrames, intactFrames);
    RecordProperty("cases", int(damages.size()));
    RecordProperty("intact", int(intactFrames));
    RecordProperty("recovered", int(recoveredFrames));
    EXPECT_EQ(recoveredFrames, intactFrames);
}
