#include "export/SizeLimit.h"

#include "export/AtomicFile.h"
#include "export/ExportFormats.h"
#include "export/SizeEstimator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <variant>

namespace mirelo::SizeLimit {

namespace {

// The four things the search can give up, each as a value that goes from the
// user's own (no sacrifice) to the search's limit (the most).
enum class Axis { lossy, quality, drop, scale };

int drop(const Setting& s) {
    return s.options.reduceFramesPercent.value_or(0);
}
int scale(const Setting& s) {
    return s.options.resizePercent.value_or(100);
}

// `s` with the axis at sacrifice `k` from `from` (the user's value): each
// step is one fine step of that axis, clamped to its limit.
Setting at(Setting s, Axis axis, int from, int k) {
    switch (axis) {
        case Axis::lossy:
            s.gifLossy = std::min(from + k * kLossyStep, kLossyCeiling);
            break;
        case Axis::quality:
            s.quality = std::max(from - k * kQualityStep, std::min(from, kQualityFloor));
            break;
        case Axis::drop:
            s.options.reduceFramesPercent = std::min(from + k, kFrameDropCeiling);
            break;
        case Axis::scale:
            s.options.resizePercent = std::max(from - k, kScaleFloor);
            break;
    }
    if (s.options.reduceFramesPercent == 0) {
        s.options.reduceFramesPercent.reset();
    }
    if (s.options.resizePercent == 100) {
        s.options.resizePercent.reset();
    }
    return s;
}

// How many steps lie between the user's value and the axis's limit.
int steps(Axis axis, int from) {
    const auto up = [](int span, int step) { return std::max(0, (span + step - 1) / step); };
    switch (axis) {
        case Axis::lossy:
            return up(kLossyCeiling - from, kLossyStep);
        case Axis::quality:
            return up(from - kQualityFloor, kQualityStep);
        case Axis::drop:
            return std::max(0, kFrameDropCeiling - from);
        case Axis::scale:
            return std::max(0, from - kScaleFloor);
    }
    return 0;
}

// What tells settings apart: the user's other choices are the same in all.
std::tuple<int, int, int, int> key(const Setting& s) {
    return {s.quality, s.gifLossy, drop(s), scale(s)};
}

int valueOf(const Setting& s, Axis axis) {
    switch (axis) {
        case Axis::lossy:
            return s.gifLossy;
        case Axis::quality:
            return s.quality;
        case Axis::drop:
            return drop(s);
        case Axis::scale:
            return scale(s);
    }
    return 0;
}

class Searcher {
public:
    Searcher(qint64 limit, const SizeOf& sizeOf) : m_limit(limit), m_sizeOf(sizeOf) {}

    bool failed() const { return m_failed; }

    // The size of `s`'s file, measured once; none after a failure.
    std::optional<qint64> size(const Setting& s) {
        if (m_failed) {
            return std::nullopt;
        }
        if (const auto found = m_sizes.find(key(s)); found != m_sizes.end()) {
            return found->second;
        }
        const std::optional<qint64> measured = m_sizeOf(s);
        if (!measured) {
            m_failed = true;
            return std::nullopt;
        }
        m_sizes.emplace(key(s), *measured);
        return measured;
    }

    bool fits(const Setting& s) {
        const std::optional<qint64> bytes = size(s);
        return bytes && *bytes <= m_limit;
    }

    // The fewest steps along `axis` from `s` that fit, given that `known`
    // steps do. Sizes are taken to fall along the axis, about evenly: each
    // probe aims where a straight line between the sizes either side of the
    // boundary meets the limit, and halves the stretch instead after a probe
    // that took off less than half of it, so a poor aim costs little.
    int fewestFitting(const Setting& s, Axis axis, int known) {
        const int from = valueOf(s, axis);
        const std::optional<qint64> none = size(s);
        if (!none || *none <= m_limit) {
            return 0;
        }
        int bad = 0;
        int good = known;
        qint64 badSize = *none;
        qint64 goodSize = size(at(s, axis, from, known)).value_or(0);
        bool aim = true;
        while (good - bad > 1 && !m_failed) {
            int middle = bad + (good - bad) / 2;
            if (aim && badSize > goodSize) {
                const double share = double(badSize - m_limit) / double(badSize - goodSize);
                middle = std::clamp(bad + int(std::ceil(share * (good - bad))), bad + 1, good - 1);
            }
            const int before = good - bad;
            const std::optional<qint64> bytes = size(at(s, axis, from, middle));
            if (!bytes) {
                break;
            }
            if (*bytes <= m_limit) {
                good = middle;
                goodSize = *bytes;
            } else {
                bad = middle;
                badSize = *bytes;
            }
            aim = 2 * (good - bad) <= before;
        }
        return good;
    }

