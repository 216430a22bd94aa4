#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace mirelo {

// Output formats, in the order the format selector lists them. Each one's
// extension and encoder are in the format table (ExportFormats.h).
enum class ExportFormat { gif, webp, mp4 };

// How a WebP stores its frames: lossy (the default), exactly, or each frame
// whichever of the two is smaller.
enum class WebPMode { lossy, lossless, mixed };

// What an encoder is asked for besides the frames. A quality alone converts
// to settings with every other choice at its default.
struct EncodeSettings {
    int quality = 80;                     // 1..100
    WebPMode webpMode = WebPMode::lossy;  // WebP only
    int gifLossy = 0;                     // GIF only: lossy compression strength, 0 = off

    EncodeSettings() = default;
    EncodeSettings(int quality) : quality(quality) {}  // NOLINT: a quality is settings
    bool operator==(const EncodeSettings&) const = default;
};

// A failed export, as a value: what went wrong, and the text the user sees in
// the "保存失败" alert.
struct ExportError {
    enum class Kind {
        encodeFailed,        // an encoding step: "编码失败:" and what failed
        writeFailed,         // the destination: "无法写入“<path>”:<reason>"
        noFrames,            // "没有可导出的帧。"
        gifCreateFailed,     // "无法创建 GIF 文件。"
        gifWriteFailed,      // "GIF 写入失败。"
        webpConfigInvalid,   // "WebP 编码参数无效。"
        webpEncoderFailed,   // "WebP 编码器创建失败。"
        pixelImportFailed,   // "像素数据导入失败。"
        frameWriteFailed,    // "第 <n> 帧写入失败。"
        webpAssembleFailed,  // "WebP 文件组装失败。"
        tooLarge,            // no setting gives a file within the size limit
        cancelled,           // the work was cancelled; never shown as a failure
    };

    Kind kind = Kind::encodeFailed;
    QString message;

    // An error of a kind whose message is fixed (every kind but encodeFailed,
    // writeFailed, frameWriteFailed and tooLarge, which have their own makers).
    static ExportError of(Kind kind);
    // "编码失败:" + detail.
    static ExportError encodeFailed(const QString& detail);
    // Frame `index` (from 0) could not be added: "第 index+1 帧写入失败。"
    static ExportError frameWriteFailed(int index);
    static ExportError cancelled() { return of(Kind::cancelled); }
    bool isCancellation() const { return kind == Kind::cancelled; }
};

// Success is std::nullopt.
using ExportStatus = std::optional<ExportError>;

// A cancellation flag shared between the caller and the work it started. The
// work polls it where its algorithm says; cancel() may be called from any
// thread. Passed by reference; a default-made one is never cancelled.
class CancelFlag {
public:
    CancelFlag() : m_flag(std::make_shared<std::atomic_bool>(false)) {}
    void cancel() const { m_flag->store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_flag->load(std::memory_order_relaxed); }

private:
    std::shared_ptr<std::atomic_bool> m_flag;
};

// Progress of a piece of work: steps (frames) done of steps total. May be
// called from a worker thread; must be cheap.
using ProgressFn = std::function<void(int done, int total)>;

}  // namespace mirelo
