#pragma once

#include "export/ExportPreprocessor.h"
#include "export/ExportTypes.h"
#include "export/FrameSequence.h"
#include "image/Image.h"

#include <QSize>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// Exports under a size limit. Starting from the user's own setting, the
// search gives things up in this order, each only while the file does not
// fit and only when it makes the file of this format smaller: stronger lossy
// compression (GIF), a lower quality down to a floor, a share of the frames
// dropped, then the frames scaled down. Along each of these the boundary is
// found by bisection to a fine step, and once one fits the search climbs
// back: with frames dropped it keeps as few dropped as fit, then the highest
// quality that still fits. Each setting is measured the way the live size
// estimate does (the export itself, or a sample of it for very large
// animations).
namespace mirelo::SizeLimit {

// One setting the search may try.
struct Setting {
    int quality = 80;
    ExportPreprocessor::Options options;
    WebPMode webpMode = WebPMode::lossy;  // the user's, never changed by the search
    int gifLossy = 0;                     // raised by the search for a GIF, never lowered

    EncodeSettings encodeSettings() const;
};

// How far the search may go: below this quality it drops frames instead
// (unless the user's own quality is lower already), ...
inline constexpr int kQualityFloor = 30;
// ... it raises a GIF's lossy compression up to this strength, ...
inline constexpr int kLossyCeiling = 60;
// ... drops at most this share of the frames, ...
inline constexpr int kFrameDropCeiling = 75;
// ... and scales down to no less than this percentage.
inline constexpr int kScaleFloor = 10;
// Lossy strength and quality move in these steps from the user's own;
// frames dropped and scale move by single percents.
inline constexpr int kLossyStep = 5;
inline constexpr int kQualityStep = 5;

// The size of a setting's file, or none when measuring it failed (the
// measurer keeps the reason).
using SizeOf = std::function<std::optional<qint64>(const Setting&)>;

struct Found {
    std::optional<Setting> setting;  // none when nothing fits or measuring failed
    qint64 smallestSize = 0;         // when nothing fits, the smallest setting's size
    bool failed = false;             // a measurement failed
};

// The best setting whose file is at most `limit` bytes, starting from
// `start`, measuring each setting at most once through `sizeOf`.
Found best(ExportFormat format, const Setting& start, qint64 limit, const SizeOf& sizeOf);

// What the search found.
struct Choice {
    Setting setting;
    qint64 size = 0;     // bytes of its file, or the estimate for a sampled one
    bool exact = false;  // the size is that of the whole export
    QString file;        // for an exact size, its file (the caller removes it)
    int frameCount = 0;  // the frames it encodes after the reductions
    QSize frameSize;     // and their size
};

struct Result {
    std::optional<Choice> choice;  // none when even the smallest setting is too large
    qint64 smallestSize = 0;       // the smallest setting's size, when none fits
    ExportStatus error;            // an encoding failure or a cancellation
};

// The best setting whose file is at most `limit` bytes. Files are measured in
// `folder` under fresh names and removed, except the chosen exact one.
Result search(ExportFormat format, const FrameSequence& frames, const std::vector<double>& delays,
              const EncodeSettings& settings, const ExportPreprocessor::Options& options,
              qint64 limit, const QString& folder, const CancelFlag& cancel = {});

// Writes the best file of at most `limit` bytes to `destination`. When the
// chosen setting's whole file turns out larger than its estimate, the next
// settings down are tried. When nothing fits, nothing is written and the
// error says so (tooLarge). `chosen` receives the setting written.
ExportStatus exportWithin(ExportFormat format, const FrameSequence& frames,
                          const std::vector<double>& delays, const EncodeSettings& settings,
                          const ExportPreprocessor::Options& options, qint64 limit,
                          const QString& destination, const CancelFlag& cancel = {},
                          const ProgressFn& progress = {}, Setting* chosen = nullptr);

// Even the smallest setting's file (`smallestSize` bytes) exceeds `limit`.
ExportError tooLarge(qint64 smallestSize, qint64 limit);
// Whether `status` is tooLarge's error.
bool isTooLarge(const ExportStatus& status);

// What a setting changed against the user's: the quality, the lossy
// compression, the share of frames dropped and how many frames that keeps,
// the scale (each unset when unchanged); shown after the size, e.g.
// "品质 62 · 有损 60 · 减帧 12% · 保留 158 帧 · 缩放 50%".
struct Changes {
    std::optional<int> quality;
    std::optional<int> gifLossy;
    std::optional<int> reduceFramesPercent;
    std::optional<int> keptFrames;
    std::optional<int> resizePercent;
    bool any() const { return quality || gifLossy || reduceFramesPercent || resizePercent; }
    friend bool operator==(const Changes&, const Changes&) = default;
};
// `keptFrames` is the number of frames the setting encodes, reported when it
// drops more frames than the user asked for (0: unknown).
Changes changes(const Setting& setting, const EncodeSettings& settings,
                const ExportPreprocessor::Options& options, int keptFrames = 0);

}  // namespace mirelo::SizeLimit
