// mirelo-gif-shimmer GIF FRAMES_FOLDER: of the pixels whose source colour is
// the same as in the frame before, the share whose colour in the GIF changes
// (in percent). Source frames are the folder's PNG files in name order; the
// GIF is composed frame by frame as a viewer shows it.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>

#include <gif_lib.h>

#include <cstdio>
#include <vector>

namespace {

std::vector<QImage> decodeGif(const char* path) {
    std::vector<QImage> frames;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path, &error);
    if (!gif) {
        return frames;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return frames;
    }
    QImage canvas(gif->SWidth, gif->SHeight, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, i, &gcb);
        const GifImageDesc& desc = image.ImageDesc;
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        QImage previous = gcb.DisposalMode == DISPOSE_PREVIOUS ? canvas.copy() : QImage();
        for (int y = 0; y < desc.Height; ++y) {
            auto* row = reinterpret_cast<QRgb*>(canvas.scanLine(desc.Top + y));
            for (int x = 0; x < desc.Width; ++x) {
                const int index = image.RasterBits[y * desc.Width + x];
                if (index != gcb.TransparentColor && index < map->ColorCount) {
                    const GifColorType c = map->Colors[index];
                    row[desc.Left + x] = qRgb(c.Red, c.Green, c.Blue);
                }
            }
        }
        frames.push_back(canvas.copy());
        if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
            for (int y = 0; y < desc.Height; ++y) {
                auto* row = reinterpret_cast<QRgb*>(canvas.scanLine(desc.Top + y));
                for (int x = 0; x < desc.Width; ++x) {
                    row[desc.Left + x] = qRgb(0, 0, 0);
                }
            }
        } else if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
            canvas = previous;
        }
    }
    DGifCloseFile(gif, &error);
    return frames;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: mirelo-gif-shimmer GIF FRAMES_FOLDER\n");
        return 1;
    }
    const std::vector<QImage> out = decodeGif(argv[1]);
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    const QStringList names = folder.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    if (out.empty() || out.size() != size_t(names.size())) {
        std::fprintf(stderr, "mirelo-gif-shimmer: %zu GIF frames, %lld source frames\n", out.size(),
                     static_cast<long long>(names.size()));
        return 1;
    }
    QImage before = QImage(folder.filePath(names[0])).convertToFormat(QImage::Format_RGB32);
    long long still = 0, changed = 0;
    for (qsizetype i = 1; i < names.size(); ++i) {
        const QImage source =
            QImage(folder.filePath(names[i])).convertToFormat(QImage::Format_RGB32);
        if (source.size() != before.size() || source.size() != out[size_t(i)].size()) {
            std::fprintf(stderr, "mirelo-gif-shimmer: frame %lld differs in size\n",
                         static_cast<long long>(i));
            return 1;
        }
        for (int y = 0; y < source.height(); ++y) {
            const auto* s = reinterpret_cast<const QRgb*>(source.constScanLine(y));
            const auto* b = reinterpret_cast<const QRgb*>(before.constScanLine(y));
            const auto* o = reinterpret_cast<const QRgb*>(out[size_t(i)].constScanLine(y));
            const auto* p = reinterpret_cast<const QRgb*>(out[size_t(i) - 1].constScanLine(y));
            for (int x = 0; x < source.width(); ++x) {
                if (s[x] == b[x]) {
                    ++still;
                    changed += o[x] != p[x] ? 1 : 0;
                }
            }
        }
        before = source;
    }
    std::printf("%.4f\n", still > 0 ? 100.0 * double(changed) / double(still) : 0.0);
    return 0;
}
