// mirelo-gif-export-time FRAMES_FOLDER FPS QUALITY OUTPUT: the application's
// own GIF export, from frames held in memory as a recording holds them (the
// folder's PNG files in name order, decoded before timing starts). Prints
// the wall seconds and the CPU seconds (user + system) of the export alone.
#include "export/ExporterGIF.h"
#include "i18n/ModelTexts.h"
#include "image/Image.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: mirelo-gif-export-time FRAMES_FOLDER FPS QUALITY OUTPUT\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const double fps = std::atof(argv[2]);
    const int quality = std::atoi(argv[3]);
    std::vector<mirelo::Image> frames;
    for (const QString& name :
         folder.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name)) {
        const QImage image(folder.filePath(name));
        if (image.isNull()) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
            return 1;
        }
        frames.push_back(mirelo::Image::fromQImage(image));
    }
    if (frames.empty() || !(fps > 0)) {
        return 1;
    }
    const std::vector<double> delays(frames.size(), 1.0 / fps);
    const double cpuBefore = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const mirelo::ExportStatus status =
        mirelo::Exporter::encodeGIF(mirelo::FrameSequence::of(frames), delays, quality,
                                    QString::fromLocal8Bit(argv[4]), {}, {});
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(mirelo::i18n::describe(*status)));
        return 1;
    }
    std::printf("%.3f %.3f\n", wall, cpuSeconds() - cpuBefore);
    return 0;
}
