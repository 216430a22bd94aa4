#include "export/SizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <tuple>

using namespace mirelo;
using SizeLimit::Setting;

namespace {

int dropOf(const Setting& s) {
    return s.options.reduceFramesPercent.value_or(0);
}
int scaleOf(const Setting& s) {
    return s.options.resizePercent.value_or(100);
}

Setting make(int quality, int lossy, int drop, int scale) {
    Setting s;
    s.quality = quality;
    s.gifLossy = lossy;
    if (drop > 0) {
        s.options.reduceFramesPercent = drop;
    }
    if (scale < 100) {
        s.options.resizePercent = scale;
    }
    return s;
}

// A model of a file's size: proportional to the frames kept and the area,
// shrinking with lossy strength and (unless `qualityFree`) with quality.
struct SizeModel {
    int frames = 180;
    double bytesPerFrame = 8000;
    bool qualityFree = false;
    int calls = 0;

    static int kept(int frames, int drop) { return frames - frames * drop / 100; }
    qint64 operator()(const Setting& s) {
        ++calls;
        const double q = qualityFree ? 1.0 : 0.4 + 0.6 * s.quality / 100.0;
        const double lossy = 1.0 - 0.5 * s.gifLossy / 100.0;
        const double area = scaleOf(s) * scaleOf(s) / 10000.0;
        return qint64(bytesPerFrame * kept(frames, dropOf(s)) * q * lossy * area);
    }
};

struct ModelCase {
    const char* name;
    Setting start;
    qint64 limit;
    bool qualityFree;
};

// For a GIF under limits from just under the start's size to far below it,
// no setting on a fine grid that fits keeps more frames at no lower quality
// and scale than the search's choice, and the choice fits.
TEST(SizeLimitSearch, NoGridSettingThatFitsBeatsTheChoice) {
    const qint64 full = SizeModel{}(make(80, 0, 0, 100));
    const ModelCase cases[] = {
        {"just over", make(80, 0, 0, 100), full - 1, false},
        {"lossy is enough", make(80, 0, 0, 100), full * 8 / 10, false},
        {"quality too", make(80, 0, 0, 100), full * 55 / 100, false},
        {"frames dropped", make(80, 0, 0, 100), full * 3 / 10, false},
        {"quality does nothing", make(80, 0, 0, 100), full * 6 / 10, true},
        {"scaled down", make(80, 0, 0, 100), full / 20, false},
        {"user's own reductions", make(60, 20, 10, 90), full * 2 / 10, false},
    };
    for (const ModelCase& c : cases) {
        SCOPED_TRACE(c.name);
        SizeModel model;
        model.qualityFree = c.qualityFree;
        const SizeLimit::Found found = SizeLimit::best(ExportFormat::gif, c.start, c.limit,
                                                       [&](const Setting& s) { return model(s); });
        ASSERT_TRUE(found.setting);
        const Setting& chosen = *found.setting;
        SizeModel check;
        check.qualityFree = c.qualityFree;
        EXPECT_LE(check(chosen), c.limit);
        EXPECT_LE(model.calls, 20) << "settings measured";
        // Never below the user's own choices.
        EXPECT_LE(chosen.quality, c.start.quality);
        EXPECT_GE(chosen.gifLossy, c.start.gifLossy);
        EXPECT_GE(dropOf(chosen), dropOf(c.start));
        EXPECT_LE(scaleOf(chosen), scaleOf(c.start));
        // Given the frames and scale, nothing was given up that need not be:
        // one quality step up or one lossy step down no longer fits.
        if (chosen.quality < c.start.quality) {
            Setting better = chosen;
            better.quality += SizeLimit::kQualityStep;
            EXPECT_GT(check(better), c.limit) << "quality " << chosen.quality;
        }
        if (chosen.gifLossy > c.start.gifLossy) {
            Setting better = chosen;
            better.gifLossy -= SizeLimit::kLossyStep;
            EXPECT_GT(check(better), c.limit) << "lossy " << chosen.gifLossy;
        }
        if (c.qualityFree) {
            EXPECT_EQ(chosen.quality, c.start.quality) << "a quality step that gains nothing";
        }
        const int keptFrames = SizeModel::kept(check.frames, dropOf(chosen));
        for (int q = 30; q <= 100; q += 10) {
            for (int drop = 0; drop <= 50; drop += 5) {
                for (int scale = 50; scale <= 100; scale += 10) {
                    for (int lossy : {0, 20, 40, 60}) {
                        const Setting s = make(q, lossy, drop, scale);
                        const bool belowUsers = q > c.start.quality || lossy < c.start.gifLossy ||
                                                drop < dropOf(c.start) || scale > scaleOf(c.start);
                        if (belowUsers || check(s) > c.limit || q < chosen.quality ||
                            scale < scaleOf(chosen)) {
                            continue;
                        }
                        // Neither more frames, nor as many at a higher quality.
                        const int kept = SizeModel::kept(check.frames, drop);
                        EXPECT_TRUE(kept < keptFrames ||
                                    (kept == keptFrames && q <= chosen.quality))
                            << "q " << q << " drop " << drop << " scale " << scale << " lossy "
                            << lossy << " beats q " << chosen.quality << " drop " << dropOf(chosen)
                            << " scale " << scaleOf(chosen);
                    }
                }
            }
        }
    }
}

// Formats without lossy compression never get it; a lossless WebP keeps its
// quality, which does not change its size. Nothing fitting reports the
// smallest size, and a failed measurement stops the search.
TEST(SizeLimitSearch, FormatsAndFailures) {
    SizeModel model;
    const qint64 full = model(make(80, 0, 0, 100));
    Setting lossless = make(80, 0, 0, 100);
    lossless.webpMode = WebPMode::lossless;
    SizeModel qualityFree;
    qualityFree.qualityFree = true;
    SizeLimit::Found found = SizeLimit::best(ExportFormat::webp, lossless, full / 2,
                                             [&](const Setting& s) { return qualityFree(s); });
    ASSERT_TRUE(found.setting);
    EXPECT_EQ(found.setting->quality, 80);
    EXPECT_EQ(found.setting->gifLossy, 0);
    EXPECT_GT(dropOf(*found.setting), 0);

    found = SizeLimit::best(ExportFormat::mp4, make(80, 0, 0, 100), full / 2,
                            [&](const Setting& s) { return model(s); });
    ASSERT_TRUE(found.setting);
    EXPECT_EQ(found.setting->gifLossy, 0);
    EXPECT_LT(found.setting->quality, 80);

    found = SizeLimit::best(ExportFormat::gif, make(80, 0, 0, 100), 10,
                            [&](const Setting& s) { return model(s); });
    EXPECT_FALSE(found.setting);
    EXPECT_FALSE(found.failed);
    EXPECT_EQ(found.smallestSize, model(make(30, 60, 75, 10)));

    int calls = 0;
    found = SizeLimit::best(ExportFormat::gif, make(80, 0, 0, 100), full / 2,
                            [&](const Setting& s) -> std::optional<qint64> {
                                if (++calls == 3) {
                                    return std::nullopt;
                                }
                                return model(s);
                            });
    EXPECT_FALSE(found.setting);
    EXPECT_TRUE(found.failed);
    EXPECT_EQ(calls, 3);
}

// A small recording with a moving, noisy patch over a still background, so
// that lossy compression, quality, frames and scale all change its size.
std::vector<Image> recording(int count) {
    std::vector<Image> frames;
    uint32_t seed = 11;
    for (int i = 0; i < count; ++i) {
        QImage surface(96, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 96; ++x) {
                const bool patch = x >= i * 3 && x < i * 3 + 40 && y >= 8 && y < 56;
                seed = seed * 1103515245u + 12345u;
                surface.setPixel(x, y,
                                 patch ? qRgb(int(seed >> 24), 128 + x, int(seed >> 16 & 0x7f))
                                       : qRgb(x * 2, y * 3, 90));
            }
        }
        frames.push_back(Image::fromQImage(surface));
    }
    return frames;
}

