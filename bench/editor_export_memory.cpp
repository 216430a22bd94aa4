// A long recording through the editor as the user meets it: raw R, G, B, A frames (one after
// another, from a file or "-" for standard input) go into a recording store as a recording
// does, the editor window opens on them, a text overlay is added, and the save flow exports a
// GIF with the default options. Prints "frames", "open seconds", "export seconds",
// "gif bytes" and "peak memory" (MB, the whole process). Used by scripts/recording_store.sh.
#include "PeakMemory.h"
#include "capture/RecordingStore.h"
#include "editor/EditorState.h"
#include "image/ImageServices.h"
#include "ui/editor/EditorWindowController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using mirelo::bench::peakMemoryMB;

// Runs the event loop until `done` holds or `seconds` pass.
bool spinUntil(const std::function<bool()>& done, double seconds) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > qint64(seconds * 1000)) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: %s FRAMES.rgba|- WIDTH HEIGHT OUT.gif [--no-text]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    const QString output = QFileInfo(QString::fromLocal8Bit(argv[4])).absoluteFilePath();
    std::FILE* in = std::string(argv[1]) == "-" ? stdin : std::fopen(argv[1], "rb");
    if (!in || width < 1 || height < 1) {
        return 2;
    }
    QTemporaryDir root;
    mirelo::StoreOptions options;
    options.root = root.path();
    options.diskReserve = 0;
    auto store = mirelo::RecordingStore::create(options, 30);
    if (!store) {
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    const size_t bytes = size_t(width) * size_t(height) * 4;
    std::vector<uint8_t> raw(bytes);
    mirelo::FrameList frames;
    while (std::fread(raw.data(), 1, bytes, in) == bytes) {
        const mirelo::Image frame =
            mirelo::ImageServices::fromBytes(raw.data(), width, height, width * 4);
        mirelo::Image stored;
        const qint64 index = frames.size();
        if (store->append(frame, mirelo::MediaTime{index, 30, mirelo::MediaTime::Valid}, 0,
                          &stored)) {
            return 1;
        }
        frames.push_back(mirelo::EditorFrame::make(stored, mirelo::frameDelay(30)));
    }
    if (in != stdin) {
        std::fclose(in);
    }
    store->finish(0);
    raw = {};
    const qsizetype count = frames.size();
    if (count == 0) {
        return 1;
    }
    std::printf("frames: %lld\nstore seconds: %.1f\n", static_cast<long long>(count),
                double(clock.restart()) / 1000);
    std::fflush(stdout);

    mirelo::EditorWindowController editor(std::move(frames), root.path());
    bool saved = false;
    editor.onSaved = [&saved](const QString&) { saved = true; };
    editor.window()->show();
    spinUntil([] { return false; }, 2.0);  // the strip's thumbnails and the first preview
    if (argc == 5) {
        editor.state()->addText();
    }
    std::printf("open seconds: %.1f\n", double(clock.restart()) / 1000);

    editor.save();
    QFileDialog* dialog = editor.saveDialog();
    if (!dialog) {
        return 1;
    }
    spinUntil([] { return false; }, 1.0);  // the dialog's estimate starts as the user looks
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(output);
    QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    if (!spinUntil([&] { return saved || (!editor.isExporting() && !editor.exportModel()); },
                   3600)) {
        return 1;
    }
    std::printf("export seconds: %.1f\ngif bytes: %lld\npeak memory: %.0f MB\n",
                double(clock.elapsed()) / 1000, static_cast<long long>(QFileInfo(output).size()),
                peakMemoryMB());
    return saved ? 0 : 1;
}
