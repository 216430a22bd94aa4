#include "export/ExportModel.h"
#include "image/WorkerPool.h"

#include "export/AtomicFile.h"
#include "export/ExportFormats.h"
#include "export/SizeLimit.h"
#include "image/ImageServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
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

// Moves `from` onto `to` in one step. Within one file system that is a
// rename, which replaces an existing file atomically; across file systems
// the bytes are copied through a temporary file beside `to` and renamed.
ExportStatus moveIntoPlace(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    // Flushed before it takes the name and the folder after, as AtomicFile
    // does.
    FileSyncCalls& calls = FileSyncCalls::system();
    if (!calls.syncFile(from)) {
        return Exporter::fileWriteError(to, QString::fromLocal8Bit(std::strerror(errno)));
    }
    keepFileAttributes(from, to);
    if (std::rename(source.constData(), target.constData()) == 0) {
        calls.syncFolder(QFileInfo(to).absolutePath());
        return std::nullopt;
    }
    if (errno != EXDEV) {
        return Exporter::fileWriteError(to, QString::fromLocal8Bit(std::strerror(errno)));
    }
    AtomicFile out(to);
    if (!out.isOpen()) {
        return Exporter::fileWriteError(to, ExportError::Cause::cannotCreate);
    }
    QFile in(from);
    QFile copy(out.tempPath());
    if (!in.open(QIODevice::ReadOnly)) {
        return Exporter::fileWriteError(to, in.errorString());
    }
    if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return Exporter::fileWriteError(to, copy.errorString());
    }
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (copy.write(chunk) != chunk.size()) {
            return Exporter::fileWriteError(to, copy.errorString());
        }
    }
    if (in.error() != QFileDevice::NoError || !copy.flush()) {
        return Exporter::fileWriteError(to, copy.errorString());
    }
    copy.close();
    if (!out.commit()) {
        return Exporter::fileWriteError(to, ExportError::Cause::cannotReplace);
    }
    in.close();
    QFile::remove(from);
    return std::nullopt;
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

EstimatePlan planEstimate(int frameCount, QSize firstFrame) {
    EstimatePlan plan;
    const qint64 n = std::max(frameCount, 0);
    const qint64 w = std::max(firstFrame.width(), 0);
    const qint64 h = std::max(firstFrame.height(), 0);
    plan.frameCount = int(n);
    if (w * n * h <= EstimatePlan::kMaxExactPixels) {
        return plan;
    }
    plan.exact = false;
    if (n > EstimatePlan::kMaxFrames) {
        plan.step = int((n + EstimatePlan::kMaxFrames - 1) / EstimatePlan::kMaxFrames);
        plan.frameCount = int((n + plan.step - 1) / plan.step);
        plan.frameFactor = double(n) / double(plan.frameCount);
    }
    if (w > EstimatePlan::kMaxWidth) {
        const double ratio = double(EstimatePlan::kMaxWidth) / double(w);
        const int width = std::max(int(std::round(ratio * double(w))), 10);
        const int height = std::max(int(std::round(ratio * double(h))), 10);
        plan.scaledSize = QSize(width, height);
        plan.sizeFactor = std::pow(double(w * h) / (double(width) * double(height)), 0.9);
    }
    return plan;
}

EstimateFrames estimateSample(const FrameSequence& frames, const std::vector<double>& delays,
                              const EstimatePlan& plan) {
    if (plan.exact) {
        return {frames, delays};
    }
    // Every step-th frame, scaled as it is encoded; a frame that cannot be
    // scaled fails the estimate.
    const size_t step = static_cast<size_t>(plan.step);
    EstimateFrames sample;
    for (size_t i = 0; i < frames.count && i < delays.size(); i += step) {
        sample.delays.push_back(delays[i]);
    }
    sample.frames = ExportPreprocessor::sample(frames, step, plan.scaledSize);
    return sample;
}

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

MIRELO_SETTER(ExportFormat, setFormat, m_format, formatChanged)
MIRELO_SETTER(int, setQuality, m_quality, qualityChanged)
MIRELO_SETTER(WebPMode, setWebpMode, m_webpMode, webpModeChanged)
MIRELO_SETTER(int, setGifLossy, m_gifLossy, gifLossyChanged)
MIRELO_SETTER(bool, setReduceFramesEnabled, m_reduceFramesEnabled, reduceFramesEnabledChanged)
MIRELO_SETTER(int, setReduceFramesPercent, m_reduceFramesPercent, reduceFramesPercentChanged)
MIRELO_SETTER(bool, setResizeEnabled, m_resizeEnabled, resizeEnabledChanged)
MIRELO_SETTER(int, setResizePercent, m_resizePercent, resizePercentChanged)
MIRELO_SETTER(bool, setSkipSimilarEnabled, m_skipSimilarEnabled, skipSimilarEnabledChanged)
MIRELO_SETTER(int, setSimilarityPercent, m_similarityPercent, similarityPercentChanged)
MIRELO_SETTER(int, setMaxSimilarDuration, m_maxSimilarDuration, maxSimilarDurationChanged)
MIRELO_SETTER(bool, setSizeLimitEnabled, m_sizeLimitEnabled, sizeLimitEnabledChanged)
MIRELO_SETTER(int, setSizeLimitMegabytes, m_sizeLimitMegabytes, sizeLimitMegabytesChanged)

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
    const QString dash = QStringLiteral("-");
    QString key =
        extension(m_format) + dash + QString::number(m_quality) + dash +
        (m_reduceFramesEnabled ? QString::number(m_reduceFramesPercent) : QStringLiteral("0")) +
        dash + (m_resizeEnabled ? QString::number(m_resizePercent) : QStringLiteral("100")) + dash;
    key += m_skipSimilarEnabled
               ? QString::number(m_similarityPercent) + dash + QString::number(m_maxSimilarDuration)
               : QStringLiteral("0");
    if (m_format == ExportFormat::webp && m_webpMode != WebPMode::lossy) {
        key += m_webpMode == WebPMode::lossless ? QStringLiteral("-lossless")
                                                : QStringLiteral("-mixed");
    }
    if (m_format == ExportFormat::gif && m_gifLossy > 0) {
        key += QStringLiteral("-lossy") + QString::number(m_gifLossy);
    }
    if (m_sizeLimitEnabled) {
        key += QStringLiteral("-max") + QString::number(m_sizeLimitMegabytes);
    }
    return key;
}

