#pragma once

#include "export/ExportTypes.h"
#include "export/ExporterGIF.h"
#include "export/ExporterMP4.h"
#include "export/ExporterWebP.h"
#include "export/FrameSequence.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace mirelo {

// A format's encoder: writes `frames` with `delays` (seconds, one per frame)
// with the user's `settings` (quality 1..100 and the format's own choices) to
// `destination`, on the caller's thread.
// It checks `cancel` as it goes, reports `progress` in frames done of frames
// total, and writes through a temporary file beside the destination, so a
// failed or cancelled export leaves nothing there and keeps a file already
// there.
using EncodeEntry = ExportStatus (*)(const FrameSequence& frames, const std::vector<double>& delays,
                                     const EncodeSettings& settings, const QString& destination,
                                     const CancelFlag& cancel, const ProgressFn& progress);

struct ExportFormatEntry {
    ExportFormat format;
    const char* extension;  // of the file name, lower case
    // The encoder asks for frames 0, 1, 2, ... in order, each at most once,
    // so they may be made (decoded) alongside the encoding and let go at
    // once. Otherwise it asks for them in any order, from several threads and
    // more than once (see FrameSequence).
    bool takesFramesInOrder;
    EncodeEntry encode;
};

// Every output format, in the order of ExportFormat and of the format
// selector: the one place where a format is tied to its extension and its
// encoder.
inline constexpr std::array<ExportFormatEntry, 3> kExportFormats = {{
    {ExportFormat::gif, "gif", false, &Exporter::encodeGIF},
    {ExportFormat::webp, "webp", true, &Exporter::encodeWebP},
    {ExportFormat::mp4, "mp4", true, &Exporter::encodeMP4},
}};

// The entry of `format` (the first one for a value outside the enumeration).
const ExportFormatEntry& formatEntry(ExportFormat format);

// "gif", "webp", "mp4".
QString extension(ExportFormat format);
// Accepts exactly "gif", "webp" and "mp4" (case-sensitive).
std::optional<ExportFormat> formatFromExtension(const QString& extension);

// Processed frames to a file in `format` through its encoder. No frames, or
// not one delay per frame, is "编码失败:帧数据为空".
ExportStatus encodeFrames(ExportFormat format, const FrameSequence& frames,
                          const std::vector<double>& delays, const EncodeSettings& settings,
                          const QString& destination, const CancelFlag& cancel = {},
                          const ProgressFn& progress = {});

}  // namespace mirelo
