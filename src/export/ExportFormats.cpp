#include "export/ExportFormats.h"

namespace mirelo {

namespace {

constexpr bool inEnumerationOrder() {
    for (size_t i = 0; i < kExportFormats.size(); ++i) {
        if (static_cast<size_t>(kExportFormats[i].format) != i) {
            return false;
        }
    }
    return true;
}
static_assert(inEnumerationOrder(),
              "kExportFormats lists the formats in the order of ExportFormat");

// Null for a value outside the enumeration (never made by this code, but
// cast from a number it could be).
const ExportFormatEntry* find(ExportFormat format) {
    const auto index = static_cast<size_t>(format);
    return index < kExportFormats.size() ? &kExportFormats[index] : nullptr;
}

}  // namespace

const ExportFormatEntry& formatEntry(ExportFormat format) {
    const ExportFormatEntry* entry = find(format);
    return entry ? *entry : kExportFormats.front();
}

QString extension(ExportFormat format) {
    const ExportFormatEntry* entry = find(format);
    return entry ? QString::fromLatin1(entry->extension) : QString();
}

std::optional<ExportFormat> formatFromExtension(const QString& extension) {
    for (const ExportFormatEntry& entry : kExportFormats) {
        if (extension == QLatin1String(entry.extension)) {
            return entry.format;
        }
    }
    return std::nullopt;
}

ExportStatus encodeFrames(ExportFormat format, const FrameSequence& frames,
                          const std::vector<double>& delays, const EncodeSettings& settings,
                          const QString& destination, const CancelFlag& cancel,
                          const ProgressFn& progress) {
    const ExportFormatEntry* entry = find(format);
    if (!entry || frames.count == 0 || frames.count != delays.size() || !frames.frame) {
        return ExportError::encodeFailed(ExportError::Cause::emptyFrame);
    }
    return entry->encode(frames, delays, settings, destination, cancel, progress);
}

}  // namespace mirelo
