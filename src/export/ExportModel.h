#pragma once

#include "export/ExportOptions.h"
#include "export/ExportPreprocessor.h"
#include "export/ExportTypes.h"
#include "export/FrameSequence.h"
#include "export/SizeLimit.h"
#include "image/Image.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace mirelo {

// What the information line shows of the processed frames: their count and
// size, once an estimate has processed them.
struct ProcessedInfo {
    bool known = false;
    int frames = 0;
    QSize size;
    friend bool operator==(const ProcessedInfo&, const ProcessedInfo&) = default;
};

// What the size label shows: an estimate under way, its failure, a size
// (exact, or estimated from a sample), or with a size limit that even the
// smallest setting is over it. With a size limit, `changes` says what the
// limit changed against the chosen options.
struct SizeEstimate {
    enum class State { computing, failed, exact, approximate, overLimit };
    State state = State::computing;
    qint64 bytes = 0;  // the size; with overLimit, the smallest setting's
    SizeLimit::Changes changes;
    friend bool operator==(const SizeEstimate&, const SizeEstimate&) = default;
};

// The export options of one save, a live estimate of the file's size, and
// the export itself. Lives on the main thread: every property changes there
// and every signal is emitted there. Preprocessing and encoding run on
// background threads and read the frames one at a time from the model's
// frame sequence, so neither the estimate nor the export holds a copy of the
// animation; their results come back to the main thread and are dropped when
// the options changed meanwhile.
//
// Each option has a setter that emits its signal when the value changes. The
// view calls scheduleEstimate() after every change; the estimate starts
// 400 ms after the last call. An exact estimate keeps its file (named
// "mirelo-estimate-<UUID>.<ext>" in the temporary folder) until a newer
// estimate replaces it, an export moves it into place, or the model goes
// away; every other estimate file is removed as soon as it is done.
class ExportModel : public QObject {
    Q_OBJECT

public:
    using Completion = std::function<void(ExportStatus)>;

    static constexpr int kDebounceMs = 400;

    // Schedules the first estimate.
    ExportModel(std::vector<Image> images, std::vector<double> delays, QObject* parent = nullptr);
    // Frames made on demand (see FrameSequence), one delay per frame.
    ExportModel(FrameSequence frames, std::vector<double> delays, QObject* parent = nullptr);
    // Cancels running work and removes the kept estimate file. A running
    // export is cancelled too (it leaves no file) and its completion is not
    // called.
    ~ExportModel() override;

    const FrameSequence& frames() const { return m_frames; }
    const std::vector<double>& delays() const { return m_delays; }

    ExportFormat format() const { return m_options.format; }
    void setFormat(ExportFormat format);
    int quality() const { return m_options.quality; }
    void setQuality(int quality);
    // How a WebP stores its frames (lossy unless chosen otherwise).
    WebPMode webpMode() const { return m_options.webpMode; }
    void setWebpMode(WebPMode mode);
    // "有损压缩" of a GIF: its strength 1..100, or 0 when off.
    int gifLossy() const { return m_options.gifLossy; }
    void setGifLossy(int strength);
    // What the encoder is given: the quality and the format's own choices.
    EncodeSettings encodeSettings() const;
    bool reduceFramesEnabled() const { return m_options.reduceFramesEnabled; }
    void setReduceFramesEnabled(bool enabled);
    int reduceFramesPercent() const { return m_options.reduceFramesPercent; }
    void setReduceFramesPercent(int percent);
    bool resizeEnabled() const { return m_options.resizeEnabled; }
    void setResizeEnabled(bool enabled);
    int resizePercent() const { return m_options.resizePercent; }
    void setResizePercent(int percent);
    bool skipSimilarEnabled() const { return m_options.skipSimilarEnabled; }
    void setSkipSimilarEnabled(bool enabled);
    int similarityPercent() const { return m_options.similarityPercent; }
    void setSimilarityPercent(int percent);
    int maxSimilarDuration() const { return m_options.maxSimilarDuration; }
    void setMaxSimilarDuration(int seconds);
    // "限制大小": with it on, the estimate and the export look for the best
    // file of at most the limit in MB (1 000 000 bytes), compressing harder
    // first, then dropping frames, then scaling down (SizeLimit).
    bool sizeLimitEnabled() const { return m_options.sizeLimitEnabled; }
    void setSizeLimitEnabled(bool enabled);
    int sizeLimitMegabytes() const { return m_options.sizeLimitMegabytes; }
    void setSizeLimitMegabytes(int megabytes);

