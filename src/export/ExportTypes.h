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

// A failed export, as a value: what went wrong and the values its message
// needs (i18n::describe() words it for the "保存失败" alert).
struct ExportError {
    enum class Kind {
        encodeFailed,        // an encoding step; `cause`, or the codec's `detail`
        writeFailed,         // the destination `path`; `cause`, or the system's `detail`
        noFrames,            // nothing to export
        gifCreateFailed,     // the GIF writer could not be opened
        gifWriteFailed,      // the GIF writer failed
        webpConfigInvalid,   // the WebP parameters were refused
        webpEncoderFailed,   // the WebP encoder could not be made
        pixelImportFailed,   // a frame's pixels could not be handed to an encoder
        frameWriteFailed,    // frame `frame` (from 0) could not be added
        webpAssembleFailed,  // the WebP file could not be put together
        tooLarge,            // no setting gives a file within `limit`; the smallest is `size`
        cancelled,           // the work was cancelled; never shown as a failure
        diskFull,            // the disk of `folder` is full; worded by the caller
    };
    // What failed, where the code knows it rather than the system or codec.
    enum class Cause {
        none,               // see `detail`
        emptyFrame,         // a frame had no pixels
        frameNotWritten,    // the encoder did not take a frame
        noVideoInput,       // the video stream could not be set up
        encoderNotStarted,  // the encoder did not start
        pixelBuffer,        // no picture buffer for a frame
        unknown,            // the encoder failed without saying why
        cannotCreate,       // the file beside the destination could not be made
        cannotReplace,      // the destination could not be replaced
    };

    Kind kind = Kind::encodeFailed;
    Cause cause = Cause::none;
    QString detail;    // the system's or the codec's own words, when `cause` is none
    QString path;      // writeFailed
    int frame = 0;     // frameWriteFailed
    qint64 size = 0;   // tooLarge: the smallest setting's file, in bytes
    qint64 limit = 0;  // tooLarge: the limit, in bytes
    QString folder;    // diskFull

    // An error of a kind that needs no values.
    static ExportError of(Kind kind);
    static ExportError encodeFailed(Cause cause);
    static ExportError encodeFailed(const QString& detail);
    // Frame `index` (from 0) could not be added.
    static ExportError frameWriteFailed(int index);
    static ExportError cancelled() { return of(Kind::cancelled); }
    bool isCancellation() const { return kind == Kind::cancelled; }
    static ExportError diskFull(const QString& folder) {
        ExportError error;
        error.kind = Kind::diskFull;
        error.folder = folder;
        return error;
    }
};

// Success is std::nullopt.
using ExportStatus = std::optional<ExportError>;

// Free bytes on the file system of a folder (-1: unknown).
using FreeSpaceFn = std::function<qint64(const QString& folder)>;
// `status` as it should be reported: a failure (not a cancellation or a size limit) with the
// destination's disk full, whatever step noticed it and however it put it, is diskFull.
// `freeSpace` defaults to asking the file system.
ExportStatus explainFailure(ExportStatus status, const QString& destination,
                            const FreeSpaceFn& freeSpace = {});

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

namespace Exporter {

// The error of a destination that cannot be written: its path and the
// system's reason (as QFile::errorString() or strerror() say it) ...
ExportError fileWriteError(const QString& destination, const QString& detail);
// ... or the step that failed.
ExportError fileWriteError(const QString& destination, ExportError::Cause cause);

}  // namespace Exporter

}  // namespace mirelo
