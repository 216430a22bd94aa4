#include "export/ExportModel.h"
#include "i18n/ModelTexts.h"

#include "export/ExportFormats.h"
#include "support/TestImages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

using namespace mirelo;
using namespace std::chrono_literals;
using mirelo::test::patternImage;
using mirelo::test::solidImage;
using mirelo::test::spinFor;
using mirelo::test::waitUntil;

namespace {

// Counts a signal's emissions and keeps their first argument as text.
QString sizeText(const ExportModel& model) {
    return i18n::describe(model.sizeEstimate());
}

QString infoText(const ExportModel& model) {
    return i18n::describe(model.processedInfo());
}

class Spy {
public:
    template <typename Signal>
    Spy(ExportModel* model, Signal signal) {
        QObject::connect(model, signal, model, [this](auto... args) { record(args...); });
    }
    int count() const { return int(m_values.size()); }
    QString at(int i) const { return m_values.at(size_t(i)); }

private:
    void record() { m_values.emplace_back(); }
    void record(const QString& text) { m_values.push_back(text); }
    // The model's values, as the interface words them.
    void record(const SizeEstimate& estimate) { m_values.push_back(i18n::describe(estimate)); }
    void record(const ProcessedInfo& info) { m_values.push_back(i18n::describe(info)); }
    template <typename T>
    void record(T value) {
        m_values.push_back(QString::number(static_cast<int>(value)));
    }
    void record(int done, int total) {
        m_values.push_back(QStringLiteral("%1/%2").arg(done).arg(total));
    }
    std::vector<QString> m_values;
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<Image> smallFrames(int count = 3) {
    std::vector<Image> frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(patternImage(64, 48, uint8_t(i * 60)));
    }
    return frames;
}

// Every test gets its own temporary folder, so estimate files can be counted.
class ExportModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", m_tmp.path().toLocal8Bit());
        ASSERT_EQ(QDir(QDir::tempPath()).canonicalPath(), QDir(m_tmp.path()).canonicalPath());
    }
    void TearDown() override { qputenv("TMPDIR", m_oldTmp); }

    QStringList estimateFiles() const {
        return QDir(m_tmp.path())
            .entryList({QStringLiteral("*mirelo-estimate-*")}, QDir::Files | QDir::Hidden);
    }
    QString output(const QString& name) const { return m_out.filePath(name); }

    // Waits for the model's current estimate to deliver its text.
    static bool waitForEstimate(ExportModel&, Spy& finished, int count = 1) {
        return waitUntil([&] { return finished.count() >= count; }, 20s);
    }

    QTemporaryDir m_tmp;
    QTemporaryDir m_out;
    QByteArray m_oldTmp;
};

