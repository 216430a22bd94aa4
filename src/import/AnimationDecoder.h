#pragma once

#include "image/Image.h"
#include "import/OpenError.h"

#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace mirelo {

// One frame of an animation as it is shown: the whole canvas, composited.
struct DecodedFrame {
    Image image;
    double delay = 0;  // seconds
};

// Reads the frames of one file, one at a time, so that only the frame being made is in
// memory. Not thread safe; one thread at a time.
class AnimationDecoder {
public:
    virtual ~AnimationDecoder() = default;
    // The size of every frame (the canvas, turned as the file asks).
    virtual QSize size() const = 0;
    // How many frames the file is expected to hold, for progress; 0 when unknown.
    virtual qint64 expectedFrames() const { return 0; }
    // The next frame, or nothing at the end or on failure (then failure() says why).
    virtual std::optional<DecodedFrame> next() = 0;
    const std::optional<OpenError>& failure() const { return m_failure; }

protected:
    // Records the failure (the first one stays) and returns nothing, for next().
    std::nullopt_t fail(OpenProblem problem, const QString& detail = {});
    bool sizeAllowed(QSize size);

    QString m_path;
    std::optional<OpenError> m_failure;
};

// Delay of a still picture among others (a folder of frames): 15 frames per second, as
// mirelo-convert's default.
inline constexpr double kStillFrameDelay = 1.0 / 15.0;

// A decoder for the file at `path`, chosen by its contents: GIF, WebP, any picture Qt reads,
// else a video. Null with the reason in `error` when the file cannot be opened.
std::unique_ptr<AnimationDecoder> openDecoder(const QString& path, OpenError* error);

// The individual decoders (AnimationDecoder.cpp picks among them).
std::unique_ptr<AnimationDecoder> openGifDecoder(const QString& path, OpenError* error);
std::unique_ptr<AnimationDecoder> openWebPDecoder(const QString& path, OpenError* error);
std::unique_ptr<AnimationDecoder> openVideoDecoder(const QString& path, OpenError* error);
std::unique_ptr<AnimationDecoder> openPictureDecoder(const QString& path, OpenError* error);
// A PNG: animated (APNG) frames composited, or a still picture.
std::unique_ptr<AnimationDecoder> openApngDecoder(const QString& path, OpenError* error);

// Whether a picture or frame of `size` may be opened (within kMaxOpenSide and the largest
// surface).
bool openableSize(QSize size);

}  // namespace mirelo
