#include "import/AnimationOpener.h"

#include "image/ImageServices.h"
#include "import/AnimationDecoder.h"
#include "import/NaturalOrder.h"

#include <QFileInfo>
#include <QPainter>

#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace mirelo {

QStringList folderPicturePatterns() {
    return {QStringLiteral("*.png"), QStringLiteral("*.jpg"),  QStringLiteral("*.jpeg"),
            QStringLiteral("*.gif"), QStringLiteral("*.webp"), QStringLiteral("*.bmp")};
}

QStringList expandOpenPaths(const QStringList& paths, OpenError* error) {
    QStringList files;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.isDir()) {
            files << path;
            continue;
        }
        const QDir folder(info.absoluteFilePath());
        const QStringList names = filesInNaturalOrder(folder, folderPicturePatterns());
        if (names.isEmpty() && paths.size() == 1) {
            if (error) {
                *error = OpenError{.problem = OpenProblem::cannotRead,
                                   .path = path,
                                   .detail = QStringLiteral("no pictures in the folder")};
            }
            return {};
        }
        for (const QString& name : names) {
            files << folder.filePath(name);
        }
    }
    if (paths.size() > 1) {
        std::stable_sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
            return naturalLess(QFileInfo(a).fileName(), QFileInfo(b).fileName());
        });
    }
    if (files.isEmpty() && error) {
        *error = OpenError{.problem = OpenProblem::cannotRead,
                           .path = paths.value(0),
                           .detail = QStringLiteral("nothing to open")};
    }
    return files;
}

Image fitFrame(const Image& image, QSize size, const QColor& background) {
    if (image.isNull() || image.size() == size) {
        return image;
    }
    QImage canvas = ImageServices::createSurface(size.width(), size.height());
    if (canvas.isNull()) {
        return {};
    }
    canvas.fill(background);
    const double scale =
        std::min(double(size.width()) / image.width(), double(size.height()) / image.height());
    const int width = std::max(1, int(std::lround(image.width() * scale)));
    const int height = std::max(1, int(std::lround(image.height() * scale)));
    const Image fitted = ImageServices::scaled(image, width, height);
    QPainter painter(&canvas);
    painter.drawImage(QPoint((size.width() - width) / 2, (size.height() - height) / 2),
                      fitted.qimage());
    painter.end();
    return ImageServices::imageFromSurface(std::move(canvas));
}

namespace {

// What the decoding thread hands to the writing one: a frame, or the end (with an error when
// the files could not be read to the end).
struct Produced {
    Image image;
    double delay = 0;
    QString file;
    QSize size;           // of every frame
    qint64 expected = 0;  // frames expected in all, 0 when unknown
    std::optional<OpenError> error;
    bool end = false;
};

// A few frames between the decoding thread and the store, so decoding the next frames
// overlaps with compressing this one, and memory holds only those few.
class FramePipe {
public:
    static constexpr size_t kDepth = 3;
    // False once stopped: the producer then ends.
    bool push(Produced item) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stopped || m_items.size() < kDepth; });
        if (m_stopped) {
            return false;
        }
        m_items.push_back(std::move(item));
        m_changed.notify_all();
        return true;
    }
    Produced pop() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_items.empty(); });
        Produced item = std::move(m_items.front());
        m_items.pop_front();
        m_changed.notify_all();
        return item;
    }
    bool stopped() const {
        std::lock_guard lock(m_mutex);
        return m_stopped;
    }
    void stop() {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_items.clear();
        m_changed.notify_all();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Produced> m_items;
    bool m_stopped = false;
};

void produceFrames(const QStringList& files, const OpenOptions& options, FramePipe& pipe) {
    QSize size = options.fitTo;
    qint64 count = 0;
    const auto end = [&](std::optional<OpenError> error) {
        Produced last;
        last.end = true;
        last.error = std::move(error);
        pipe.push(std::move(last));
    };
    for (const QString& file : files) {
        OpenError error;
        std::unique_ptr<AnimationDecoder> decoder = openDecoder(file, &error);
        if (!decoder) {
            return end(error);
        }
        // A folder of pictures counts one frame for each; a single file, what it says.
        const qint64 expected = files.size() == 1 ? decoder->expectedFrames() : files.size();
        if (size.isEmpty()) {
            size = decoder->size();
        }
        while (std::optional<DecodedFrame> frame = decoder->next()) {
            if (++count > kMaxOpenFrames) {
                return end(OpenError{
                    .problem = OpenProblem::tooManyFrames, .path = file, .limit = kMaxOpenFrames});
            }
            Image fitted = fitFrame(frame->image, size, options.background);
            if (fitted.isNull()) {
                return end(OpenError{.problem = OpenProblem::tooLarge, .path = file, .size = size});
            }
            if (!pipe.push(Produced{std::move(fitted), frame->delay, file, size, expected})) {
                return;
            }
        }
        if (decoder->failure()) {
            return end(*decoder->failure());
        }
    }
    end(count == 0 ? std::optional<OpenError>(
                         OpenError{.problem = OpenProblem::noFrames, .path = files.value(0)})
                   : std::nullopt);
}

}  // namespace

std::variant<OpenedFrames, OpenError> openAnimation(const QStringList& paths,
                                                    const OpenOptions& options) {
    OpenError error;
    const QStringList files = expandOpenPaths(paths, &error);
    if (files.isEmpty()) {
        return error;
    }
    FramePipe pipe;
    std::thread decoding([&] { produceFrames(files, options, pipe); });
    // Every way out stops the decoding thread and, on failure, removes the store's folder.
    OpenedFrames opened;
    const auto finish =
        [&](std::optional<OpenError> failure) -> std::variant<OpenedFrames, OpenError> {
        pipe.stop();
        decoding.join();
        if (failure) {
            if (opened.store) {
                opened.store->removeFiles();
            }
            return *failure;
        }
        return std::move(opened);
    };
    qint64 done = 0;
    double elapsed = 0;
    while (true) {
        Produced item = pipe.pop();
        if (item.end) {
            if (item.error) {
                return finish(item.error);
            }
            break;
        }
        if (!opened.store) {
            opened.size = item.size;
            StoreOptions storeOptions = options.store;
            if (!storeOptions.budget) {
                static const auto shared = std::make_shared<MemoryBudget>(kOpenedMemoryBudget);
                storeOptions.budget = shared;
            }
            StoreError storeError;
            opened.store = RecordingStore::create(storeOptions, 30, &storeError);
            if (!opened.store) {
                return finish(OpenError{.problem = OpenProblem::storeFailed,
                                        .path = item.file,
                                        .storeError = storeError});
            }
        }
        Image stored;
        const MediaTime time{std::llround(elapsed * 1e6), 1'000'000, MediaTime::Valid};
        if (std::optional<StoreError> failure =
                opened.store->append(item.image, time, 0, &stored)) {
            return finish(OpenError{
                .problem = OpenProblem::storeFailed, .path = item.file, .storeError = *failure});
        }
        elapsed += item.delay;
        opened.images.push_back(std::move(stored));
        opened.delays.push_back(item.delay);
        ++done;
        if (options.progress &&
            !options.progress(done, item.expected > 0 ? std::max(item.expected, done) : 0)) {
            return finish(OpenError{.problem = OpenProblem::cancelled, .path = item.file});
        }
    }
    if (std::optional<StoreError> failure = opened.store->finish(0)) {
        return finish(OpenError{
            .problem = OpenProblem::storeFailed, .path = files.value(0), .storeError = *failure});
    }
    return finish(std::nullopt);
}

}  // namespace mirelo
