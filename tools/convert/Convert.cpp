#include "convert/Convert.h"
#include "i18n/ModelTexts.h"

#include "MireloIdentity.h"
#include "convert/FrameFitting.h"
#include "convert/FrameLoader.h"
#include "export/ExportFormats.h"
#include "export/GIFQuantizer.h"
#include "export/SizeLimit.h"
#include "import/AnimationOpener.h"
#include "import/NaturalOrder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace mirelo::convert {

namespace {

// One line saying what is wrong with the input file.
QString openErrorLine(const OpenError& error) {
    const QString& path = error.path;
    switch (error.problem) {
        case OpenProblem::cannotRead:
            return QCoreApplication::translate("mirelo::convert", "无法读取 %1").arg(path);
        case OpenProblem::emptyFile:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:文件是空的")
                .arg(path);
        case OpenProblem::unknownFormat:
            return QCoreApplication::translate("mirelo::convert",
                                               "无法打开 %1:不是 GIF、WebP、图片或视频")
                .arg(path);
        case OpenProblem::damaged:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:文件已损坏(%2)")
                .arg(path, error.detail);
        case OpenProblem::tooLarge:
            return QCoreApplication::translate(
                       "mirelo::convert",
                       "无法打开 %1:它的帧(%2x%3)每边超过 %4 像素,或超出内存所能容纳")
                .arg(path)
                .arg(error.size.width())
                .arg(error.size.height())
                .arg(kMaxOpenSide);
        case OpenProblem::tooManyFrames:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:它超过 %2 帧")
                .arg(path)
                .arg(error.limit);
        case OpenProblem::noFrames:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:里面没有任何帧")
                .arg(path);
        case OpenProblem::noVideoStream:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:里面没有视频画面")
                .arg(path);
        case OpenProblem::unsupportedCodec:
            return QCoreApplication::translate("mirelo::convert",
                                               "无法打开 %1:无法解码这种视频格式")
                .arg(path);
        case OpenProblem::storeFailed:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:%2")
                .arg(path, mirelo::i18n::describe(error.storeError));
        case OpenProblem::cancelled:
            break;
    }
    return QCoreApplication::translate("mirelo::convert", "已取消");
}

std::optional<double> number(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> integer(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// Whether the stream writes to a terminal.
bool isTerminal(const QTextStream& stream) {
    const auto* file = qobject_cast<const QFile*>(stream.device());
    return file && file->handle() >= 0 && ::isatty(file->handle());
}

// Prints "\r<label> <done>/<total>" on stderr when the shown value changes.
class ProgressPrinter {
public:
    ProgressPrinter(QTextStream& err, bool quiet) : m_err(err), m_quiet(quiet) {}
    void show(const QString& label, int done, int total) {
        if (m_quiet || total <= 0) {
            return;
        }
        const int percent = int(100LL * done / total);
        std::lock_guard lock(m_mutex);
        if (label == m_label && percent == m_percent) {
            return;
        }
        m_label = label;
        m_percent = percent;
        m_err << '\r' << label << ' ' << percent << "% (" << done << '/' << total << ")   ";
        m_err.flush();
        m_open = true;
    }
    void finish() {
        std::lock_guard lock(m_mutex);
        if (m_open) {
            m_err << '\n';
            m_err.flush();
            m_open = false;
        }
    }

private:
    QTextStream& m_err;
    bool m_quiet;
    std::mutex m_mutex;
    QString m_label;
    int m_percent = -1;
    bool m_open = false;
};

// Turns frames read in order into images of 16-row bands, where a band whose
// rows equal the previous frame's is that frame's band, shared. A recording
// of a screen where little moves then holds each change once, and the encoder
// sees unchanged rows as the same memory. The changed bands of a frame that
// changed in a few places are copied, so the decoded frame can go; those of a
// frame that changed in most places are read where they were decoded, which
// then stays: copying nearly the whole frame would keep about as much memory
// and cost a pass over it. A frame that changed everywhere is kept as it is.
class SharedBands {
public:
    static constexpr int kRows = 16;

    Image next(const Image& frame) {
        if (frame.isNull()) {
            return frame;
        }
        const int width = frame.width();
        const int height = frame.height();
        const size_t count = size_t((height + kRows - 1) / kRows);
        const bool compare = m_size == frame.size() && m_bands.size() == count;
        std::vector<char> same(count, 0);
        size_t changed = 0;
        for (size_t k = 0; k < count; ++k) {
            const int top = int(k) * kRows;
            const int rows = std::min(kRows, height - top);
            bool equal = compare;
            for (int y = 0; equal && y < rows; ++y) {
                equal = std::memcmp(frame.constScanLine(top + y), m_bands[k].constScanLine(y),
                                    size_t(width) * 4) == 0;
            }
            same[k] = equal;
            changed += equal ? 0 : 1;
        }
        const bool inPlace = 2 * changed > count;
        // The frame as one surface with a fixed row distance; views into it
        // hold it.
        const QImage surface = inPlace ? frame.qimage() : QImage();
        std::vector<Image> bands(count);
        for (size_t k = 0; k < count; ++k) {
            const int top = int(k) * kRows;
            const int rows = std::min(kRows, height - top);
            if (same[k]) {
                bands[k] = m_bands[k];
            } else if (inPlace) {
                bands[k] = Image::fromQImage(QImage(
                    surface.constScanLine(top), width, rows, surface.bytesPerLine(),
                    surface.format(), [](void* held) { delete static_cast<QImage*>(held); },
                    new QImage(surface)));
            } else {
                QImage copy(width, rows, QImage::Format_RGBA8888_Premultiplied);
                if (copy.isNull()) {
                    return {};
                }
                for (int y = 0; y < rows; ++y) {
                    std::memcpy(copy.scanLine(y), frame.constScanLine(top + y), size_t(width) * 4);
                }
                bands[k] = Image::fromQImage(copy);
            }
            if (bands[k].isNull()) {
                return {};
            }
        }
        m_size = frame.size();
        m_bands = bands;
        return changed == count ? frame : Image::stacked(std::move(bands));
    }

private:
    QSize m_size;
    std::vector<Image> m_bands;
};

// A GIF's frames decoded alongside its encoding. The encoder reads the
// frames its palette samples (a few spread over the animation, in order),
// then every frame about in order, from a few threads, most once and some
// twice (see ExporterGIF.cpp). The sampled frames come from a loader of
// their own; the rest from a loader that decodes in order a few frames ahead
// of the newest frame asked for, and the last few frames handed out are kept
// for a second ask. So only a few frames are held at once, and their memory
// is reused. A frame asked for outside that pattern is decoded on the
// caller's thread: slower, never wrong.
class GifFrames {
public:
    GifFrames(const QDir& folder, const QStringList& names, const CancelFlag& cancel, int threads)
        : m_folder(folder),
          m_names(names),
          m_cancel(cancel),
          m_sampled(GIFQuantizer::sampledFrameIndices(int(names.size()))),
          m_keep(size_t(2 * threads + 2)),
          m_inOrder(folder, names, cancel, threads, 2 * threads + 2, &m_arena) {
        QStringList sampledNames;
        for (int index : m_sampled) {
            sampledNames << names[index];
        }
        m_sampleLoader.emplace(folder, sampledNames, cancel, threads, int(sampledNames.size()),
                               &m_arena);
    }

    size_t count() const { return size_t(m_names.size()); }

    // Frame `index`; null when it cannot be read (firstError() says why) or
    // once cancelled. Any thread.
    Image frame(size_t index) {
        if (index >= count()) {
            return {};
        }
        {
            std::lock_guard lock(m_mutex);
            if (Image kept = keptFrame(index); !kept.isNull()) {
                return kept;
            }
        }
        std::unique_lock pull(m_pullMutex);
        if (m_sampleLoader) {
            // Sampled frames asked for in order, before any other.
            const auto at = std::lower_bound(m_sampled.begin() + std::ptrdiff_t(m_sampledNext),
                                             m_sampled.end(), int(index));
            if (at != m_sampled.end() && *at == int(index)) {
                const size_t k = size_t(at - m_sampled.begin());
                m_sampledNext = k + 1;
                Image image = m_sampleLoader->frame(k);
                if (image.isNull()) {
                    noteError(index, m_sampleLoader->error(k));
                }
                return image;
            }
            m_sampleLoader.reset();
        }
        {
            std::lock_guard lock(m_mutex);
            if (Image kept = keptFrame(index); !kept.isNull()) {
                return kept;
            }
        }
        if (index >= m_next) {
            Image image;
            for (; m_next <= index; ++m_next) {
                image = m_inOrder.frame(m_next);
                if (image.isNull()) {
                    noteError(m_next, m_inOrder.error(m_next));
                    return {};
                }
                std::lock_guard lock(m_mutex);
                m_kept.emplace_back(m_next, image);
                if (m_kept.size() > m_keep) {
                    m_kept.pop_front();
                }
            }
            return image;
        }
        pull.unlock();
        FrameLoader alone(m_folder, {m_names[qsizetype(index)]}, m_cancel, 1, 1, &m_arena);
        Image image = alone.frame(0);
        if (image.isNull()) {
            noteError(index, alone.error(0));
        }
        return image;
    }

    // Why the first frame that could not be read could not; empty when
    // every frame asked for was read.
    QString firstError() const {
        std::lock_guard lock(m_mutex);
        return m_errors.empty() ? QString() : m_errors.begin()->second;
    }

private:
    Image keptFrame(size_t index) const {
        for (const auto& [kept, image] : m_kept) {
            if (kept == index) {
                return image;
            }
        }
        return {};
    }
    void noteError(size_t index, const QString& error) {
        std::lock_guard lock(m_mutex);
        if (!error.isEmpty()) {
            m_errors.emplace(index, error);
        }
    }

    const QDir m_folder;
    const QStringList m_names;
    const CancelFlag m_cancel;
    const std::vector<int> m_sampled;
    const size_t m_keep;
    // Shared by the loaders: the in-order one reuses the sampled frames' memory.
    FrameArena m_arena;
    FrameLoader m_inOrder;

    std::mutex m_pullMutex;  // held while a loader is asked for a frame
    std::optional<FrameLoader> m_sampleLoader;
    size_t m_sampledNext = 0;  // the first sampled frame not yet asked for
    size_t m_next = 0;         // the next frame to take from m_inOrder

    mutable std::mutex m_mutex;
    std::deque<std::pair<size_t, Image>> m_kept;
    std::map<size_t, QString> m_errors;
};

}  // namespace

QString usage() {
    return QCoreApplication::translate(
        "mirelo::convert",
        "用法: mirelo-convert [选项] 输入 输出文件\n"
        "把一个装有 PNG/JPEG 帧(按文件名排序)的文件夹,或一个 GIF、WebP 或视频文件,做成动画。\n"
        "文件自带的帧延迟会保留,除非给出 --fps 或 --delay。\n"
        "输出格式由输出文件的扩展名决定:.gif、.webp 或 .mp4。\n"
        "大小与第一帧不同的帧按比例缩放,居中放在白色背景上。\n"
        "\n"
        "选项:\n"
        "  --fps N                    每秒帧数,大于 0、至多 1000(默认 15)\n"
        "  --delay SECONDS            每帧的秒数,大于 0、至多 600,代替 --fps\n"
        "  --quality Q                1..100(默认 80)\n"
        "  --lossy N                  GIF:强度为 1..100 的有损压缩(0 = 关,默认)\n"
        "  --webp-mode MODE           lossy(默认)、lossless 或 auto(每帧取较小的一种)\n"
        "  --reduce PERCENT           去掉这个比例的帧(0..100)\n"
        "  --resize PERCENT           把每一帧缩放到这个比例(1..100)\n"
        "  --skip-similar PERCENT     与上一个保留帧的相似度不低于此值的帧并入它(0..100)\n"
        "  --max-similar-seconds N    一个保留帧最多并入多长的相似帧,0 或更大(默认 2)\n"
        "  --max-size SIZE            不超过 SIZE 字节的最好的文件(k = 1000,M = 1000000):\n"
        "                             先加强压缩、降低品质,再减少帧数,再缩小尺寸\n"
        "  --quiet                    不显示进度\n"
        "  --force                    即使 OUTPUT 是只读的也替换它\n"
        "  --version                  显示版本后退出\n"
        "  --help                     显示这段说明\n");
}

EncodeSettings Options::encodeSettings() const {
    EncodeSettings settings(quality);
    settings.webpMode = webpMode;
    settings.gifLossy = gifLossy;
    return settings;
}

QString versionLine() {
    return QStringLiteral("mirelo-convert " MIRELO_VERSION);
}

std::variant<Options, QString> parseArguments(const QStringList& arguments) {
    Options options;
    QStringList positional;
    std::optional<double> similarity;
    double maxSimilarSeconds = 2;
    bool haveFps = false, haveDelay = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= arguments.size()) {
                return std::nullopt;
            }
            return arguments[++i];
        };
        if (arg == u"--help" || arg == u"-h") {
            options.help = true;
            return options;
        }
        if (arg == u"--version") {
            options.version = true;
            return options;
        }
        if (arg == u"--quiet") {
            options.quiet = true;
            continue;
        }
        if (arg == u"--force") {
            options.force = true;
            continue;
        }
        if (!arg.startsWith(u"--") || arg == u"-") {
            positional << arg;
            continue;
        }
        const std::optional<QString> text = value();
        if (!text) {
            return QCoreApplication::translate("mirelo::convert", "%1 需要一个值").arg(arg);
        }
        if (arg == u"--fps") {
            const auto fps = number(*text);
            if (!fps || *fps <= 0 || *fps > 1000) {
                return QCoreApplication::translate(
                           "mirelo::convert", "--fps 必须是大于 0、至多 1000 的数,得到的是“%1”")
                    .arg(*text);
            }
            options.delay = 1.0 / *fps;
            haveFps = true;
        } else if (arg == u"--delay") {
            const auto delay = number(*text);
            if (!delay || *delay <= 0 || *delay > 600) {
                return QCoreApplication::translate(
                           "mirelo::convert", "--delay 必须是大于 0、至多 600 的秒数,得到的是“%1”")
                    .arg(*text);
            }
            options.delay = *delay;
            haveDelay = true;
        } else if (arg == u"--quality") {
            const auto quality = integer(*text);
            if (!quality || *quality < 1 || *quality > 100) {
                return QCoreApplication::translate("mirelo::convert",
                                                   "--quality 必须在 1..100 之间,得到的是“%1”")
                    .arg(*text);
            }
            options.quality = *quality;
        } else if (arg == u"--lossy") {
            const auto strength = integer(*text);
            if (!strength || *strength < 0 || *strength > 100) {
                return QCoreApplication::translate("mirelo::convert",
                                                   "--lossy 必须在 0..100 之间,得到的是“%1”")
                    .arg(*text);
            }
            options.gifLossy = *strength;
        } else if (arg == u"--webp-mode") {
            if (*text == u"lossy") {
                options.webpMode = WebPMode::lossy;
            } else if (*text == u"lossless") {
                options.webpMode = WebPMode::lossless;
            } else if (*text == u"auto") {
                options.webpMode = WebPMode::mixed;
            } else {
                return QCoreApplication::translate(
                           "mirelo::convert",
                           "--webp-mode 必须是 lossy、lossless 或 auto,得到的是“%1”")
                    .arg(*text);
            }
        } else if (arg == u"--reduce") {
            const auto percent = integer(*text);
            if (!percent || *percent < 0 || *percent > 100) {
                return QCoreApplication::translate("mirelo::convert",
                                                   "--reduce 必须在 0..100 之间,得到的是“%1”")
                    .arg(*text);
            }
            options.preprocess.reduceFramesPercent = *percent;
        } else if (arg == u"--resize") {
            const auto percent = integer(*text);
            if (!percent || *percent < 1 || *percent > 100) {
                return QCoreApplication::translate("mirelo::convert",
                                                   "--resize 必须在 1..100 之间,得到的是“%1”")
                    .arg(*text);
            }
            options.preprocess.resizePercent = *percent;
        } else if (arg == u"--skip-similar") {
            const auto percent = number(*text);
            if (!percent || *percent < 0 || *percent > 100) {
                return QCoreApplication::translate("mirelo::convert",
                                                   "--skip-similar 必须在 0..100 之间,得到的是“%1”")
                    .arg(*text);
            }
            similarity = *percent;
        } else if (arg == u"--max-size") {
            options.maxSize = parseSize(*text);
            if (!options.maxSize) {
                return QCoreApplication::translate(
                           "mirelo::convert",
                           "--max-size 必须是大于 0 的字节数,或带 k 或 M 的数(如 10M),得到的是“%1”")
                    .arg(*text);
            }
        } else if (arg == u"--max-similar-seconds") {
            const auto seconds = number(*text);
            if (!seconds || *seconds < 0) {
                return QCoreApplication::translate(
                           "mirelo::convert",
                           "--max-similar-seconds 必须是 0 或更大的数,得到的是“%1”")
                    .arg(*text);
            }
            maxSimilarSeconds = *seconds;
        } else {
            return QCoreApplication::translate("mirelo::convert", "未知选项 %1(见 --help)")
                .arg(arg);
        }
    }
    if (haveFps && haveDelay) {
        return QCoreApplication::translate("mirelo::convert", "--fps 和 --delay 只能给一个");
    }
    if (positional.size() != 2) {
        return QCoreApplication::translate("mirelo::convert",
                                           "需要一个输入(帧文件夹或文件)和一个输出文件(见 --help)");
    }
    options.input = positional[0];
    options.delayGiven = haveFps || haveDelay;
    options.output = positional[1];
    const std::optional<ExportFormat> format =
        formatFromExtension(QFileInfo(options.output).suffix().toLower());
    if (!format) {
        return QCoreApplication::translate("mirelo::convert",
                                           "无法从“%1”看出输出格式:请用 .gif、.webp 或 .mp4")
            .arg(options.output);
    }
    options.format = *format;
    if (similarity) {
        options.preprocess.skipSimilar =
            ExportPreprocessor::SkipSimilar{(100.0 - *similarity) / 100.0, maxSimilarSeconds};
    }
    return options;
}

