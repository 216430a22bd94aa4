// Records the top-left WIDTH x HEIGHT of an X display for SECONDS at FPS through
// ScreenRecorder and the X11 backend, as the application does, and prints
// "frames: N", "size: WxH" and "missed deadlines: N". Used by scripts/capture_vs_x11grab.sh.
// Where missed frames went (deadlines the schedule skipped, reads the converter was too far
// behind to take, frames the store's queue dropped) goes to stderr.
// "requested: N" and "delivered: N" measure the recording over its own span, from its first
// frame to the moment the stop was asked for: the frames due on the schedule of the first
// frame in that span, and those kept (frames the store dropped are not).
// DISPLAY "portal" records through the Wayland desktop's screen-cast portal instead
// (scripts/capture_portal_vs_x11grab.sh). "nopointer" records without the mouse pointer;
// "keys" keeps every key press and click beside the frames, as 显示按键 with 全部按键 does
// (scripts/capture_keys.sh), and prints "input events: N". "window=ID" records the X window ID
// (without its window manager's frame) wherever it is, at its own size, instead of the region
// (scripts/window_vs_screen.sh).
#include "PeakMemory.h"
#include "capture/ScreenRecorder.h"
#include "i18n/ModelTexts.h"
#include "platform/wayland/PortalCaptureBackend.h"
#include "platform/x11/X11CaptureBackend.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace {

using mirelo::bench::peakMemoryMB;

}  // namespace