TEST(ExportModelOptions, InitialValuesAndKey) {
    ExportModel model(smallFrames(), {0.1, 0.1, 0.1});
    EXPECT_EQ(model.format(), ExportFormat::gif);
    EXPECT_EQ(model.quality(), 80);
    EXPECT_FALSE(model.reduceFramesEnabled());
    EXPECT_EQ(model.reduceFramesPercent(), 30);
    EXPECT_FALSE(model.resizeEnabled());
    EXPECT_EQ(model.resizePercent(), 50);
    EXPECT_FALSE(model.skipSimilarEnabled());
    EXPECT_EQ(model.similarityPercent(), 95);
    EXPECT_EQ(model.maxSimilarDuration(), 2);
    EXPECT_EQ(infoText(model), QStringLiteral("—"));
    EXPECT_EQ(sizeText(model), QStringLiteral("计算中…"));
    EXPECT_EQ(model.cacheKey(), QStringLiteral("gif-80-0-100-0"));
    const ExportPreprocessor::Options off = model.preprocessorOptions();
    EXPECT_FALSE(off.reduceFramesPercent || off.skipSimilar || off.resizePercent);

    Spy qualitySpy(&model, &ExportModel::qualityChanged);
    model.setFormat(ExportFormat::webp);
    model.setQuality(60);
    model.setQuality(60);  // no change, no signal
    model.setReduceFramesEnabled(true);
    model.setSkipSimilarEnabled(true);
    EXPECT_EQ(qualitySpy.count(), 1);
    EXPECT_EQ(model.cacheKey(), QStringLiteral("webp-60-30-100-95-2"));
    // Disabled options keep their values but count as off.
    model.setResizePercent(70);
    EXPECT_EQ(model.cacheKey(), QStringLiteral("webp-60-30-100-95-2"));
    model.setResizeEnabled(true);
    model.setMaxSimilarDuration(5);
    EXPECT_EQ(model.cacheKey(), QStringLiteral("webp-60-30-70-95-5"));
    // A WebP stored otherwise than lossy is another file; other formats
    // ignore the WebP mode.
    model.setWebpMode(WebPMode::lossless);
    EXPECT_EQ(model.cacheKey(), QStringLiteral("webp-60-30-70-95-5-lossless"));
    EXPECT_EQ(model.encodeSettings().webpMode, WebPMode::lossless);
    model.setWebpMode(WebPMode::mixed);
    EXPECT_EQ(model.cacheKey(), QStringLiteral("webp-60-30-70-95-5-mixed"));
    model.setFormat(ExportFormat::gif);
    EXPECT_EQ(model.cacheKey(), QStringLiteral("gif-60-30-70-95-5"));
    model.setGifLossy(40);
    EXPECT_EQ(model.cacheKey(), QStringLiteral("gif-60-30-70-95-5-lossy40"));
    EXPECT_EQ(model.encodeSettings().gifLossy, 40);
    model.setGifLossy(0);
    model.setFormat(ExportFormat::webp);
    model.setWebpMode(WebPMode::lossy);

    const ExportPreprocessor::Options on = model.preprocessorOptions();
    EXPECT_EQ(on.reduceFramesPercent, 30);
    EXPECT_EQ(on.resizePercent, 70);
    ASSERT_TRUE(on.skipSimilar);
    EXPECT_NEAR(on.skipSimilar->threshold, 0.05, 1e-12);
    EXPECT_EQ(on.skipSimilar->maxDuration, 5.0);
}

