#include "convert/Convert.h"

#include "convert/FrameFitting.h"
#include "convert/FrameLoader.h"
#include "convert/GifFrames.h"
#include "convert/OpenErrorText.h"
#include "convert/ProgressPrinter.h"
#include "convert/SharedBands.h"
#include "export/ExportFormats.h"
#include "export/SizeLimit.h"
#include "i18n/ModelTexts.h"
#include "import/AnimationOpener.h"
#include "import/NaturalOrder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace mirelo::convert {

namespace {

// Where the frames come from: a file, or the frame files of a folder.
struct Input {
    bool fromFile = false;
    QFileInfo info;
    QDir folder;
    QStringList names;
};

std::variant<Input, QString> findInput(const Options& options) {
    Input input;
    input.info = QFileInfo(options.input);
    if (!input.info.exists()) {
        return QCoreApplication::translate("mirelo::convert", "没有这个文件或文件夹:%1")
            .arg(options.input);
    }
    input.fromFile = !input.info.isDir();
    input.folder = QDir(input.fromFile ? input.info.absolutePath() : input.info.absoluteFilePath());
    input.names = input.fromFile ? QStringList() : frameFiles(input.folder);
    if (!input.fromFile && input.names.isEmpty()) {
        return QCoreApplication::translate("mirelo::convert", "%1 中没有 PNG 或 JPEG 帧")
            .arg(options.input);
    }
    return input;
}

// Why OUTPUT cannot be written; nothing when it can.
std::optional<QString> outputRefusal(const Options& options) {
    const QFileInfo outputInfo(options.output);
    if (!outputInfo.absoluteDir().exists()) {
        return QCoreApplication::translate("mirelo::convert", "无法写入 %1:它所在的文件夹不存在")
            .arg(options.output);
    }
    if (outputInfo.isDir()) {
        return QCoreApplication::translate("mirelo::convert", "无法写入 %1:这是一个文件夹")
            .arg(options.output);
    }
    // A file that could not be written in place is not replaced unasked: being read-only is
    // how it says it should stay (the replacement would go through its folder, which allows it).
    if (outputInfo.exists() && !options.force) {
        struct stat info {};
        const QByteArray path = QFile::encodeName(options.output);
        if (::stat(path.constData(), &info) == 0 &&
            ((info.st_mode & 0222) == 0 || ::access(path.constData(), W_OK) != 0)) {
            return QCoreApplication::translate("mirelo::convert",
                                               "不替换 %1：它是只读的（加上 --force 仍然替换）")
                .arg(options.output);
        }
    }
    return std::nullopt;
}

// The line for an export that failed.
QString failureLine(const ExportError& error, const QString& output) {
    if (error.kind == ExportError::Kind::diskFull) {
        return QCoreApplication::translate("mirelo::convert", "磁盘已满：%1 没有剩余空间")
            .arg(error.folder);
    }
    if (error.isCancellation()) {
        return QCoreApplication::translate("mirelo::convert", "已取消;没有写入任何文件");
    }
    return QCoreApplication::translate("mirelo::convert", "%1(%2)")
        .arg(i18n::describe(error), output);
}

// How the frames reach the encoder.
enum class Reading {
    // A file's frames, read into a store first.
    fromFile,
    // Frames decoded a few ahead of an encoder that takes them in order.
    streamed,
    // A GIF's frames decoded as its encoder asks for them (see GifFrames).
    gifStreamed,
    // Every frame read first, for reductions to apply or a size to meet.
    held,
};

Reading readingFor(const Options& options, const Input& input) {
    if (input.fromFile) {
        return Reading::fromFile;
    }
    const ExportPreprocessor::Options& reduce = options.preprocess;
    if (reduce.reduceFramesPercent || reduce.skipSimilar || reduce.resizePercent ||
        options.maxSize) {
        return Reading::held;
    }
    if (options.format == ExportFormat::gif) {
        return Reading::gifStreamed;
    }
    return formatEntry(options.format).takesFramesInOrder ? Reading::streamed : Reading::held;
}

// One conversion, from its checked options to the exit status.
class Conversion {
public:
    Conversion(const Options& options, Input input, QTextStream& err, const CancelFlag& cancel,
               bool quietProgress)
        : m_options(options),
          m_input(std::move(input)),
          m_err(err),
          m_cancel(cancel),
          m_progress(err, quietProgress),
          m_reading(readingFor(options, m_input)) {}

