#include "support/TestImages.h"

#include "image/ImageServices.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstring>

namespace mirelo::test {

Image solidImage(int width, int height, QColor color) {
    QImage surface = ImageServices::createSurface(width, height);
    surface.fill(color);
    return ImageServices::imageFromSurface(std::move(surface));
}

uint32_t rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    const uint8_t bytes[4] = {r, g, b, a};
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

Image patternImage(int width, int height, uint8_t seed) {
    QImage surface = ImageServices::createSurface(width, height);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(surface.scanLine(y));
        for (int x = 0; x < width; ++x) {
            row[x] = rgba(uint8_t(x), uint8_t(y), uint8_t(seed + (x >> 8) * 16 + (y >> 8)));
        }
    }
    return ImageServices::imageFromSurface(std::move(surface));
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    static const int scale = [] {
        bool ok = false;
        const int value = qEnvironmentVariableIntValue("MIRELO_TEST_WAIT_SCALE", &ok);
        return ok && value > 0 ? value : 4;
    }();
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= timeout.count() * scale) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void spinFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace mirelo::test
