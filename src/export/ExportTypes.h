#pragma once

#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace mirelo {

// Output formats, in the order the format selector lists them. The raw value
// is also the file name extension.
enum class ExportFormat { gif, webp, mp4 };

inline constexpr std::array<ExportFormat, 3> kAllExportFormats = {
    ExportFormat::gif, ExportFormat::webp, ExportFormat::mp4};

inline QString rawValue(ExportFormat format) {
    switch (format) {
        case ExportFormat::gif:
            return QStringLiteral("gif");
        case ExportFormat::webp:
            return QStringLiteral("webp");
        case ExportFormat::mp4:
            return QStringLiteral("mp4");
    }
    return {};
}

// Accepts exactly "gif", "webp" and "mp4" (case-sensitive).
inline std::optional<ExportFormat> exportFormatFromRaw(const QString& raw) {
    for (ExportFormat format : kAllExportFormats) {
        if (rawValue(format) == raw) {
            return format;
        }
    }
    return std::nullopt;
}

// A failed export, as a value. `description` is the text the user sees in
// the "保存失败" alert; `kind` tells callers what happened.
struct ExportError {
    enum class Kind {
        EncodeFailed,  // the export path itself ("编码失败:" + message)
        GIFEncoder,    // the GIF writer (GIFEncoderError)
        WebPEncoder,   // the WebP writer (WebPEncoderError)
        Cancelled,     // the surrounding work was cancelled; never shown as a failure
        SizeLimit,     // no setting gives a file within the size limit
    };

    Kind kind = Kind::EncodeFailed;
    int code = 0;  // the case within the writer's error enumeration, if any
    QString description;

    static ExportError encodeFailed(const QString& message) {
        return {Kind::EncodeFailed, 0, QStringLiteral("编码失败:") + message};
    }
    static ExportError cancelled() { return {Kind::Cancelled, 0, QStringLiteral("已取消")}; }
    bool isCancellation() const { return kind == Kind::Cancelled; }
};

// Success is std::nullopt.
using ExportStatus = std::optional<ExportError>;

// A cancellation flag shared between the caller and the work it started. The
// work polls it where its algorithm says; cancel() may be called from any thread.
class CancelFlag {
public:
    CancelFlag() : m_flag(std::make_shared<std::atomic_bool>(false)) {}
    void cancel() const { m_flag->store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_flag->load(std::memory_order_relaxed); }

private:
    std::shared_ptr<std::atomic_bool> m_flag;
};

// Progress of an encode: frames done of frames total. May be called from a
// worker thread; must be cheap.
using ProgressFn = std::function<void(int done, int total)>;

}  // namespace mirelo