TEST(ExportModelFormatting, ByteCountsUseDecimalUnits) {
    EXPECT_EQ(i18n::formatByteCount(0), QStringLiteral("0 字节"));
    EXPECT_EQ(i18n::formatByteCount(812), QStringLiteral("812 字节"));
    EXPECT_EQ(i18n::formatByteCount(1000), QStringLiteral("1 kB"));
    EXPECT_EQ(i18n::formatByteCount(356'400), QStringLiteral("356 kB"));
    EXPECT_EQ(i18n::formatByteCount(999'600), QStringLiteral("1 MB"));
    EXPECT_EQ(i18n::formatByteCount(4'200'000), QStringLiteral("4.2 MB"));
    EXPECT_EQ(i18n::formatByteCount(2'000'000), QStringLiteral("2 MB"));
    EXPECT_EQ(i18n::formatByteCount(1'250'000'000), QStringLiteral("1.25 GB"));
}

TEST_F(ExportModelTest, ChangesWithinTheWaitGiveOneEstimateForTheLastOptions) {
    ExportModel model(smallFrames(), {0.1, 0.1, 0.1});
    Spy started(&model, &ExportModel::estimateStarted);
    Spy finished(&model, &ExportModel::estimateFinished);
    QElapsedTimer clock;
    clock.start();
    spinFor(100ms);
    model.setQuality(81);
    model.scheduleEstimate();
    spinFor(100ms);
    model.setQuality(80);
    // Read before the call, so a pause of this thread between the two can only lengthen the
    // measured wait (the timer never fires early; each reading may lose up to 1 ms).
    const qint64 lastChange = clock.elapsed();
    model.scheduleEstimate();
    ASSERT_TRUE(waitUntil([&] { return started.count() > 0; }, 5s));
    EXPECT_GE(clock.elapsed() - lastChange, ExportModel::kDebounceMs - 1);
    ASSERT_TRUE(waitForEstimate(model, finished));
    spinFor(600ms);
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(model.cachedEstimateKey(), QStringLiteral("gif-80-0-100-0"));
}

TEST_F(ExportModelTest, ExactEstimateKeepsItsFileAndShowsItsSize) {
    ExportModel model(smallFrames(), {0.1, 0.1, 0.1});
    Spy info(&model, &ExportModel::processedInfoChanged);
    Spy finished(&model, &ExportModel::estimateFinished);
    model.setFormat(ExportFormat::webp);
    model.setResizeEnabled(true);  // 50 %
    model.scheduleEstimate();
    ASSERT_TRUE(waitForEstimate(model, finished));

    EXPECT_EQ(infoText(model), QStringLiteral("3 帧 · 32×24"));
    EXPECT_EQ(info.count(), 1);
    const QString path = model.cachedEstimatePath();
    EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(m_tmp.path()).absoluteFilePath());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^mirelo-estimate-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-"
                                          "[0-9a-f]{4}-[0-9a-f]{12}\\.webp$"))
            .match(QFileInfo(path).fileName())
            .hasMatch())
        << path.toStdString();
    EXPECT_EQ(sizeText(model), i18n::formatByteCount(QFileInfo(path).size()));
    EXPECT_EQ(estimateFiles().size(), 1);
}

TEST_F(ExportModelTest, SavingWithUnchangedOptionsMovesTheEstimateIntoPlace) {
    ExportModel model(smallFrames(), {0.1, 0.1, 0.1});
    Spy finished(&model, &ExportModel::estimateFinished);
    ASSERT_TRUE(waitForEstimate(model, finished));
    const QString cached = model.cachedEstimatePath();
    const QByteArray bytes = readAll(cached);
    ASSERT_FALSE(bytes.isEmpty());

    const QString dest = output(QStringLiteral("out.gif"));
    {
        QFile old(dest);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    std::optional<ExportStatus> result;
    Spy progress(&model, &ExportModel::exportProgress);
    model.exportTo(dest, [&](ExportStatus status) { result = std::move(status); });
    EXPECT_TRUE(model.isExporting());
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 10s));
    EXPECT_EQ(*result, std::nullopt);
    EXPECT_FALSE(model.isExporting());
    EXPECT_EQ(readAll(dest), bytes);
    EXPECT_FALSE(QFileInfo::exists(cached));
    EXPECT_TRUE(model.cachedEstimateKey().isEmpty());
    EXPECT_EQ(progress.count(), 0);  // nothing was encoded
    EXPECT_TRUE(estimateFiles().isEmpty());
}

TEST_F(ExportModelTest, ChangedOptionsEncodeAfreshAndKeepTheEstimate) {
    ExportModel model(smallFrames(), {0.1, 0.1, 0.1});
    Spy finished(&model, &ExportModel::estimateFinished);
    ASSERT_TRUE(waitForEstimate(model, finished));
    const QString cached = model.cachedEstimatePath();

    model.setFormat(ExportFormat::mp4);  // no new estimate asked for
    const QString dest = output(QStringLiteral("out.mp4"));
    std::optional<ExportStatus> result;
    Spy progress(&model, &ExportModel::exportProgress);
    model.exportTo(dest, [&](ExportStatus status) { result = std::move(status); });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 20s));
    EXPECT_EQ(*result, std::nullopt);
    EXPECT_TRUE(readAll(dest).contains("ftyp"));
    EXPECT_TRUE(QFileInfo::exists(cached));
    EXPECT_GT(progress.count(), 0);
}

TEST_F(ExportModelTest, SavingWhileWaitingCancelsTheEstimate) {
    ExportModel model(smallFrames(), {0.1, 0.1, 0.1});
    Spy started(&model, &ExportModel::estimateStarted);
    const QString dest = output(QStringLiteral("now.gif"));
    std::optional<ExportStatus> result;
    model.exportTo(dest, [&](ExportStatus status) { result = std::move(status); });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 20s));
    EXPECT_EQ(*result, std::nullopt);
    EXPECT_TRUE(readAll(dest).startsWith("GIF89a"));
    spinFor(600ms);
    EXPECT_EQ(started.count(), 0);
    EXPECT_EQ(sizeText(model), QStringLiteral("计算中…"));
}

