#include "export/ExportModel.h"
#include "image/WorkerPool.h"

#include "export/AtomicFile.h"
#include "export/ExportFormats.h"
#include "export/ExportOptions.h"
#include "export/SizeEstimator.h"
#include "export/SizeLimit.h"
#include "image/ImageServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>
#include <utility>

namespace mirelo {

namespace {

// Runs `work` (taking a ProgressFn) on the thread pool and hands its result
// to `done` on `owner`'s thread. If `owner` is destroyed first, `done` is
// never called and the result is simply destroyed when the work ends.
template <typename Result, typename Work, typename Done>
void runInBackground(QObject* owner, Work work, Done done, ProgressFn onProgress = {}) {
    auto* watcher = new QFutureWatcher<Result>(owner);
    QObject::connect(watcher, &QFutureWatcherBase::finished, owner,
                     [watcher, done = std::move(done)]() mutable {
                         watcher->deleteLater();
                         if (watcher->future().resultCount() > 0) {
                             done(watcher->future().takeResult());
                         }
                     });
    if (onProgress) {
        QObject::connect(
            watcher, &QFutureWatcherBase::progressValueChanged, owner,
            [watcher, onProgress](int value) { onProgress(value, watcher->progressMaximum()); });
    }
    watcher->setFuture(QtConcurrent::run(
        workerPool(), [work = std::move(work)](QPromise<Result>& promise) mutable {
            const ProgressFn progress = [&promise](int done, int total) {
                promise.setProgressRange(0, total);
                promise.setProgressValue(done);
            };
            promise.addResult(work(progress));
        }));
}

}  // namespace

// An estimate's file in the temporary folder, removed when the last owner
// lets go of it unless it was moved away.
class ExportModel::TempFile {
public:
    explicit TempFile(QString path) : m_path(std::move(path)) {}
    ~TempFile() {
        if (!m_released) {
            QFile::remove(m_path);
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const QString& path() const { return m_path; }
    void release() { m_released = true; }

private:
    QString m_path;
    bool m_released = false;
};

struct ExportModel::EstimateJob {
    QString key;
    ExportFormat format;
    EncodeSettings settings;
    CancelFlag cancel;
};

ExportModel::ExportModel(std::vector<Image> images, std::vector<double> delays, QObject* parent)
    : ExportModel(FrameSequence::of(std::move(images)), std::move(delays), parent) {}

ExportModel::ExportModel(FrameSequence frames, std::vector<double> delays, QObject* parent)
    : QObject(parent), m_frames(std::move(frames)), m_delays(std::move(delays)) {
    m_debounce.setSingleShot(true);
    m_debounce.setTimerType(Qt::PreciseTimer);  // never early, as coarse timers may be
    m_debounce.setInterval(kDebounceMs);
    connect(&m_debounce, &QTimer::timeout, this, &ExportModel::startEstimate);
    scheduleEstimate();
}

ExportModel::~ExportModel() {
    cancelEstimate();
    m_exportCancel.cancel();
    // m_estimateCache goes with the model, removing the kept file; the
    // watchers of running work are children and go too, so no result reaches
    // this object any more.
}

#define MIRELO_SETTER(Type, name, member, signal) \
    void ExportModel::name(Type value) {          \
        if (member == value) {                    \
            return;                               \
        }                                         \
        member = value;                           \
        emit signal(value);                       \
    }

MIRELO_SETTER(ExportFormat, setFormat, m_options.format, formatChanged)
MIRELO_SETTER(int, setQuality, m_options.quality, qualityChanged)
MIRELO_SETTER(WebPMode, setWebpMode, m_options.webpMode, webpModeChanged)
MIRELO_SETTER(int, setGifLossy, m_options.gifLossy, gifLossyChanged)
MIRELO_SETTER(bool, setReduceFramesEnabled, m_options.reduceFramesEnabled,
              reduceFramesEnabledChanged)
MIRELO_SETTER(int, setReduceFramesPercent, m_options.reduceFramesPercent,
              reduceFramesPercentChanged)
MIRELO_SETTER(bool, setResizeEnabled, m_options.resizeEnabled, resizeEnabledChanged)
MIRELO_SETTER(int, setResizePercent, m_options.resizePercent, resizePercentChanged)
MIRELO_SETTER(bool, setSkipSimilarEnabled, m_options.skipSimilarEnabled, skipSimilarEnabledChanged)
MIRELO_SETTER(int, setSimilarityPercent, m_options.similarityPercent, similarityPercentChanged)
MIRELO_SETTER(int, setMaxSimilarDuration, m_options.maxSimilarDuration, maxSimilarDurationChanged)
MIRELO_SETTER(bool, setSizeLimitEnabled, m_options.sizeLimitEnabled, sizeLimitEnabledChanged)
MIRELO_SETTER(int, setSizeLimitMegabytes, m_options.sizeLimitMegabytes, sizeLimitMegabytesChanged)

#undef MIRELO_SETTER

void ExportModel::setProcessedInfo(int frames, QSize size) {
    m_processedInfo = ProcessedInfo{true, frames, size};
    emit processedInfoChanged(m_processedInfo);
}

void ExportModel::setSizeEstimate(SizeEstimate::State state, qint64 bytes,
                                  SizeLimit::Changes changes) {
    m_sizeEstimate = SizeEstimate{state, bytes, changes};
    emit sizeEstimateChanged(m_sizeEstimate);
}

QString ExportModel::cacheKey() const {
    return m_options.cacheKey();
}

EncodeSettings ExportModel::encodeSettings() const {
    return m_options.encodeSettings();
}

ExportPreprocessor::Options ExportModel::preprocessorOptions() const {
    return m_options.preprocessorOptions();
}

QString ExportModel::cachedEstimateKey() const {
    return m_estimateCache ? m_estimateCache->key : QString();
}

QString ExportModel::cachedEstimatePath() const {
    return m_estimateCache ? m_estimateCache->file->path() : QString();
}

void ExportModel::cancelEstimate() {
    m_debounce.stop();
    if (m_estimateJob) {
        m_estimateJob->cancel.cancel();
        m_estimateJob.reset();
    }
}

void ExportModel::scheduleEstimate() {
    cancelEstimate();
    m_debounce.start();
}

bool ExportModel::isCurrent(const std::shared_ptr<EstimateJob>& job) const {
    return job == m_estimateJob && !job->cancel.isCancelled() && cacheKey() == job->key;
}

void ExportModel::startEstimate() {
    setSizeEstimate(SizeEstimate::State::computing);
    auto job = std::make_shared<EstimateJob>(
        EstimateJob{cacheKey(), m_options.format, encodeSettings(), {}});
    m_estimateJob = job;
    emit estimateStarted();
    if (m_options.sizeLimitEnabled) {
        startLimitedEstimate(job);
        return;
    }

    runInBackground<ExportPreprocessor::Selection>(
        this,
        [frames = m_frames, delays = m_delays, options = preprocessorOptions(),
         cancel = job->cancel](const ProgressFn&) {
            return ExportPreprocessor::select(frames, delays, options, cancel);
        },
        [this, job](ExportPreprocessor::Selection selection) {
            if (!isCurrent(job)) {
                return;
            }
            FrameSequence processed = ExportPreprocessor::apply(m_frames, selection);
            const int n = static_cast<int>(processed.count);
            if (n > 0) {
                const QSize size = processed.size(0);
                setProcessedInfo(n, size);
            }
            encodeEstimate(job, std::move(processed), std::move(selection.delays));
        });
}

void ExportModel::startLimitedEstimate(const std::shared_ptr<EstimateJob>& job) {
    struct Outcome {
        SizeLimit::Result result;
        std::shared_ptr<TempFile> file;  // the chosen exact file, removed unless kept
    };
    const ExportPreprocessor::Options options = preprocessorOptions();
    runInBackground<Outcome>(
        this,
        [frames = m_frames, delays = m_delays, options, job = *job,
         limit = m_options.sizeLimitBytes()](const ProgressFn&) {
            Outcome outcome;
            outcome.result = SizeLimit::search(job.format, frames, delays, job.settings, options,
                                               limit, QDir::tempPath(), job.cancel);
            if (outcome.result.choice && !outcome.result.choice->file.isEmpty()) {
                outcome.file = std::make_shared<TempFile>(outcome.result.choice->file);
            }
            return outcome;
        },
        [this, job, options](Outcome outcome) {
            if (!isCurrent(job)) {
                return;
            }
            m_estimateJob.reset();
            const SizeLimit::Result& result = outcome.result;
            if (result.error) {
                setSizeEstimate(SizeEstimate::State::failed);
            } else if (!result.choice) {
                m_estimateCache.reset();
                setSizeEstimate(SizeEstimate::State::overLimit, result.smallestSize);
            } else {
                const SizeLimit::Choice& choice = *result.choice;
                if (choice.frameCount > 0) {
                    setProcessedInfo(choice.frameCount, choice.frameSize);
                }
                if (outcome.file) {
                    m_estimateCache = Cache{job->key, std::move(outcome.file)};
                } else {
                    m_estimateCache.reset();
                }
                setSizeEstimate(
                    choice.exact ? SizeEstimate::State::exact : SizeEstimate::State::approximate,
                    choice.size,
                    SizeLimit::changes(choice.setting, job->settings, options, choice.frameCount));
            }
            emit estimateFinished();
        });
}

void ExportModel::encodeEstimate(const std::shared_ptr<EstimateJob>& job, FrameSequence processed,
                                 std::vector<double> delays) {
    struct Outcome {
        std::variant<SizeMeasure, ExportError> measured;
        std::shared_ptr<TempFile> file;
    };
    const QString path = QDir(QDir::tempPath())
                             .filePath(QStringLiteral("mirelo-estimate-") +
                                       QUuid::createUuid().toString(QUuid::WithoutBraces) +
                                       QLatin1Char('.') + extension(job->format));
    runInBackground<Outcome>(
        this,
        [frames = std::move(processed), delays = std::move(delays), job = *job,
         path](const ProgressFn&) {
            Outcome outcome;
            // Owns the file from the start: if the result is never used the
            // file goes when the outcome does.
            outcome.file = std::make_shared<TempFile>(path);
            outcome.measured =
                measureEncodedSize(job.format, frames, delays, job.settings, path, job.cancel);
            return outcome;
        },
        [this, job](Outcome outcome) {
            const bool current = isCurrent(job);
            if (current) {
                m_estimateJob.reset();
            }
            const SizeMeasure* measured = std::get_if<SizeMeasure>(&outcome.measured);
            if (!measured) {
                if (current) {
                    setSizeEstimate(SizeEstimate::State::failed);
                    emit estimateFinished();
                }
                return;  // the outcome's file goes with it
            }
            if (!current) {
                return;
            }
            if (measured->exact) {
                m_estimateCache = Cache{job->key, std::move(outcome.file)};
                setSizeEstimate(SizeEstimate::State::exact, measured->bytes);
            } else {
                m_estimateCache.reset();
                setSizeEstimate(SizeEstimate::State::approximate, measured->bytes);
            }
            emit estimateFinished();
        });
}

void ExportModel::cancelExport() {
    m_exportCancel.cancel();
}

void ExportModel::exportTo(const QString& destination, Completion completion) {
    cancelEstimate();
    m_exporting = true;
    m_exportCancel = CancelFlag();  // an earlier cancelled export does not stop this one
    auto finish = [this, destination, completion = std::move(completion)](ExportStatus status) {
        m_exporting = false;
        if (completion) {
            completion(explainFailure(std::move(status), destination));
        }
    };
    auto progress = [this](int done, int total) { emit exportProgress(done, total); };

    const QString key = cacheKey();
    if (m_estimateCache && m_estimateCache->key == key &&
        QFileInfo::exists(m_estimateCache->file->path())) {
        std::shared_ptr<TempFile> file = std::move(m_estimateCache->file);
        m_estimateCache.reset();
        runInBackground<ExportStatus>(
            this,
            [file, destination, cancel = m_exportCancel](const ProgressFn&) -> ExportStatus {
                if (cancel.isCancelled()) {
                    return ExportError::cancelled();
                }
                ExportStatus status = AtomicFile::moveIntoPlace(file->path(), destination);
                if (!status) {
                    file->release();
                }
                return status;
            },
            std::move(finish));
        return;
    }

    if (m_options.sizeLimitEnabled) {
        runInBackground<ExportStatus>(
            this,
            [frames = m_frames, delays = m_delays, options = preprocessorOptions(),
             format = m_options.format, settings = encodeSettings(), destination,
             cancel = m_exportCancel,
             limit = m_options.sizeLimitBytes()](const ProgressFn& progress) {
                return SizeLimit::exportWithin(format, frames, delays, settings, options, limit,
                                               destination, cancel, progress);
            },
            std::move(finish), progress);
        return;
    }

    runInBackground<ExportStatus>(
        this,
        [frames = m_frames, delays = m_delays, options = preprocessorOptions(),
         format = m_options.format, settings = encodeSettings(), destination,
         cancel = m_exportCancel](const ProgressFn& progress) {
            const ExportPreprocessor::Selection selection =
                ExportPreprocessor::select(frames, delays, options, cancel);
            if (cancel.isCancelled()) {
                return ExportStatus(ExportError::cancelled());
            }
            return encodeFrames(format, ExportPreprocessor::apply(frames, selection),
                                selection.delays, settings, destination, cancel, progress);
        },
        std::move(finish), progress);
}

}  // namespace mirelo