    int run() {
        if (std::optional<QString> error = open()) {
            m_progress.finish();
            return fail(*error);
        }
        ExportStatus status;
        if (m_reading == Reading::streamed || m_reading == Reading::gifStreamed) {
            // Only the frames in flight are held: the encoder asks for each
            // frame once, in order, as the loader hands them out (a GIF,
            // about in order; see GifFrames).
            status = encodeFrames(
                m_options.format,
                FrameSequence{.count = m_count, .frame = [this](size_t i) { return frame(i); }},
                std::vector<double>(m_count, m_options.delay), m_options.encodeSettings(),
                m_options.output, m_reading == Reading::gifStreamed ? m_stop : m_cancel,
                encodingProgress());
        } else {
            std::variant<ExportStatus, int> held = encodeHeld();
            if (const int* exit = std::get_if<int>(&held)) {
                return *exit;
            }
            status = std::get<ExportStatus>(std::move(held));
        }
        m_progress.finish();
        if (m_unreadable) {
            return fail(unreadableLine());
        }
        status = explainFailure(std::move(status), m_options.output);
        if (status) {
            return fail(failureLine(*status, m_options.output));
        }
        reportFitted();
        return 0;
    }

private:
    int fail(const QString& message) {
        m_err << "mirelo-convert: " << message << '\n';
        m_err.flush();
        return 1;
    }

    // Says how many frames were fitted into the first one's size.
    void reportFitted() {
        const int fitted = m_fitter ? m_fitter->fittedCount() : 0;
        if (fitted == 0 || m_options.quiet) {
            return;
        }
        const QSize size = m_fitter->size();
        m_err << "mirelo-convert: "
              << QCoreApplication::translate("mirelo::convert",
                                             "%n 帧与第一帧大小不同,已按比例缩放并居中放入 %1×%2",
                                             nullptr, fitted)
                     .arg(size.width())
                     .arg(size.height())
              << '\n';
        m_err.flush();
    }

    // Starts reading, and the fitting of frames into the first one's size; an error line
    // when the input cannot be read.
    std::optional<QString> open() {
        std::optional<QString> error = startReading();
        if (!error) {
            m_fitter.emplace(m_opened
                                 ? (m_count > 0 ? m_opened->images.front().size() : QSize())
                                 : imageFileSize(m_input.folder.filePath(m_input.names.front())),
                             m_count);
        }
        return error;
    }

    std::optional<QString> startReading() {
        // Frames are decoded on every core (up to 8); when streaming, only a
        // few frames ahead of the encoder, whose threads share the cores.
        const int threads = int(std::max(1u, std::min(std::thread::hardware_concurrency(), 8u)));
        switch (m_reading) {
            case Reading::fromFile: {
                OpenOptions open;
                open.progress = [this](qint64 done, qint64 expected) {
                    m_progress.show(QCoreApplication::translate("mirelo::convert", "读取帧"),
                                    int(done), int(expected));
                    return !m_cancel.isCancelled();
                };
                auto result = openAnimation({m_input.info.absoluteFilePath()}, open);
                if (const OpenError* error = std::get_if<OpenError>(&result)) {
                    if (error->problem == OpenProblem::cancelled) {
                        return QCoreApplication::translate("mirelo::convert", "已取消");
                    }
                    return openErrorLine(*error);
                }
                m_opened = std::get<OpenedFrames>(std::move(result));
                m_count = m_opened->images.size();
                return std::nullopt;
            }
            case Reading::gifStreamed:
                m_gifFrames.emplace(m_input.folder, m_input.names, m_cancel, threads);
                break;
            case Reading::streamed:
            case Reading::held:
                // A GIF read whole keeps every frame, in bands shared with
                // the frame before where they did not change (see
                // SharedBands), so only a few frames need decoding ahead.
                m_loader.emplace(m_input.folder, m_input.names, m_cancel, threads,
                                 m_reading == Reading::streamed || banded()
                                     ? 2 * threads + 2
                                     : int(m_input.names.size()));
                break;
        }
        m_count = size_t(m_input.names.size());
        return std::nullopt;
    }

    bool banded() const { return m_options.format == ExportFormat::gif; }

    // Frame `index`, from any thread the encoder reads on.
    Image frame(size_t index) {
        Image image = m_fitter->fit(index, m_opened      ? m_opened->images[index]
                                           : m_gifFrames ? m_gifFrames->frame(index)
                                                         : m_loader->frame(index));
        if (image.isNull() || m_cancel.isCancelled()) {
            m_stop.cancel();
        }
        if (image.isNull() && !m_cancel.isCancelled()) {
            std::lock_guard lock(m_unreadableMutex);
            m_unreadable = std::min(m_unreadable.value_or(index), index);
        }
        return image;
    }

    ProgressFn encodingProgress() {
        return [this](int doneSteps, int total) {
            if (m_cancel.isCancelled()) {
                m_stop.cancel();
            }
            m_progress.show(QCoreApplication::translate("mirelo::convert", "编码中"), doneSteps,
                            total);
        };
    }