TEST_F(ExportModelTest, OutdatedEstimatesChangeNothingAndLeaveNoFile) {
    // Big enough frames that the first estimate is still encoding when the
    // options change.
    std::vector<Image> frames(12, patternImage(640, 480, 3));
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i] = patternImage(640, 480, uint8_t(i * 20));
    }
    ExportModel model(frames, std::vector<double>(frames.size(), 0.1));
    Spy started(&model, &ExportModel::estimateStarted);
    Spy finished(&model, &ExportModel::estimateFinished);
    Spy texts(&model, &ExportModel::sizeEstimateChanged);
    ASSERT_TRUE(waitUntil([&] { return started.count() == 1; }, 5s));
    model.setQuality(20);
    model.scheduleEstimate();
    ASSERT_TRUE(waitForEstimate(model, finished));
    spinFor(300ms);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(model.cachedEstimateKey(), QStringLiteral("gif-20-0-100-0"));
    // Only "计算中…" twice and the one size were ever shown.
    ASSERT_EQ(texts.count(), 3);
    EXPECT_EQ(texts.at(0), QStringLiteral("计算中…"));
    EXPECT_EQ(texts.at(1), QStringLiteral("计算中…"));
    // The outdated estimate's file is gone once its work has ended.
    ASSERT_TRUE(waitUntil([&] { return estimateFiles().size() == 1; }, 20s))
        << estimateFiles().join(QLatin1Char(' ')).toStdString();
}

TEST_F(ExportModelTest, LargeAnimationsAreExtrapolated) {
    // 61 frames of 1400 x 1000 (85.4 million pixels): every second frame,
    // scaled to 1280 wide, and the size scaled back up.
    const Image frame = patternImage(1400, 1000, 9);
    ExportModel model(std::vector<Image>(61, frame), std::vector<double>(61, 0.1));
    model.setFormat(ExportFormat::mp4);
    model.scheduleEstimate();
    Spy finished(&model, &ExportModel::estimateFinished);
    ASSERT_TRUE(waitForEstimate(model, finished));
    EXPECT_TRUE(sizeText(model).startsWith(QStringLiteral("约 "))) << sizeText(model).toStdString();
    EXPECT_EQ(infoText(model), QStringLiteral("61 帧 · 1400×1000"));
    EXPECT_TRUE(model.cachedEstimateKey().isEmpty());
    EXPECT_TRUE(estimateFiles().isEmpty());
}

TEST_F(ExportModelTest, NoFramesFailsTheEstimateAndTheExport) {
    ExportModel model(std::vector<Image>{}, {});
    Spy finished(&model, &ExportModel::estimateFinished);
    ASSERT_TRUE(waitForEstimate(model, finished));
    EXPECT_EQ(sizeText(model), QStringLiteral("估算失败"));
    EXPECT_EQ(infoText(model), QStringLiteral("—"));

    std::optional<ExportStatus> result;
    const QString dest = output(QStringLiteral("none.gif"));
    model.exportTo(dest, [&](ExportStatus status) { result = std::move(status); });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 10s));
    ASSERT_TRUE(result->has_value());
    EXPECT_EQ(i18n::describe(**result), QStringLiteral("编码失败:帧数据为空"));
    EXPECT_FALSE(QFileInfo::exists(dest));
    EXPECT_TRUE(estimateFiles().isEmpty());
}

TEST_F(ExportModelTest, ExportErrorsReachTheCompletion) {
    ExportModel model(smallFrames(), {0.1, 0.1, 0.1});
    Spy finished(&model, &ExportModel::estimateFinished);
    ASSERT_TRUE(waitForEstimate(model, finished));
    // Moving the kept estimate into a folder that does not exist.
    std::optional<ExportStatus> result;
    model.exportTo(output(QStringLiteral("missing/out.gif")),
                   [&](ExportStatus status) { result = std::move(status); });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 10s));
    ASSERT_TRUE(result->has_value());
    EXPECT_EQ((*result)->kind, ExportError::Kind::writeFailed);
    EXPECT_TRUE(estimateFiles().isEmpty());
}

TEST_F(ExportModelTest, TheKeptEstimateGoesWithTheModel) {
    auto model = std::make_unique<ExportModel>(smallFrames(), std::vector<double>{0.1, 0.1, 0.1});
    Spy finished(model.get(), &ExportModel::estimateFinished);
    ASSERT_TRUE(waitForEstimate(*model, finished));
    // A newer exact estimate replaces the older file instead of adding one.
    model->setQuality(50);
    model->scheduleEstimate();
    ASSERT_TRUE(waitForEstimate(*model, finished, 2));
    EXPECT_EQ(estimateFiles().size(), 1);
    model.reset();
    EXPECT_TRUE(estimateFiles().isEmpty());
}

