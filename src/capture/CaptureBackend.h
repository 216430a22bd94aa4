#pragma once

#include "capture/InputEvent.h"
#include "capture/MediaTime.h"
#include "image/Image.h"

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace mirelo {

// One display as the capture backend sees it.
struct CaptureDisplay {
    // Identifies the display to startStream() for as long as it stays attached.
    uint32_t id = 0;
    // The name the windowing system gives it (the same name QScreen::name() reports), used to
    // find its device pixel ratio in the screen list.
    QString name;
    // The display's rectangle in device pixels of the whole desktop (X root coordinates).
    QRect pixelFrame;

    friend bool operator==(const CaptureDisplay&, const CaptureDisplay&) = default;
};

// What a failed backend call reports: the platform's own description, shown to the user as is.
struct CaptureFailure {
    QString message;
    // The user refused the capture where the platform asks at the start of a stream (a
    // screen-sharing dialog): reported as RecorderError::noPermission with `message`.
    bool noPermission = false;
    // Where the platform shares one monitor at a time, the one shared is not the monitor the
    // region lies on, or which one it is cannot be told; `message` is then empty and the
    // display's name is in `displayName`.
    enum class Monitor { fine, otherShared, unidentified };
    Monitor monitor = Monitor::fine;
    QString displayName;
    // The stream ended because what it recorded went away (the window closed): a normal end of
    // the recording rather than a failure; `message` is empty.
    bool sourceClosed = false;
};

// The display list or the reason there is none.
struct DisplayListResult {
    std::vector<CaptureDisplay> displays;
    std::optional<CaptureFailure> failure;
};

// One window to record instead of a rectangle of the screen.
struct CaptureWindow {
    // The platform's id of the application's window (the X window the window list reports).
    uint32_t id = 0;
    // Record the window manager's frame around it too (title bar and borders).
    bool withDecorations = true;

    friend bool operator==(const CaptureWindow&, const CaptureWindow&) = default;
};

// Everything a stream needs to know.
struct CaptureConfiguration {
    // A window to follow wherever it goes: the stream then ignores displayId and sourceRect,
    // and takes sourcePixels and outputSize from the window's size when the stream starts
    // (both may be left empty).
    std::optional<CaptureWindow> window;
    uint32_t displayId = 0;
    // The recording region in the display's own space (points, origin at the display's top-left).
    QRectF sourceRect;
    // The same rectangle in desktop device pixels (X root coordinates). It may reach past the
    // display or the desktop; whatever lies outside the desktop is delivered black.
    QRect sourcePixels;
    // Size of every delivered image. The backend scales sourcePixels to it when they differ.
    QSize outputSize;
    // No two frames closer together than this (1 / fps).
    MediaTime minimumFrameInterval;
    // Draw the mouse pointer into the frames.
    bool showsCursor = true;
    // At most this many frames captured but not yet handed to the sink.
    int queueDepth = 6;
    // Which key presses and clicks to report to the sink's `input` (none by default). A backend
    // that cannot observe them reports nothing.
    InputCapture inputCapture = InputCapture::none;
};

// Where a stream delivers. Both callbacks run on the backend's capture thread and must return
// quickly; neither may touch UI state.
struct CaptureSink {
    // One captured image (already cropped and at outputSize) with its presentation time, taken
    // from a monotonic clock.
    std::function<void(const Image& image, const MediaTime& timestamp)> frame;
    // The stream ended by itself (the display server went away, the display was unplugged,
    // shared memory failed). Called at most once per stream; no frame follows it.
    std::function<void(const CaptureFailure& failure)> failed;
    // One key press or button change with its time on the frames' clock and, for buttons, the
    // pointer in the recording's pixels. May run on a thread of its own, concurrently with
    // `frame`; never after stopStream() returns.
    std::function<void(const InputEvent& event)> input;
};

// What a stream counted while it ran, to explain frames that were due and never came. Cheap
// counters only; zero where a backend does not count.
struct CaptureStats {
    int64_t framesRead = 0;
    // Deadlines left out because the frame before came more than half a period late; the
    // frames that came that late and by how much (sum and worst); of those, the ones whose
    // deadline had passed before the wait for it began (the read before ran over), the rest
    // having slept and been woken late.
    int64_t deadlinesSkipped = 0;
    int64_t lateFrames = 0;
    std::chrono::nanoseconds lateness{0};
    std::chrono::nanoseconds worstLateness{0};
    int64_t lateAfterOverrun = 0;
    // Deadlines that passed without a read because every read still awaited conversion.
    int64_t converterBehind = 0;
    // Time the reads took, request to reply (sum and worst).
    std::chrono::nanoseconds readTime{0};
    std::chrono::nanoseconds worstReadTime{0};
    // Time the reading and the converting thread were ready to run but had no processor.
    std::chrono::nanoseconds readerRunQueueWait{0};
    std::chrono::nanoseconds converterRunQueueWait{0};
};

// The platform's screen-capture service. Calls block until done and are made from one worker
// thread at a time (never from the main thread); implementations need not be re-entrant.
// At most one stream runs at a time.
class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;

    // True when this process may capture the screen. Never asks the user.
    virtual bool checkPermission() = 0;
    // Asks the user for the permission where the platform has such a prompt; the answer is not
    // reported (the user grants it in the system settings and restarts).
    virtual void requestPermission() = 0;

    // The displays, in the order of the screen list (primary first).
    virtual DisplayListResult displays() = 0;

    // Starts delivering frames to `sink`; returns once the stream runs, or the reason it could
    // not start (then nothing is delivered).
    virtual std::optional<CaptureFailure> startStream(const CaptureConfiguration& configuration,
                                                      CaptureSink sink) = 0;
    // Ends the running stream; once it returns, the sink is never called again. Stopping a
    // stream that already ended by itself, or when none runs, succeeds.
    virtual std::optional<CaptureFailure> stopStream() = 0;
    // The counts of the last stream, once it has ended (by stopStream() or by itself).
    virtual CaptureStats streamStats() { return {}; }
    // A stream shows one display only: what of the region lies beyond the display under its
    // centre is delivered black.
    virtual bool recordsOneDisplay() const { return false; }
    // Streams can follow one window (CaptureConfiguration::window).
    virtual bool recordsWindows() const { return false; }
};

}  // namespace mirelo
