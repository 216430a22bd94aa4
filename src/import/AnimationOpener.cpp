#include "import/AnimationOpener.h"

#include "image/ImageServices.h"
#include "import/AnimationDecoder.h"
#include "import/NaturalOrder.h"

#include <QFileInfo>
#include <QPainter>

#include <cmath>

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

std::variant<OpenedFrames, OpenError> openAnimation(const QStringList& paths,
                                                    const OpenOptions& options) {
    OpenError error;
    const QStringList files = expandOpenPaths(paths, &error);
    if (files.isEmpty()) {
        return error;
    }
    OpenedFrames opened;
    opened.size = options.fitTo;
    qint64 done = 0;
    qint64 expected = 0;
    bool expectedKnown = true;
    double elapsed = 0;
    for (const QString& file : files) {
        std::unique_ptr<AnimationDecoder> decoder = openDecoder(file, &error);
        if (!decoder) {
            return error;
        }
        // A folder of pictures counts one frame for each; a single file, what it says.
        if (files.size() == 1) {
            expected = decoder->expectedFrames();
            expectedKnown = expected > 0;
        } else {
            expected = files.size();
        }
        if (opened.size.isEmpty()) {
            opened.size = decoder->size();
        }
        if (!opened.store) {
            StoreError storeError;
            opened.store = RecordingStore::create(options.store, 30, &storeError);
            if (!opened.store) {
                return OpenError{.problem = OpenProblem::storeFailed,
                                 .path = file,
                                 .storeMessage = storeError.message};
            }
        }
        while (std::optional<DecodedFrame> frame = decoder->next()) {
            if (done >= kMaxOpenFrames) {
                opened.store->removeFiles();
                return OpenError{
                    .problem = OpenProblem::tooManyFrames, .path = file, .limit = kMaxOpenFrames};
            }
            const Image fitted = fitFrame(frame->image, opened.size, options.background);
            if (fitted.isNull()) {
                opened.store->removeFiles();
                return OpenError{
                    .problem = OpenProblem::tooLarge, .path = file, .size = opened.size};
            }
            Image stored;
            const MediaTime time{std::llround(elapsed * 1e6), 1'000'000, MediaTime::Valid};
            if (std::optional<StoreError> failure =
                    opened.store->append(fitted, time, 0, &stored)) {
                opened.store->removeFiles();
                return OpenError{.problem = OpenProblem::storeFailed,
                                 .path = file,
                                 .storeMessage = failure->message};
            }
            elapsed += frame->delay;
            opened.images.push_back(std::move(stored));
            opened.delays.push_back(frame->delay);
            ++done;
            if (options.progress &&
                !options.progress(done, expectedKnown ? std::max(expected, done) : 0)) {
                opened.store->removeFiles();
                return OpenError{.problem = OpenProblem::cancelled, .path = file};
            }
        }
        if (decoder->failure()) {
            opened.store->removeFiles();
            return *decoder->failure();
        }
    }
    if (opened.images.empty()) {
        return OpenError{.problem = OpenProblem::noFrames, .path = files.value(0)};
    }
    if (std::optional<StoreError> failure = opened.store->finish(0)) {
        opened.store->removeFiles();
        return OpenError{.problem = OpenProblem::storeFailed,
                         .path = files.value(0),
                         .storeMessage = failure->message};
    }
    return opened;
}

}  // namespace mirelo