int main(int argc, char** argv) {
    bool showsPointer = true;
    bool keys = false;
    std::optional<mirelo::CaptureWindow> window;
    bool usage = argc < 6;
    for (int i = 6; i < argc; ++i) {
        const std::string option(argv[i]);
        showsPointer = showsPointer && option != "nopointer";
        keys = keys || option == "keys";
        const bool windowOption = option.rfind("window=", 0) == 0;
        if (windowOption) {
            window = mirelo::CaptureWindow{
                static_cast<uint32_t>(std::strtoul(option.c_str() + 7, nullptr, 0)), false};
        }
        usage = usage || (option != "nopointer" && option != "keys" && !windowOption);
    }
    if (usage) {
        std::fprintf(stderr,
                     "usage: %s DISPLAY SECONDS FPS WIDTH HEIGHT [nopointer] [keys] [window=ID]\n",
                     argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const QByteArray display(argv[1]);
    const double seconds = std::atof(argv[2]);
    const double fps = std::atof(argv[3]);
    const QRectF region(0, 0, std::atof(argv[4]), std::atof(argv[5]));

    auto backend = display == "portal" ? mirelo::makePortalCaptureBackend()
                                       : mirelo::makeX11CaptureBackend(display);
    // Every display at its own pixel size, as Qt reports an unscaled X desktop.
    auto screens = [backend] {
        std::vector<mirelo::ScreenInfo> list;
        for (const mirelo::CaptureDisplay& d : backend->displays().displays) {
            list.push_back({d.name, 1.0});
        }
        return list;
    };
    mirelo::ScreenRecorder recorder(backend, screens);
    if (keys) {
        recorder.setInputCapture(mirelo::InputCapture::allKeys);
    }
    int status = 0;
    const auto steadySeconds = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    const double startAsked = steadySeconds();
    double stopAsked = 0;
    const auto started = [&](std::optional<mirelo::RecorderError> error) {
        if (error) {
            std::fprintf(stderr, "start failed: %s\n", qPrintable(mirelo::i18n::describe(*error)));
            status = 1;
            app.quit();
            return;
        }
        // A precise timer: a coarse one may fire 5 % late.
        QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, [&] {
            stopAsked = steadySeconds();
            recorder.stop([&](std::vector<mirelo::FrameStore::Frame> frames,
                              std::optional<mirelo::RecorderError> stopError) {
                if (stopError) {
                    std::fprintf(stderr, "stop failed: %s\n",
                                 qPrintable(mirelo::i18n::describe(*stopError)));
                    status = 1;
                } else if (frames.empty()) {
                    // A compositor may send no picture at all while the screen stands still.
                    std::printf("requested: 0\ndelivered: 0\nframes: 0\n");
                    status = 1;
                } else {
                    // Deadlines the capture missed: gaps of more than one and a half periods.
                    int missed = 0;
                    for (size_t i = 1; i < frames.size(); ++i) {
                        const double gap =
                            frames[i].timestamp.seconds() - frames[i - 1].timestamp.seconds();
                        missed += gap * fps > 1.5 ? static_cast<int>(gap * fps + 0.5) - 1 : 0;
                    }
                    const double span =
                        frames.back().timestamp.seconds() - frames.front().timestamp.seconds();
                    // Frame times are the steady clock's (nothing was paused).
                    const double first = frames.front().timestamp.seconds();
                    size_t delivered = 0;
                    for (const auto& frame : frames) {
                        delivered += frame.timestamp.seconds() < stopAsked ? 1 : 0;
                    }
                    const long requested =
                        std::max(0L, std::lround(std::ceil((stopAsked - first) * fps - 1e-6)));
                    std::printf("requested: %ld\ndelivered: %zu\nfirst frame after start: %.3f s\n",
                                requested, delivered, first - startAsked);
                    std::printf("input events: %zu\n", recorder.lastInputEvents().size());
                    std::printf(
                        "frames: %zu\nsize: %dx%d\nmissed deadlines: %d\n"
                        "first to last frame: %.3f s\npeak memory: %.0f MB\n",
                        frames.size(), frames.front().image.width(), frames.front().image.height(),
                        missed, span, peakMemoryMB());
                    // Where the frames due and not delivered went, one line per cause.
                    const mirelo::CaptureStats& stats = recorder.lastStreamStats();
                    const auto ms = [](std::chrono::nanoseconds t) { return t.count() / 1e6; };
                    const auto mean = [&](std::chrono::nanoseconds t, int64_t n) {
                        return n > 0 ? ms(t) / double(n) : 0.0;
                    };
                    const mirelo::FrameStore::WriterCounts writer =
                        recorder.frameStore().writerCounts();
                    std::fflush(stdout);
                    std::fprintf(stderr,
                                 "missed: %ld of %ld due\n"
                                 "schedule skipped: %lld deadlines after %lld late frames (%lld "
                                 "after a read ran over, the rest woken late), late by mean "
                                 "%.1f ms, worst %.1f ms\n"
                                 "converter behind: %lld deadlines without a read\n"
                                 "store queue dropped: %zu frames; writer %.1f ms a frame, "
                                 "%zu frames queued at most, run-queue wait %.0f ms\n"
                                 "reads: %lld, mean %.1f ms, worst %.1f ms\n"
                                 "run-queue wait: reader %.0f ms, converter %.0f ms\n",
                                 requested - static_cast<long>(delivered), requested,
                                 static_cast<long long>(stats.deadlinesSkipped),
                                 static_cast<long long>(stats.lateFrames),
                                 static_cast<long long>(stats.lateAfterOverrun),
                                 mean(stats.lateness, stats.lateFrames), ms(stats.worstLateness),
                                 static_cast<long long>(stats.converterBehind),
                                 recorder.frameStore().droppedFrames(),
                                 mean(writer.busy, static_cast<int64_t>(writer.written)),
                                 writer.peakQueued, ms(writer.runQueueWait),
                                 static_cast<long long>(stats.framesRead),
                                 mean(stats.readTime, stats.framesRead), ms(stats.worstReadTime),
                                 ms(stats.readerRunQueueWait), ms(stats.converterRunQueueWait));
                    // What the recording store kept on disk, against the raw frames.
                    const auto store = recorder.frameStore().takeLastRecording();
                    const double raw =
                        4.0 * frames.front().image.width() * frames.front().image.height();
                    if (store) {
                        std::printf(
                            "dropped frames: %zu\nstore bytes per frame: %.0f\n"
                            "raw bytes per frame: %.0f\n",
                            recorder.frameStore().droppedFrames(),
                            double(store->bytesWritten()) / double(frames.size()), raw);
                    }
                }
                app.quit();
            });
        });
    };
    if (window) {
        recorder.startWindow(*window, fps, showsPointer, started);
    } else {
        recorder.start(region, fps, showsPointer, started);
    }
    QObject::connect(
        &recorder, &mirelo::ScreenRecorder::streamFailed, [](const mirelo::RecorderError& error) {
            std::fprintf(stderr, "stream failed: %s\n", qPrintable(mirelo::i18n::describe(error)));
        });
    app.exec();
    return status;
}