    // `s` moved the fewest steps along `axis` that fit, given that the last
    // step does.
    Setting relax(const Setting& s, Axis axis, int known) {
        return at(s, axis, valueOf(s, axis), fewestFitting(s, axis, known));
    }

private:
    qint64 m_limit;
    const SizeOf& m_sizeOf;
    std::map<std::tuple<int, int, int, int>, qint64> m_sizes;
    bool m_failed = false;
};

// A step along the lossy or quality axis is worth its loss of picture only
// when it takes at least this share off the file.
constexpr double kWorthwhileShrink = 0.97;

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
    const QString path = freshPath(folder, format);
    const std::variant<SizeMeasure, ExportError> measured = measureEncodedSize(
        format, processed, selection.delays, setting.encodeSettings(), path, cancel);
    if (const auto* error = std::get_if<ExportError>(&measured)) {
        return *error;
    }
    const SizeMeasure& size = std::get<SizeMeasure>(measured);
    Measure out;
    out.size = size.bytes;
    out.exact = size.exact;
    out.frameCount = int(processed.count);
    out.frameSize = processed.count == 0 ? QSize(0, 0) : processed.size(0);
    if (size.exact) {
        out.file = path;
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

Found best(ExportFormat format, const Setting& start, qint64 limit, const SizeOf& sizeOf) {
    Searcher search(limit, sizeOf);
    Found out;
    if (search.fits(start)) {
        out.setting = start;
        return out;
    }
    const bool lossyApplies = format == ExportFormat::gif;
    const bool qualityApplies =
        !(format == ExportFormat::webp && start.webpMode == WebPMode::lossless);
    Setting current = start;
    std::vector<Axis> givenUp;  // the axes taken to their limit, least valued first
    for (const Axis axis : {Axis::lossy, Axis::quality, Axis::drop, Axis::scale}) {
        if ((axis == Axis::lossy && !lossyApplies) || (axis == Axis::quality && !qualityApplies)) {
            continue;
        }
        const int from = valueOf(current, axis);
        const int n = steps(axis, from);
        if (n == 0) {
            continue;
        }
        const Setting most = at(current, axis, from, n);
        const std::optional<qint64> before = search.size(current);
        const std::optional<qint64> after = search.size(most);
        if (!before || !after) {
            break;
        }
        const bool costsPicture = axis == Axis::lossy || axis == Axis::quality;
        if (costsPicture ? double(*after) > kWorthwhileShrink * double(*before)
                         : *after >= *before) {
            continue;  // gives nothing back for this file: keep the user's value
        }
        if (*after <= limit) {
            Setting chosen = search.relax(current, axis, n);
            // Win back what was given up before, the most valued first.
            for (auto it = givenUp.rbegin(); it != givenUp.rend() && !search.failed(); ++it) {
                const int own = valueOf(start, *it);
                chosen = search.relax(at(chosen, *it, own, 0), *it, steps(*it, own));
            }
            if (!search.failed()) {
                out.setting = chosen;
            }
            out.failed = search.failed();
            return out;
        }
        current = most;
        givenUp.push_back(axis);
    }
    out.failed = search.failed();
    if (!out.failed) {
        out.smallestSize = search.size(current).value_or(0);
    }
    return out;
}

Result search(ExportFormat format, const FrameSequence& frames, const std::vector<double>& delays,
              const EncodeSettings& base, const ExportPreprocessor::Options& options, qint64 limit,
              const QString& folder, const CancelFlag& cancel) {
    Result result;
    std::vector<std::pair<Setting, Measure>> measured;
    const SizeOf sizeOf = [&](const Setting& setting) -> std::optional<qint64> {
        if (cancel.isCancelled()) {
            result.error = ExportError::cancelled();
            return std::nullopt;
        }
        auto m = measure(format, frames, delays, setting, folder, cancel);
        if (ExportError* error = std::get_if<ExportError>(&m)) {
            result.error = *error;
            return std::nullopt;
        }
        measured.emplace_back(setting, std::get<Measure>(std::move(m)));
        return measured.back().second.size;
    };
    const Setting start{base.quality, options, base.webpMode, base.gifLossy};
    const Found found = best(format, start, limit, sizeOf);
    std::optional<size_t> chosen;
    if (found.setting && !result.error) {
        for (size_t i = 0; i < measured.size(); ++i) {
            if (key(measured[i].first) == key(*found.setting)) {
                chosen = i;
            }
        }
    }
    for (size_t i = 0; i < measured.size(); ++i) {
        if (!measured[i].second.file.isEmpty() && i != chosen) {
            QFile::remove(measured[i].second.file);
        }
    }
    if (chosen) {
        const Measure& m = measured[*chosen].second;
        result.choice = Choice{*found.setting, m.size, m.exact, m.file, m.frameCount, m.frameSize};
    } else if (!result.error) {
        result.smallestSize = found.smallestSize;
    }
    return result;
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
    // A sampled estimate may be low. When the whole file of the chosen
    // setting turns out too large, the search runs again against a limit
    // lowered by the share the estimate was off, a few times at most.
    constexpr int kRounds = 4;
    qint64 target = limit;
    qint64 size = 0;
    for (int round = 0; round < kRounds && target > 0; ++round) {
        const Result found =
            search(format, frames, delays, base, options, target, file.folder(), cancel);
        if (found.error) {
            return found.error;
        }
        if (!found.choice) {
            return tooLarge(round == 0 ? found.smallestSize : size, limit);
        }
        const Setting& setting = found.choice->setting;
        QString ready = found.choice->file;  // an exact measure is the export itself
        if (ready.isEmpty()) {
            const ExportPreprocessor::Selection selection =
                ExportPreprocessor::select(frames, delays, setting.options, cancel);
            if (cancel.isCancelled()) {
                return ExportError::cancelled();
            }
            ready = freshPath(file.folder(), format);
            const ExportStatus status =
                encodeFrames(format, ExportPreprocessor::apply(frames, selection), selection.delays,
                             setting.encodeSettings(), ready, cancel, progress);
            if (status) {
                QFile::remove(ready);
                return status;
            }
        }
        size = QFileInfo(ready).size();
        if (size <= limit) {
            if (!file.commitFrom(ready)) {
                return Exporter::fileWriteError(destination, ExportError::Cause::cannotReplace);
            }
            if (chosen) {
                *chosen = setting;
            }
            return std::nullopt;
        }
        QFile::remove(ready);
        const double off = double(size) / double(std::max<qint64>(found.choice->size, 1));
        target = std::min(target - 1, qint64(double(target) / std::max(off, 1.01)));
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

Changes changes(const Setting& setting, const EncodeSettings& settings,
                const ExportPreprocessor::Options& options, int keptFrames) {
    Changes changed;
    if (setting.quality != settings.quality) {
        changed.quality = setting.quality;
    }
    if (setting.gifLossy != settings.gifLossy) {
        changed.gifLossy = setting.gifLossy;
    }
    if (setting.options.reduceFramesPercent != options.reduceFramesPercent &&
        setting.options.reduceFramesPercent) {
        changed.reduceFramesPercent = setting.options.reduceFramesPercent;
        if (keptFrames > 0) {
            changed.keptFrames = keptFrames;
        }
    }
    if (setting.options.resizePercent != options.resizePercent && setting.options.resizePercent) {
        changed.resizePercent = setting.options.resizePercent;
    }
    return changed;
}

}  // namespace mirelo::SizeLimit