// The real encoder under the search: the chosen file fits, is the size the
// search says, and no setting of a coarse grid that fits keeps more frames
// at no lower quality and scale.
TEST(SizeLimitSearch, RealGifAgainstAGridSearch) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::vector<Image> images = recording(16);
    const FrameSequence frames = FrameSequence::of(images);
    const std::vector<double> delays(images.size(), 0.1);
    const qint64 unlimited = std::numeric_limits<qint64>::max();

    std::map<std::tuple<int, int, int, int>, std::pair<qint64, int>> grid;  // size, frames
    const auto measure = [&](const Setting& s) {
        const auto key = std::make_tuple(s.quality, s.gifLossy, dropOf(s), scaleOf(s));
        if (const auto found = grid.find(key); found != grid.end()) {
            return found->second;
        }
        const SizeLimit::Result r =
            SizeLimit::search(ExportFormat::gif, frames, delays, s.encodeSettings(), s.options,
                              unlimited, folder.path());
        EXPECT_TRUE(r.choice);
        if (!r.choice) {
            return std::make_pair(qint64(0), 0);
        }
        QFile::remove(r.choice->file);
        return grid[key] = {r.choice->size, r.choice->frameCount};
    };
    const qint64 full = measure(make(80, 0, 0, 100)).first;
    for (const double share : {0.9, 0.6, 0.3}) {
        SCOPED_TRACE(share);
        const qint64 limit = qint64(double(full) * share);
        const SizeLimit::Result result = SizeLimit::search(
            ExportFormat::gif, frames, delays, EncodeSettings(80), {}, limit, folder.path());
        ASSERT_TRUE(result.choice);
        const SizeLimit::Choice& choice = *result.choice;
        ASSERT_TRUE(choice.exact);
        EXPECT_EQ(QFileInfo(choice.file).size(), choice.size);
        EXPECT_LE(choice.size, limit);
        QFile::remove(choice.file);
        if (choice.setting.quality < 80) {
            Setting better = choice.setting;
            better.quality += SizeLimit::kQualityStep;
            EXPECT_GT(measure(better).first, limit) << "quality " << choice.setting.quality;
        }
        if (choice.setting.gifLossy > 0) {
            Setting better = choice.setting;
            better.gifLossy -= SizeLimit::kLossyStep;
            EXPECT_GT(measure(better).first, limit) << "lossy " << choice.setting.gifLossy;
        }
        for (int q : {30, 60, 80}) {
            for (int drop = 0; drop <= 50; drop += 10) {
                for (int scale : {100, 80, 60}) {
                    for (int lossy : {0, 30, 60}) {
                        const Setting s = make(q, lossy, drop, scale);
                        if (q < choice.setting.quality || scale < scaleOf(choice.setting)) {
                            continue;
                        }
                        const auto [size, kept] = measure(s);
                        if (size <= limit) {
                            EXPECT_TRUE(kept < choice.frameCount ||
                                        (kept == choice.frameCount && q <= choice.setting.quality))
                                << "q " << q << " drop " << drop << " scale " << scale << " lossy "
                                << lossy << " beats q " << choice.setting.quality << " lossy "
                                << choice.setting.gifLossy << " drop " << dropOf(choice.setting)
                                << " scale " << scaleOf(choice.setting);
                        }
                    }
                }
            }
        }
    }
    // Only the files the caller was handed were left, and it removed them.
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());
}

}  // namespace