    // Reads every frame, then encodes them: reduced, or within the size
    // asked for. The status, or the exit status when it ended already.
    std::variant<ExportStatus, int> encodeHeld() {
        SharedBands bands;
        std::vector<Image> images;
        images.reserve(m_count);
        for (size_t i = 0; i < m_count; ++i) {
            images.push_back(banded() ? bands.next(frame(i)) : frame(i));
            if (images.back().isNull()) {
                break;
            }
            if (!m_opened) {
                m_progress.show(QCoreApplication::translate("mirelo::convert", "读取帧"),
                                int(i + 1), int(m_count));
            }
        }
        // A file's frames keep their own delays unless --fps or --delay says otherwise.
        const std::vector<double> delays =
            m_opened && !m_options.delayGiven ? m_opened->delays
                                              : std::vector<double>(images.size(), m_options.delay);
        if (m_cancel.isCancelled()) {
            m_progress.finish();
            return fail(QCoreApplication::translate("mirelo::convert", "已取消"));
        }
        if (m_unreadable) {
            return ExportStatus();
        }
        if (m_options.maxSize) {
            return encodeWithinSize(images, delays);
        }
        ExportPreprocessor::Frames frames =
            ExportPreprocessor::process(images, delays, m_options.preprocess);
        images.clear();
        if (frames.images.empty() || frames.images.size() != frames.delays.size()) {
            m_progress.finish();
            return fail(QCoreApplication::translate("mirelo::convert", "没有剩下可写入的帧"));
        }
        return encodeFrames(m_options.format, FrameSequence::of(std::move(frames.images)),
                            frames.delays, m_options.encodeSettings(), m_options.output, m_cancel,
                            encodingProgress());
    }

    std::variant<ExportStatus, int> encodeWithinSize(const std::vector<Image>& images,
                                                     const std::vector<double>& delays) {
        const qint64 maxSize = *m_options.maxSize;
        SizeLimit::Setting chosen;
        ExportStatus status = SizeLimit::exportWithin(
            m_options.format, FrameSequence::of(images), delays, m_options.encodeSettings(),
            m_options.preprocess, maxSize, m_options.output, m_cancel, encodingProgress(), &chosen);
        m_progress.finish();
        if (SizeLimit::isTooLarge(status)) {
            return fail(QCoreApplication::translate(
                            "mirelo::convert",
                            "即使最小的设置,文件也大于 --max-size %1 字节;没有写入任何文件")
                            .arg(maxSize));
        }
        if (!status && !m_options.quiet &&
            SizeLimit::changes(chosen, m_options.encodeSettings(), m_options.preprocess).any()) {
            m_err << "mirelo-convert: "
                  << QCoreApplication::translate(
                         "mirelo::convert", "为符合 --max-size:品质 %1,有损 %2,减帧 %3%,尺寸 %4%")
                         .arg(chosen.quality)
                         .arg(chosen.gifLossy)
                         .arg(chosen.options.reduceFramesPercent.value_or(0))
                         .arg(chosen.options.resizePercent.value_or(100))
                  << '\n';
            m_err.flush();
        }
        return status;
    }

    // Why the first frame that could not be read could not.
    QString unreadableLine() const {
        const QString error =
            m_gifFrames ? m_gifFrames->firstError() : m_loader->error(*m_unreadable);
        if (!error.isEmpty()) {
            return error;
        }
        return QCoreApplication::translate("mirelo::convert", "无法读取图片 %1")
            .arg(m_opened ? m_options.input
                          : m_input.folder.filePath(m_input.names[qsizetype(*m_unreadable)]));
    }

    const Options& m_options;
    const Input m_input;
    QTextStream& m_err;
    const CancelFlag m_cancel;
    ProgressPrinter m_progress;
    const Reading m_reading;

    std::optional<OpenedFrames> m_opened;
    std::optional<GifFrames> m_gifFrames;
    std::optional<FrameLoader> m_loader;
    std::optional<FrameFitter> m_fitter;
    size_t m_count = 0;
    // The GIF encoder reads frames from several threads and stops on this
    // flag, which is set on a cancellation or when a frame cannot be read.
    const CancelFlag m_stop;
    std::mutex m_unreadableMutex;
    std::optional<size_t> m_unreadable;  // the first frame that failed to decode
};

}  // namespace

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
    auto input = findInput(options);
    if (const QString* error = std::get_if<QString>(&input)) {
        return fail(*error);
    }
    if (std::optional<QString> error = outputRefusal(options)) {
        return fail(*error);
    }
    const bool quietProgress =
        options.quiet || (progressLine == ProgressLine::onTerminal && !isTerminal(err));
    Conversion conversion(options, std::get<Input>(std::move(input)), err, cancel, quietProgress);
    return conversion.run();
}

}  // namespace mirelo::convert