TEST_F(ExportModelTest, WorkStillRunningWhenTheModelGoesLeavesNothing) {
    std::vector<Image> frames;
    for (int i = 0; i < 12; ++i) {
        frames.push_back(patternImage(640, 480, uint8_t(i * 20)));
    }
    auto model = std::make_unique<ExportModel>(frames, std::vector<double>(12, 0.1));
    Spy started(model.get(), &ExportModel::estimateStarted);
    ASSERT_TRUE(waitUntil([&] { return started.count() == 1; }, 5s));
    bool called = false;
    model->exportTo(output(QStringLiteral("gone.gif")), [&](ExportStatus) { called = true; });
    model.reset();
    spinFor(200ms);
    ASSERT_TRUE(waitUntil([&] { return estimateFiles().isEmpty(); }, 20s));
    spinFor(1500ms);  // let the cancelled export end
    EXPECT_FALSE(called);
    EXPECT_FALSE(QFileInfo::exists(output(QStringLiteral("gone.gif"))));
    EXPECT_TRUE(QDir(m_out.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

}  // namespace

namespace {

// Frames made afresh at every request and counted while they live, as the
// frames of an editor drawn with overlays are.
class CountedFrames {
public:
    FrameSequence sequence(size_t count) {
        for (int i = 0; i < 6; ++i) {
            m_looks.push_back(patternImage(96, 64, uint8_t(i * 40)).qimage());
        }
        FrameSequence frames;
        frames.count = count;
        frames.frame = [this](size_t index) {
            // Runs of alike frames, so that skipping similar frames drops some.
            QImage look = m_looks[(index / 4) % m_looks.size()];
            const qsizetype bytes = look.sizeInBytes();
            auto* data = new uchar[size_t(bytes)];
            std::memcpy(data, look.constBits(), size_t(bytes));
            const int now = ++m_live;
            int peak = m_peak.load();
            while (now > peak && !m_peak.compare_exchange_weak(peak, now)) {
            }
            ++m_made;
            QImage made(data, look.width(), look.height(), look.bytesPerLine(), look.format(),
                        &CountedFrames::release, new Made{this, data});
            return Image::fromQImage(made);
        };
        frames.size = [](size_t) { return QSize(96, 64); };
        return frames;
    }
    int live() const { return m_live; }
    int peak() const { return m_peak; }
    int made() const { return m_made; }
    void resetPeak() { m_peak = m_live.load(); }

private:
    struct Made {
        CountedFrames* owner;
        uchar* data;
    };
    // QImage hands the buffer back when the last image sharing it goes.
    static void release(void* info) {
        auto* made = static_cast<Made*>(info);
        --made->owner->m_live;
        delete[] made->data;
        delete made;
    }
    std::vector<QImage> m_looks;
    std::atomic<int> m_live{0}, m_peak{0}, m_made{0};
};

TEST_F(ExportModelTest, EstimatesAndExportsHoldOnlyAFewFramesOfALongAnimation) {
    constexpr size_t kFrames = 600;
    // The GIF encoder quantizes one frame per core at once.
    const int bound = int(std::max(1u, std::thread::hardware_concurrency())) + 3;
    for (const ExportFormatEntry& entry : kExportFormats) {
        const ExportFormat format = entry.format;
        for (bool reduce : {false, true}) {
            SCOPED_TRACE(std::string(entry.extension) + (reduce ? " reduced" : ""));
            CountedFrames counted;
            {
                ExportModel model(counted.sequence(kFrames),
                                  std::vector<double>(kFrames, 1.0 / 30.0));
                model.setFormat(format);
                model.setSkipSimilarEnabled(reduce);
                model.setReduceFramesEnabled(reduce);
                model.setResizeEnabled(reduce);
                Spy finished(&model, &ExportModel::estimateFinished);
                model.scheduleEstimate();
                ASSERT_TRUE(waitForEstimate(model, finished));
                EXPECT_FALSE(model.cachedEstimatePath().isEmpty());
                // Other options: the export encodes afresh.
                model.setQuality(60);
                std::optional<ExportStatus> result;
                model.exportTo(output(QStringLiteral("long.") + extension(format)),
                               [&](ExportStatus status) { result = std::move(status); });
                ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 60s));
                EXPECT_EQ(*result, std::nullopt);
            }
            EXPECT_GE(counted.made(), int(kFrames / 2));
            EXPECT_LE(counted.peak(), bound);
            EXPECT_EQ(counted.live(), 0);
        }
    }
}

}  // namespace

