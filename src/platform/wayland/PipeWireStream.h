#pragma once

#include "image/BandedFrame.h"
#include "image/Image.h"
#include "platform/wayland/StreamPointer.h"

#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct spa_buffer;

namespace mirelo::wayland {

// Reads one PipeWire video stream (a screen cast) on a thread loop of its own and keeps the
// newest picture, cut to a rectangle, for whoever takes it. The compositor sends a picture
// only when the screen changed: between two pictures nothing arrives.
class PipeWireStream {
public:
    // `fd`: the PipeWire remote (taken over, closed by the stream). `source`: the rectangle to
    // keep, in the compositor's points; `streamArea`: where the stream lies in them, when
    // known (else the stream is taken to start at the origin at one pixel per point). The
    // stream's scale is its pictures' size against the area's. What lies outside the stream's
    // pictures is kept black. `fps`: the most pictures per second
    // asked for. `pointer`: how the pointer comes (see PointerMode).
    enum class PointerMode {
        hidden,
        // The compositor draws it into the pictures; its moves may be missing from the damage
        // the compositor reports, which is then not relied on.
        embedded,
        // It comes as metadata beside the pictures: its position is known, and it is left out
        // of the pictures or drawn into them here.
        reported,
        reportedAndDrawn,
    };
    PipeWireStream(int fd, uint32_t nodeId, const QRect& source, std::optional<QRect> streamArea,
                   int fps, PointerMode pointer);
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // Connects to the node; the reason when it cannot.
    std::optional<QString> start();

    // Waits until the stream runs (and then up to 3 s for its first picture), the stream failed
    // or `timeout` passed. True when the stream runs. A stream can run without a picture for
    // a while: the compositor may send the first one only when the screen next changes.
    bool waitUntilRunning(std::chrono::milliseconds timeout);

    // When a picture came since the last call, puts it into `picture` and returns true.
    // Pictures are the source rectangle in the stream's pixels, made of bands of rows; a band
    // whose rows did not change since the picture before is that picture's band, shared. Where
    // the compositor reports what changed (damage) and the pointer is not drawn in, only the
    // bands it names are compared, and the others one in a few pictures.
    // With the pointer drawn here, a pointer move makes a picture too: the last one with the
    // pointer in its new place.
    bool takePicture(Image& picture);

    // Where the pointer is in the pictures' pixels (origin at the source's top-left corner; it
    // may lie outside), when the stream reports it and has done so.
    std::optional<QPoint> pointerPosition() const;

    // Why the stream ended by itself (the portal backend, the compositor or PipeWire went
    // away), if it did.
    std::optional<QString> failure() const;

    // Called once, on the loop's thread, when the stream ends by itself. Set before start().
    void setFailureListener(std::function<void()> listener) { m_onFailure = std::move(listener); }

    // Called on the loop's thread.
    void onStateChanged(int state, const char* error);
    void onParamChanged(uint32_t id, const void* param);
    void onProcess();
    void onCoreError(uint32_t id, int res, const char* message);

private:
    void fail(const QString& message);
    // Adds what `buffer` reports changed to the damage since the last stored picture.
    void collectDamage(const spa_buffer* buffer);
    void storePicture(const uint8_t* data, int stride, uint32_t size);
    // Takes in what `buffer` reports of the pointer.
    void collectPointer(const spa_buffer* buffer);
    bool hasPicture(const spa_buffer* buffer) const;

    int m_fd;
    uint32_t m_nodeId;
    QRect m_source;
    std::optional<QRect> m_streamArea;
    int m_fps;
    PointerMode m_pointerMode;

    pw_thread_loop* m_loop = nullptr;
    pw_context* m_context = nullptr;
    pw_core* m_core = nullptr;
    pw_stream* m_stream = nullptr;
    struct Listeners;
    Listeners* m_listeners = nullptr;

    // Loop thread only: the negotiated picture and where the source lies in it.
    QSize m_videoSize;
    bool m_swapRedBlue = false;
    QRect m_crop;  // in the stream's pixels, may reach past them
    bool m_streaming = false;
    bool m_stopping = false;
    // The last picture's rows (32-bit words B, G, R, x) and bands, to find unchanged bands.
    std::vector<uint32_t> m_lastRows;
    BandedFrame m_bands;
    QSize m_lastSize;
    // What the pictures since the last stored one report changed, in the stream's pixels;
    // unknown when one of them reported nothing (then every band is compared).
    QRegion m_damage;
    bool m_damageKnown = true;
    StreamPointer m_lastPointer;  // as the metadata last said, in the stream's pixels

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Image m_picture;
    bool m_fresh = false;
    // The pointer in the pictures' pixels, and whether it moved or changed since the last
    // picture taken.
    std::optional<StreamPointer> m_pointer;
    bool m_pointerChanged = false;
    bool m_hadPicture = false;
    bool m_running = false;
    std::optional<QString> m_failure;
    std::function<void()> m_onFailure;
};

}  // namespace mirelo::wayland