EncodeSettings ExportModel::encodeSettings() const {
    EncodeSettings settings(m_quality);
    settings.webpMode = m_webpMode;
    settings.gifLossy = m_gifLossy;
    return settings;
}

ExportPreprocessor::Options ExportModel::preprocessorOptions() const {
    ExportPreprocessor::Options options;
    if (m_reduceFramesEnabled) {
        options.reduceFramesPercent = m_reduceFramesPercent;
    }
    if (m_skipSimilarEnabled) {
        options.skipSimilar = ExportPreprocessor::SkipSimilar{
            (100.0 - m_similarityPercent) / 100.0, static_cast<double>(m_maxSimilarDuration)};
    }
    if (m_resizeEnabled) {
        options.resizePercent = m_resizePercent;
    }
    return options;
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
    auto job =
        std::make_shared<EstimateJob>(EstimateJob{cacheKey(), m_format, encodeSettings(), {}});
    m_estimateJob = job;
    emit estimateStarted();
    if (m_sizeLimitEnabled) {
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
         limit = qint64(m_sizeLimitMegabytes) * 1'000'000](const ProgressFn&) {
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
        ExportStatus status;
        std::shared_ptr<TempFile> file;
        qint64 size = 0;
        EstimatePlan plan;
    };
    const QString path = QDir(QDir::tempPath())
                             .filePath(QStringLiteral("mirelo-estimate-") +
                                       QUuid::createUuid().toString(QUuid::WithoutBraces) +
                                       QLatin1Char('.') + extension(job->format));
    runInBackground<Outcome>(
        this,
        [frames = std::move(processed), delays = std::move(delays), job = *job,
         path](const ProgressFn&) mutable {
            Outcome outcome;
            // Owns the file from the start: if the result is never used the
            // file goes when the outcome does.
            outcome.file = std::make_shared<TempFile>(path);
            const QSize first = frames.count == 0 ? QSize(0, 0) : frames.size(0);
            outcome.plan = planEstimate(static_cast<int>(frames.count), first);
            if (!outcome.plan.exact) {
                EstimateFrames sample = estimateSample(frames, delays, outcome.plan);
                frames = std::move(sample.frames);
                delays = std::move(sample.delays);
            }
            outcome.status =
                encodeFrames(job.format, frames, delays, job.settings, path, job.cancel);
            if (!outcome.status) {
                outcome.size = std::max<qint64>(QFileInfo(path).size(), 0);
            }
            return outcome;
        },
        [this, job](Outcome outcome) {
            const bool current = isCurrent(job);
            if (current) {
                m_estimateJob.reset();
            }
            if (outcome.status) {
                if (current) {
                    setSizeEstimate(SizeEstimate::State::failed);
                    emit estimateFinished();
                }
                return;  // the outcome's file goes with it
            }
            if (!current) {
                return;
            }
            if (outcome.plan.exact) {
                m_estimateCache = Cache{job->key, std::move(outcome.file)};
                setSizeEstimate(SizeEstimate::State::exact, outcome.size);
            } else {
                m_estimateCache.reset();
                const double estimate =
                    outcome.plan.sizeFactor * (double(outcome.size) * outcome.plan.frameFactor);
                setSizeEstimate(SizeEstimate::State::approximate, static_cast<qint64>(estimate));
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
                ExportStatus status = moveIntoPlace(file->path(), destination);
                if (!status) {
                    file->release();
                }
                return status;
            },
            std::move(finish));
        return;
    }

    if (m_sizeLimitEnabled) {
        runInBackground<ExportStatus>(
            this,
            [frames = m_frames, delays = m_delays, options = preprocessorOptions(),
             format = m_format, settings = encodeSettings(), destination, cancel = m_exportCancel,
             limit = qint64(m_sizeLimitMegabytes) * 1'000'000](const ProgressFn& progress) {
                return SizeLimit::exportWithin(format, frames, delays, settings, options, limit,
                                               destination, cancel, progress);
            },
            std::move(finish), progress);
        return;
    }

    runInBackground<ExportStatus>(
        this,
        [frames = m_frames, delays = m_delays, options = preprocessorOptions(), format = m_format,
         settings = encodeSettings(), destination,
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
