#include "support/WebPFrames.h"

#include <QFile>

#include <webp/demux.h>

namespace mirelo::test {

WebPFrames decodeWebP(const QString& path) {
    WebPFrames out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return out;
    }
    const QByteArray bytes = file.readAll();
    WebPData data{reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (decoder == nullptr) {
        return out;
    }
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    out.width = int(info.canvas_width);
    out.height = int(info.canvas_height);
    out.loopCount = int(info.loop_count);
    out.background = info.bgcolor;
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        uint8_t* pixels = nullptr;
        int end = 0;
        if (!WebPAnimDecoderGetNext(decoder, &pixels, &end)) {
            break;
        }
        // The decoder reuses its buffer: each frame is copied out.
        out.frames.push_back(
            QImage(pixels, out.width, out.height, out.width * 4, QImage::Format_RGBA8888).copy());
        out.endTimes.push_back(end);
    }
    WebPAnimDecoderDelete(decoder);
    out.ok = true;
    return out;
}

}  // namespace mirelo::test
