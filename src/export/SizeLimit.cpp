#include "export/SizeLimit.h"

#include "export/AtomicFile.h"
#include "export/ExportFormats.h"
#include "export/SizeEstimator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <map>
#include <variant>

namespace mirelo::SizeLimit {

namespace {

constexpr int kFrameDrops[] = {25, 50, 75};
constexpr int kSizes[] = {75, 50, 35, 25, 15, 10};

// A measured setting: its size and, when the size is the whole export's, its file.
struct Measure {
    qint64 size = 0;
    bool exact = false;
    QString file;
    int frameCount = 0;
    QSize frameSize;
};

QString freshPath(const QString& folder, ExportFormat format) {
    return QDir(folder).filePath(QStringLiteral("mirelo-limit-") +
                                 QUuid::createUuid().toString(QUuid::WithoutBraces) +
                                 QLatin1Char('.') + extension(format));
}

// The size of `setting`'s file as the live estimate measures it.
std::variant<Measure, ExportError> measure(ExportFormat format, const FrameSequence& frames,
                                           const std::vector<double>& delays,
                                           const Setting& setting, const QString& folder,
                                           const CancelFlag& cancel) {
    const ExportPreprocessor::Selection selection =
        ExportPreprocessor::select(frames, delays, setting.options, cancel);
    if (cancel.isCancelled()) {
        return ExportError::cancelled();
    }
    const FrameSequence processed = ExportPreprocessor::apply(frames, selection);
    const QSize first = processed.count == 0 ? QSize(0, 0) : processed.size(0);
    const EstimatePlan plan = planEstimate(int(processed.count), first);
    const EstimateFrames sample = estimateSample(processed, selection.delays, plan);
    const QString path = freshPath(folder, format);
    const ExportStatus status =
        encodeFrames(format, sample.frames, sample.delays, setting.encodeSettings(), path, cancel);
    if (status) {
        QFile::remove(path);
        return *status;
    }
    Measure out;
    out.size = std::max<qint64>(QFileInfo(path).size(), 0);
    out.exact = plan.exact;
    out.frameCount = int(processed.count);
    out.frameSize = first;
    if (plan.exact) {
        out.file = path;
    } else {
        QFile::remove(path);
        out.size = qint64(plan.sizeFactor * (double(out.size) * plan.frameFactor));
    }
    return out;
}

}  // namespace

EncodeSettings Setting::encodeSettings() const {
    EncodeSettings out(quality);
    out.webpMode = webpMode;
    out.gifLossy = gifLossy;
    return out;
}

std::vector<Setting> ladder(ExportFormat format, const EncodeSettings& settings,
                            const ExportPreprocessor::Options& options) {
    std::vector<Setting> out;
    const int quality = settings.quality;
    const bool qualityMatters =
        !(format == ExportFormat::webp && settings.webpMode == WebPMode::lossless);
    const int floor = qualityMatters ? std::min(quality, kQualityFloor) : quality;
    for (int q = quality; q >= floor; --q) {
        out.push_back({q, options, settings.webpMode, settings.gifLossy});
    }
    Setting smaller = out.back();
    const int ownDrop = options.reduceFramesPercent.value_or(0);
    for (int drop : kFrameDrops) {
        if (drop > ownDrop) {
            smaller.options.reduceFramesPercent = drop;
            out.push_back(smaller);
        }
    }
    const int ownSize = options.resizePercent.value_or(100);
    for (int size : kSizes) {
        if (size < ownSize) {
            smaller.options.resizePercent = size;
            out.push_back(smaller);
        }
    }
    return out;
}

Result search(ExportFormat format, const FrameSequence& frames, const std::vector<double>& delays,
              const EncodeSettings& base, const ExportPreprocessor::Options& options, qint64 limit,
              const QString& folder, const CancelFlag& cancel) {
    const std::vector<Setting> settings = ladder(format, base, options);
    std::map<int, Measure> measured;
    Result result;
    // Measures setting i; false on failure (recorded in the result).
    const auto at = [&](int i) -> const Measure* {
        if (const auto found = measured.find(i); found != measured.end()) {
            return &found->second;
        }
        if (cancel.isCancelled()) {
            result.error = ExportError::cancelled();
            return nullptr;
        }
        auto m = measure(format, frames, delays, settings[size_t(i)], folder, cancel);
        if (ExportError* error = std::get_if<ExportError>(&m)) {
            result.error = *error;
            return nullptr;
        }
        return &measured.emplace(i, std::get<Measure>(std::move(m))).first->second;
    };
    const auto finish = [&](std::optional<int> chosen) {
        for (auto& [i, m] : measured) {
            if (!m.file.isEmpty() && (!chosen || i != *chosen || result.error)) {
                QFile::remove(m.file);
            }
        }
        if (chosen && !result.error) {
            const Measure& m = measured[*chosen];
            result.choice = Choice{
                settings[size_t(*chosen)], m.size, m.exact, m.file, m.frameCount, m.frameSize};
        }
        return result;
    };

    // The user's own setting first, as it is the common case; then the
    // smallest; then halving the stretch between the last too large and the
    // first that fits. Sizes fall along the ladder, so that finds the best.
    int bad = 0;
    const Measure* first = at(0);
    if (!first) {
        return finish(std::nullopt);
    }
    if (first->size <= limit) {
        return finish(0);
    }
    int good = int(settings.size()) - 1;
    const Measure* last = good > 0 ? at(good) : first;
    if (!last) {
        return finish(std::nullopt);
    }
    if (last->size > limit) {
        result.smallestSize = last->size;
        return finish(std::nullopt);
    }
    while (good - bad > 1) {
        const int middle = bad + (good - bad) / 2;
        const Measure* m = at(middle);
        if (!m) {
            return finish(std::nullopt);
        }
        (m->size <= limit ? good : bad) = middle;
    }
    return finish(good);
}

ExportStatus exportWithin(ExportFormat format, const FrameSequence& frames,
                          const std::vector<double>& delays, const EncodeSettings& base,
                          const ExportPreprocessor::Options& options, qint64 limit,
                          const QString& destination, const CancelFlag& cancel,
                          const ProgressFn& progress, Setting* chosen) {
    AtomicFile file(destination);
    if (!file.isOpen()) {
        return Exporter::fileWriteError(destination, ExportError::Cause::cannotCreate);
    }
    const Result found =
        search(format, frames, delays, base, options, limit, file.folder(), cancel);
    if (found.error) {
        return found.error;
    }
    if (!found.choice) {
        return tooLarge(found.smallestSize, limit);
    }
    const std::vector<Setting> settings = ladder(format, base, options);
    // The chosen setting's place on the ladder; a sampled estimate may have
    // been low, so the settings below it are tried in turn.
    size_t index = 0;
    while (index < settings.size() &&
           (settings[index].quality != found.choice->setting.quality ||
            settings[index].options.reduceFramesPercent !=
                found.choice->setting.options.reduceFramesPercent ||
            settings[index].options.resizePercent != found.choice->setting.options.resizePercent)) {
        ++index;
    }
    qint64 size = found.choice->size;
    QString ready = found.choice->file;  // an exact measure is the export itself
    for (; index < settings.size(); ++index) {
        if (ready.isEmpty()) {
            const ExportPreprocessor::Selection selection =
                ExportPreprocessor::select(frames, delays, settings[index].options, cancel);
            if (cancel.isCancelled()) {
                return ExportError::cancelled();
            }
            ready = freshPath(file.folder(), format);
            const ExportStatus status =
                encodeFrames(format, ExportPreprocessor::apply(frames, selection), selection.delays,
                             settings[index].encodeSettings(), ready, cancel, progress);
            if (status) {
                QFile::remove(ready);
                return status;
            }
            size = QFileInfo(ready).size();
        }
        if (size <= limit) {
            if (!file.commitFrom(ready)) {
                return Exporter::fileWriteError(destination, ExportError::Cause::cannotReplace);
            }
            if (chosen) {
                *chosen = settings[index];
            }
            return std::nullopt;
        }
        QFile::remove(ready);
        ready.clear();
    }
    return tooLarge(size, limit);
}

ExportError tooLarge(qint64 smallestSize, qint64 limit) {
    ExportError error = ExportError::of(ExportError::Kind::tooLarge);
    error.size = smallestSize;
    error.limit = limit;
    return error;
}

bool isTooLarge(const ExportStatus& status) {
    return status && status->kind == ExportError::Kind::tooLarge;
}

Changes changes(const Setting& setting, int quality, const ExportPreprocessor::Options& options) {
    Changes changed;
    if (setting.quality != quality) {
        changed.quality = setting.quality;
    }
    if (setting.options.reduceFramesPercent != options.reduceFramesPercent &&
        setting.options.reduceFramesPercent) {
        changed.reduceFramesPercent = setting.options.reduceFramesPercent;
    }
    if (setting.options.resizePercent != options.resizePercent && setting.options.resizePercent) {
        changed.resizePercent = setting.options.resizePercent;
    }
    return changed;
}

}  // namespace mirelo::SizeLimit
