// Records frames and input events through a frame store, then waits to be killed: the
// recovery test's crashed recorder. Argument: the store root. Prints "ready" once the frames
// and events are written.
#include "capture/FrameStore.h"
#include "image/ImageServices.h"

#include <unistd.h>
#include <cstdio>

using namespace mirelo;

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    StoreOptions options;
    options.root = QString::fromLocal8Bit(argv[1]);
    options.diskReserve = 0;
    FrameStore store(options);
    if (store.begin(10)) {
        return 1;
    }
    QImage surface = ImageServices::createSurface(64, 48);
    surface.fill(Qt::darkCyan);
    const Image frame = ImageServices::imageFromSurface(std::move(surface));
    for (int i = 0; i < 10; ++i) {
        store.append(frame, MediaTime{100 + i, 10, MediaTime::Valid});
    }
    InputEvent key;
    key.kind = InputEvent::Kind::keyPress;
    key.time = MediaTime{103, 10, MediaTime::Valid};
    key.modifiers = modifierCtrl;
    key.keyName = QStringLiteral("S");
    store.appendInput(key);
    InputEvent click;
    click.kind = InputEvent::Kind::buttonPress;
    click.time = MediaTime{105, 10, MediaTime::Valid};
    click.button = 1;
    click.position = QPoint(20, 30);
    store.appendInput(click);
    // The events are on disk once appendInput() returns; the frames follow on the store's
    // writer thread, which the test does not wait for.
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}
