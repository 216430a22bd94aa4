#include "ImportTestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gif_lib.h>

namespace mirelo::test {

namespace {

ColorMapObject* makeMap(const QList<QColor>& colors) {
    int size = 2;
    while (size < colors.size()) {
        size *= 2;
    }
    std::vector<GifColorType> entries(size_t(size), GifColorType{0, 0, 0});
    for (qsizetype i = 0; i < colors.size(); ++i) {
        entries[size_t(i)] =
            GifColorType{GifByteType(colors[i].red()), GifByteType(colors[i].green()),
                         GifByteType(colors[i].blue())};
    }
    return GifMakeMapObject(size, entries.data());
}

}  // namespace

bool writeGif(const QString& path, QSize size, const QList<QColor>& globalPalette,
              const std::vector<GifFrameSpec>& frames) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(QFile::encodeName(path).constData(), false, &error);
    if (!gif) {
        return false;
    }
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = makeMap(globalPalette);
    bool ok = EGifPutScreenDesc(gif, size.width(), size.height(), 8, 0, global) == GIF_OK;
    GifFreeMapObject(global);
    for (const GifFrameSpec& frame : frames) {
        if (!ok) {
            break;
        }
        GraphicsControlBlock control{frame.disposal, false, frame.centiseconds, frame.transparent};
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK;
        ColorMapObject* local =
            frame.localPalette.isEmpty() ? nullptr : makeMap(frame.localPalette);
        // giflib drops its copy of the previous frame's local palette without
        // freeing it when the next frame has none.
        if (!local && gif->Image.ColorMap) {
            GifFreeMapObject(gif->Image.ColorMap);
            gif->Image.ColorMap = nullptr;
        }
        ok = ok && EGifPutImageDesc(gif, frame.rect.x(), frame.rect.y(), frame.rect.width(),
                                    frame.rect.height(), frame.interlaced, local) == GIF_OK;
        if (local) {
            GifFreeMapObject(local);
        }
        const int width = frame.rect.width();
        const int height = frame.rect.height();
        std::vector<int> rows;
        if (frame.interlaced) {
            for (int start : {0, 4, 2, 1}) {
                for (int y = start; y < height; y += (start == 0   ? 8
                                                      : start == 4 ? 8
                                                                   : start * 2)) {
                    rows.push_back(y);
                }
            }
        } else {
            for (int y = 0; y < height; ++y) {
                rows.push_back(y);
            }
        }
        for (int y : rows) {
            if (!ok) {
                break;
            }
            std::vector<GifPixelType> line(frame.indices.begin() + ptrdiff_t(y) * width,
                                           frame.indices.begin() + ptrdiff_t(y + 1) * width);
            ok = EGifPutLine(gif, line.data(), width) == GIF_OK;
        }
    }
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

std::optional<QByteArray> runFfmpeg(const QStringList& arguments) {
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        return std::nullopt;
    }
    QProcess process;
    process.start(ffmpeg, QStringList{QStringLiteral("-v"), QStringLiteral("error"),
                                      QStringLiteral("-nostdin")} +
                              arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

std::optional<QByteArray> ffmpegFrames(const QString& path) {
    return runFfmpeg({QStringLiteral("-i"), path, QStringLiteral("-f"), QStringLiteral("rawvideo"),
                      QStringLiteral("-pix_fmt"), QStringLiteral("rgba"), QStringLiteral("-vsync"),
                      QStringLiteral("passthrough"), QStringLiteral("-")});
}

}  // namespace mirelo::test
