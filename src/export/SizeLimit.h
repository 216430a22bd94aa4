#pragma once

#include "export/ExportPreprocessor.h"
#include "export/ExportTypes.h"
#include "export/FrameSequence.h"
#include "image/Image.h"

#include <QSize>
#include <QString>

#include <optional>
#include <vector>

// Exports under a size limit. The settings tried form a ladder from the
// user's own down to the smallest: the quality lowered step by step to a
// floor, then a growing share of the frames dropped, then the frames scaled
// down further and further. A binary search along it, measuring each setting
// the way the live size estimate does (the export itself, or a sample of it
// for very large animations), finds the best setting whose file fits.
namespace mirelo::SizeLimit {

// One setting along the ladder.
struct Setting {
    int quality = 80;
    ExportPreprocessor::Options options;
    WebPMode webpMode = WebPMode::lossy;  // the user's, never changed by the search
    int gifLossy = 0;                     // likewise

    EncodeSettings encodeSettings() const;
};

// Below this quality the search drops frames instead (unless the user's own
// quality is lower already).
inline constexpr int kQualityFloor = 30;

// The settings tried for a user's settings and reductions, best first. A
// lossless WebP skips the quality steps: its size does not depend on them.
std::vector<Setting> ladder(ExportFormat format, const EncodeSettings& settings,
                            const ExportPreprocessor::Options& options);

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

// What a setting changed against the user's: the quality, the share of
// frames dropped, the scale (each unset when unchanged); shown after the
// size, e.g. "品质 62 · 减帧 50% · 缩放 50%".
struct Changes {
    std::optional<int> quality;
    std::optional<int> reduceFramesPercent;
    std::optional<int> resizePercent;
    bool any() const { return quality || reduceFramesPercent || resizePercent; }
    friend bool operator==(const Changes&, const Changes&) = default;
};
Changes changes(const Setting& setting, int quality, const ExportPreprocessor::Options& options);

}  // namespace mirelo::SizeLimit