    // Unknown until the first estimate has processed frames.
    const ProcessedInfo& processedInfo() const { return m_processedInfo; }
    // Computing from the start and whenever an estimate begins.
    const SizeEstimate& sizeEstimate() const { return m_sizeEstimate; }

    // Every option at once.
    const ExportOptions& options() const { return m_options; }
    // The options as one string (see ExportOptions::cacheKey).
    QString cacheKey() const;
    ExportPreprocessor::Options preprocessorOptions() const;

    // Cancels the pending or running estimate and starts a new one after
    // 400 ms without another call.
    void scheduleEstimate();

    // Writes the file for the current options to `destination` and calls
    // `completion` on the main thread with the result. When the kept exact
    // estimate was made with these options its file is moved into place;
    // otherwise the frames are processed and encoded afresh. Either way the
    // destination is replaced in one step or not at all.
    void exportTo(const QString& destination, Completion completion);
    bool isExporting() const { return m_exporting; }
    // Stops a running export at its next frame: the completion then reports
    // a cancellation and nothing is left at the destination.
    void cancelExport();

    // The kept exact estimate, for the export and for tests: its options key
    // and file, or empty strings.
    QString cachedEstimateKey() const;
    QString cachedEstimatePath() const;

signals:
    void formatChanged(mirelo::ExportFormat format);
    void qualityChanged(int quality);
    void webpModeChanged(mirelo::WebPMode mode);
    void gifLossyChanged(int strength);
    void reduceFramesEnabledChanged(bool enabled);
    void reduceFramesPercentChanged(int percent);
    void resizeEnabledChanged(bool enabled);
    void resizePercentChanged(int percent);
    void skipSimilarEnabledChanged(bool enabled);
    void similarityPercentChanged(int percent);
    void maxSimilarDurationChanged(int seconds);
    void sizeLimitEnabledChanged(bool enabled);
    void sizeLimitMegabytesChanged(int megabytes);
    void processedInfoChanged(const mirelo::ProcessedInfo& info);
    void sizeEstimateChanged(const mirelo::SizeEstimate& estimate);
    // An estimate has begun (after the wait) / delivered its result.
    void estimateStarted();
    void estimateFinished();
    // Frames done of frames total while exporting.
    void exportProgress(int done, int total);

private:
    class TempFile;
    struct EstimateJob;
    struct Cache {
        QString key;
        std::shared_ptr<TempFile> file;
    };

    void startEstimate();
    void startLimitedEstimate(const std::shared_ptr<EstimateJob>& job);
    void encodeEstimate(const std::shared_ptr<EstimateJob>& job, FrameSequence processed,
                        std::vector<double> delays);
    bool isCurrent(const std::shared_ptr<EstimateJob>& job) const;
    void cancelEstimate();
    void setProcessedInfo(int frames, QSize size);
    void setSizeEstimate(SizeEstimate::State state, qint64 bytes = 0,
                         SizeLimit::Changes changes = {});

    FrameSequence m_frames;
    std::vector<double> m_delays;
    ExportOptions m_options;
    ProcessedInfo m_processedInfo;
    SizeEstimate m_sizeEstimate;

    QTimer m_debounce;
    std::shared_ptr<EstimateJob> m_estimateJob;
    std::optional<Cache> m_estimateCache;
    CancelFlag m_exportCancel;
    bool m_exporting = false;
};

}  // namespace mirelo