std::optional<qint64> parseSize(const QString& text) {
    QString digits = text;
    double unit = 1;
    if (digits.endsWith(u'k') || digits.endsWith(u'K')) {
        unit = 1e3;
        digits.chop(1);
    } else if (digits.endsWith(u'M') || digits.endsWith(u'm')) {
        unit = 1e6;
        digits.chop(1);
    }
    // Plain digits with at most one point: no signs, exponents or spaces.
    if (digits.isEmpty() || digits.count(u'.') > 1 ||
        std::any_of(digits.begin(), digits.end(),
                    [](QChar c) { return !c.isDigit() && c != u'.'; })) {
        return std::nullopt;
    }
    const std::optional<double> value = number(digits);
    if (!value || *value * unit < 1 || *value * unit > 1e15) {
        return std::nullopt;
    }
    return qint64(*value * unit);
}

QStringList frameFiles(const QDir& folder) {
    return filesInNaturalOrder(
        folder, {QStringLiteral("*.png"), QStringLiteral("*.jpg"), QStringLiteral("*.jpeg")});
}

int run(const QStringList& arguments, QTextStream& out, QTextStream& err, const CancelFlag& cancel,
        ProgressLine progressLine) {
    const auto fail = [&err](const QString& message) {
        err << "mirelo-convert: " << message << '\n';
        err.flush();
        return 1;
    };
    auto parsed = parseArguments(arguments);
    if (const QString* error = std::get_if<QString>(&parsed)) {
        return fail(*error);
    }
    const Options options = std::get<Options>(std::move(parsed));
    if (options.help || options.version) {
        out << (options.help ? usage() : versionLine() + u'\n');
        out.flush();
        return 0;
    }

    const QFileInfo inputInfo(options.input);
    if (!inputInfo.exists()) {
        return fail(QCoreApplication::translate("mirelo::convert", "没有这个文件或文件夹:%1")
                        .arg(options.input));
    }
    const bool fromFile = !inputInfo.isDir();
    const QDir folder(fromFile ? inputInfo.absolutePath() : inputInfo.absoluteFilePath());
    const QStringList names = fromFile ? QStringList() : frameFiles(folder);
    if (!fromFile && names.isEmpty()) {
        return fail(QCoreApplication::translate("mirelo::convert", "%1 中没有 PNG 或 JPEG 帧")
                        .arg(options.input));
    }
    const QFileInfo outputInfo(options.output);
    if (!outputInfo.absoluteDir().exists()) {
        return fail(
            QCoreApplication::translate("mirelo::convert", "无法写入 %1:它所在的文件夹不存在")
                .arg(options.output));
    }
    if (outputInfo.isDir()) {
        return fail(QCoreApplication::translate("mirelo::convert", "无法写入 %1:这是一个文件夹")
                        .arg(options.output));
    }
    // A file that could not be written in place is not replaced unasked: being read-only is
    // how it says it should stay (the replacement would go through its folder, which allows it).
    if (outputInfo.exists() && !options.force) {
        struct stat info {};
        const QByteArray path = QFile::encodeName(options.output);
        if (::stat(path.constData(), &info) == 0 &&
            ((info.st_mode & 0222) == 0 || ::access(path.constData(), W_OK) != 0)) {
            return fail(QCoreApplication::translate(
                            "mirelo::convert", "不替换 %1：它是只读的（加上 --force 仍然替换）")
                            .arg(options.output));
        }
    }

    ProgressPrinter progress(
        err, options.quiet || (progressLine == ProgressLine::onTerminal && !isTerminal(err)));

    // Without reductions to apply, an encoder that takes frames as they come
    // gets each one as soon as it is decoded; otherwise every frame is read
    // first.
    const ExportPreprocessor::Options& reduce = options.preprocess;
    // A file's frames are read into a store first, so they always take the reading path.
    const bool plain = !fromFile && !reduce.reduceFramesPercent && !reduce.skipSimilar &&
                       !reduce.resizePercent && !options.maxSize;
    const bool stream = plain && formatEntry(options.format).takesFramesInOrder;
    // A GIF without reductions reads its frames as it encodes them, through
    // GifFrames.
    const bool gifStream = plain && options.format == ExportFormat::gif;
    // Frames are decoded on every core (up to 8); when streaming, only a few
    // frames ahead of the encoder, whose threads share the cores.
    const int threads = int(std::max(1u, std::min(std::thread::hardware_concurrency(), 8u)));
    // A GIF read whole keeps every frame, in bands shared with the frame
    // before where they did not change (see SharedBands).
    const bool banded = options.format == ExportFormat::gif;
    std::optional<GifFrames> gifFrames;
    std::optional<FrameLoader> loader;
    std::optional<OpenedFrames> opened;
    if (fromFile) {
        OpenOptions open;
        open.progress = [&progress, &cancel](qint64 done, qint64 expected) {
            progress.show(QCoreApplication::translate("mirelo::convert", "读取帧"), int(done),
                          int(expected));
            return !cancel.isCancelled();
        };
        auto result = openAnimation({inputInfo.absoluteFilePath()}, open);
        if (const OpenError* error = std::get_if<OpenError>(&result)) {
            progress.finish();
            if (error->problem == OpenProblem::cancelled) {
                return fail(QCoreApplication::translate("mirelo::convert", "已取消"));
            }
            return fail(openErrorLine(*error));
        }
        opened = std::get<OpenedFrames>(std::move(result));
    } else if (gifStream) {
        gifFrames.emplace(folder, names, cancel, threads);
    } else {
        loader.emplace(folder, names, cancel, threads,
                       stream || banded ? 2 * threads + 2 : int(names.size()));
    }
    SharedBands bands;
    const size_t count = opened ? opened->images.size() : size_t(names.size());
    FrameFitter fitter(opened ? (count > 0 ? opened->images.front().size() : QSize())
                              : imageFileSize(folder.filePath(names.front())),
                       count);
    // The GIF encoder reads frames from several threads and stops on this
    // flag, which is set on a cancellation or when a frame cannot be read.
    const CancelFlag stop;
    std::mutex unreadableMutex;
    std::optional<size_t> unreadable;  // the frame that failed to decode
    const auto frame = [&](size_t index) {
        Image image = fitter.fit(index, opened      ? opened->images[index]
                                        : gifFrames ? gifFrames->frame(index)
                                                    : loader->frame(index));
        if (image.isNull() || cancel.isCancelled()) {
            stop.cancel();
        }
        if (image.isNull() && !cancel.isCancelled()) {
            std::lock_guard lock(unreadableMutex);
            unreadable = std::min(unreadable.value_or(index), index);
        }
        return image;
    };
    const ProgressFn encodingProgress = [&progress, &cancel, &stop](int doneSteps, int total) {
        if (cancel.isCancelled()) {
            stop.cancel();
        }
        progress.show(QCoreApplication::translate("mirelo::convert", "编码中"), doneSteps, total);
    };
    const auto cancelled = [&] {
        progress.finish();
        return fail(QCoreApplication::translate("mirelo::convert", "已取消"));
    };

    ExportStatus status;
    if (stream || gifStream) {
        // Only the frames in flight are held: the encoder asks for each
        // frame once, in order, as the loader hands them out (a GIF, about
        // in order; see GifFrames).
        status = encodeFrames(options.format, FrameSequence{.count = count, .frame = frame},
                              std::vector<double>(count, options.delay), options.encodeSettings(),
                              options.output, gifStream ? stop : cancel, encodingProgress);
    } else {
        std::vector<Image> images;
        images.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            images.push_back(banded ? bands.next(frame(i)) : frame(i));
            if (images.back().isNull()) {
                break;
            }
            if (!opened) {
                progress.show(QCoreApplication::translate("mirelo::convert", "读取帧"), int(i + 1),
                              int(count));
            }
        }
        // A file's frames keep their own delays unless --fps or --delay says otherwise.
        const std::vector<double> delays = opened && !options.delayGiven
                                               ? opened->delays
                                               : std::vector<double>(images.size(), options.delay);
        if (cancel.isCancelled()) {
            return cancelled();
        }
        if (!unreadable && options.maxSize) {
            SizeLimit::Setting chosen;
            status = SizeLimit::exportWithin(options.format, FrameSequence::of(images), delays,
                                             options.encodeSettings(), options.preprocess,
                                             *options.maxSize, options.output, cancel,
                                             encodingProgress, &chosen);
            progress.finish();
            if (SizeLimit::isTooLarge(status)) {
                return fail(QCoreApplication::translate(
                                "mirelo::convert",
                                "即使最小的设置,文件也大于 --max-size %1 字节;没有写入任何文件")
                                .arg(*options.maxSize));
            }
            if (!status && !options.quiet &&
                SizeLimit::changes(chosen, options.encodeSettings(), options.preprocess).any()) {
                err << "mirelo-convert: "
                    << QCoreApplication::translate(
                           "mirelo::convert", "为符合 --max-size:品质 %1,有损 %2,减帧 %3%,尺寸 %4%")
                           .arg(chosen.quality)
                           .arg(chosen.gifLossy)
                           .arg(chosen.options.reduceFramesPercent.value_or(0))
                           .arg(chosen.options.resizePercent.value_or(100))
                    << '\n';
                err.flush();
            }
        } else if (!unreadable) {
            ExportPreprocessor::Frames frames =
                ExportPreprocessor::process(images, delays, options.preprocess);
            images.clear();
            if (frames.images.empty() || frames.images.size() != frames.delays.size()) {
                progress.finish();
                return fail(QCoreApplication::translate("mirelo::convert", "没有剩下可写入的帧"));
            }
            status = encodeFrames(options.format, FrameSequence::of(std::move(frames.images)),
                                  frames.delays, options.encodeSettings(), options.output, cancel,
                                  encodingProgress);
        }
    }
    if (unreadable) {
        progress.finish();
        const QString error = gifFrames ? gifFrames->firstError() : loader->error(*unreadable);
        return fail(!error.isEmpty()
                        ? error
                        : QCoreApplication::translate("mirelo::convert", "无法读取图片 %1")
                              .arg(opened ? options.input
                                          : folder.filePath(names[qsizetype(*unreadable)])));
    }
    progress.finish();
    status = explainFailure(std::move(status), options.output);
    if (status) {
        if (status->kind == ExportError::Kind::diskFull) {
            return fail(QCoreApplication::translate("mirelo::convert", "磁盘已满：%1 没有剩余空间")
                            .arg(status->folder));
        }
        if (status->isCancellation()) {
            return fail(QCoreApplication::translate("mirelo::convert", "已取消;没有写入任何文件"));
        }
        return fail(QCoreApplication::translate("mirelo::convert", "%1(%2)")
                        .arg(i18n::describe(*status), options.output));
    }
    if (const int fitted = fitter.fittedCount(); fitted > 0 && !options.quiet) {
        const QSize size = fitter.size();
        err << "mirelo-convert: "
            << QCoreApplication::translate("mirelo::convert",
                                           "%n 帧与第一帧大小不同,已按比例缩放并居中放入 %1×%2",
                                           nullptr, fitted)
                   .arg(size.width())
                   .arg(size.height())
            << '\n';
        err.flush();
    }
    return 0;
}

}  // namespace mirelo::convert