TEST_F(ExportModelTest, SizeLimitChoosesTheBestFileUnderItOrWritesNothing) {
    // Noise, so that the file at quality 80 is well over 1 MB.
    std::vector<Image> frames;
    uint32_t seed = 7;
    for (int i = 0; i < 24; ++i) {
        QImage surface(320, 240, QImage::Format_RGB32);
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) {
                seed = seed * 1103515245u + 12345u;
                surface.setPixel(x, y, qRgb(int(seed >> 24), x * 3 / 4, int(seed >> 16 & 0xff)));
            }
        }
        frames.push_back(Image::fromQImage(surface));
    }
    ExportModel model(frames, std::vector<double>(frames.size(), 0.1));
    Spy finished(&model, &ExportModel::estimateFinished);
    ASSERT_TRUE(waitForEstimate(model, finished));
    ASSERT_GT(QFileInfo(model.cachedEstimatePath()).size(), 1'200'000);

    model.setSizeLimitEnabled(true);
    model.setSizeLimitMegabytes(1);
    EXPECT_EQ(model.cacheKey(), QStringLiteral("gif-80-0-100-0-max1"));
    model.scheduleEstimate();
    ASSERT_TRUE(waitForEstimate(model, finished, 2));
    // The size and what the limit changed to reach it.
    EXPECT_TRUE(sizeText(model).contains(QStringLiteral(" · 品质 30")))
        << sizeText(model).toStdString();
    const qint64 estimated = QFileInfo(model.cachedEstimatePath()).size();
    EXPECT_LE(estimated, 1'000'000);
    EXPECT_TRUE(sizeText(model).startsWith(i18n::formatByteCount(estimated)));

    const QString dest = output(QStringLiteral("limited.gif"));
    std::optional<ExportStatus> result;
    model.exportTo(dest, [&](ExportStatus status) { result = std::move(status); });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 60s));
    EXPECT_EQ(*result, std::nullopt);
    EXPECT_EQ(QFileInfo(dest).size(), estimated);

    // A limit nothing fits under: the estimate says so, the export writes
    // nothing and says why.
    model.setSizeLimitMegabytes(0);
    model.scheduleEstimate();
    ASSERT_TRUE(waitForEstimate(model, finished, 3));
    EXPECT_TRUE(sizeText(model).startsWith(QStringLiteral("超出限制:最小 ")))
        << sizeText(model).toStdString();
    const QString none = output(QStringLiteral("none.gif"));
    result.reset();
    model.exportTo(none, [&](ExportStatus status) { result = std::move(status); });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 60s));
    ASSERT_TRUE(*result);
    EXPECT_EQ((*result)->kind, ExportError::Kind::tooLarge);
    EXPECT_TRUE(i18n::describe(**result).startsWith(QStringLiteral("文件超出大小限制")));
    EXPECT_EQ(QDir(m_out.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("limited.gif")});
}

namespace mirelo {
namespace {

// Qt's raster painter and image conversions split large work into parts on Qt's global thread
// pool and wait for them. Frames drawn while an export runs (overlays are drawn as the encoder
// asks for each frame) would wait for ever if the export's own work held those threads, so
// exports (and estimates, through the same path) run on threads of their own.
TEST_F(ExportModelTest, ExportsLeaveQtsSharedThreadsFree) {
    std::mutex mutex;
    std::condition_variable changed;
    int waiting = 0;
    bool release = false;
    FrameSequence frames;
    frames.count = 4;
    frames.size = [](size_t) { return QSize(32, 24); };
    frames.frame = [&](size_t index) {
        std::unique_lock lock(mutex);
        ++waiting;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
        return patternImage(32, 24, uint8_t(index * 50));
    };
    ExportModel model(frames, std::vector<double>(4, 0.1));
    std::optional<ExportStatus> result;
    model.exportTo(output(QStringLiteral("held.gif")),
                   [&](ExportStatus status) { result = std::move(status); });
    {
        // The export is at work, held inside a frame.
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return waiting >= 1; }));
        EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0);
        release = true;
        changed.notify_all();
    }
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 30s));
    EXPECT_EQ(*result, std::nullopt);
}

}  // namespace
}  // namespace mirelo
