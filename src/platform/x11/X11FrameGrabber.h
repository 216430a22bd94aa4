#pragma once

#include "image/BandedFrame.h"
#include "image/Image.h"
#include "platform/x11/X11Connection.h"

#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>

#include <xcb/damage.h>
#include <xcb/xfixes.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace mirelo::x11 {

// What one read leaves for conversion: the pixels (in a shared-memory slot or a GetImage
// reply), the pointer image, and where the desktop shows. Owns nothing of the grabber but its
// slot, which FrameGrabber::convert() hands back.
struct RawFrame {
    int slot = -1;  // index of the shared-memory segment holding the pixels, or -1
    Reply<xcb_get_image_reply_t> plain;                 // the pixels, without shared memory
    Reply<xcb_xfixes_get_cursor_image_reply_t> cursor;  // null when the pointer is not drawn
    QRect clip;  // the part of the source read, root coordinates
    // What the server reported drawn since the read before, source coordinates; nothing when
    // it does not report damage (then every row is compared).
    std::optional<QRegion> damage;
    QRegion blackArea;  // parts of the source no monitor shows, source coordinates
    QPoint origin;      // where the source's top-left lay on the root window, for the pointer
};

// Reads rectangles of the root window into frames in two steps, so that the next read can run
// while the last one is converted. read() (one thread, the connection's) has the server copy
// the rectangle into one of up to `slotCount` MIT-SHM segments (plain GetImage where the server
// offers no shared memory) together with the XFixes pointer image; convert() (one other thread
// at a time) turns it into a frame: standard pixel layout, black outside the desktop and
// between monitors, the pointer blended in, at the delivery size.
//
// Where the source lies wholly on monitors and is delivered at its own size, a frame is made of
// bands of rows, and a band whose pixels (and pointer) are as in the previous frame is that
// frame's band, shared: a recording of a mostly still screen keeps only what changed, and
// little memory has to be found while recording. The server's damage reports say which rows
// may have changed; only those are compared, and a few others in turn, in case a report was
// missed.
class FrameGrabber {
public:
    // Prepares reads of `source` (device pixels, root coordinates, any position) delivered at
    // `outputSize`, with at most `slotCount` reads awaiting conversion. Check failure()
    // afterwards.
    //
    // With a `window`, the source lies in that window's own coordinates instead and is read from
    // the drawable setDrawable() names (nothing until then); damage is watched on the window.
    FrameGrabber(Connection& connection, const QRect& source, const QSize& outputSize,
                 bool showsCursor, int slotCount = 1, xcb_window_t window = XCB_NONE);
    ~FrameGrabber();
    FrameGrabber(const FrameGrabber&) = delete;
    FrameGrabber& operator=(const FrameGrabber&) = delete;

    // Why the grabber cannot read (set at construction or by a failed read), else nothing.
    // Read thread only.
    const std::optional<QString>& failure() const { return m_failure; }
    bool usesSharedMemory() const { return m_sharedMemory; }

    // Re-reads the desktop's size and monitors (after a change of the screen layout).
    void updateLayout();
    // With a window: reads come from `drawable` (the window's pixmap) of `size` from now on,
    // and the window's top-left lies at `origin` on the root window. Read thread only.
    void setDrawable(xcb_drawable_t drawable, const QSize& size);
    void setOrigin(const QPoint& origin) { m_origin = origin; }
    // True while RandR lists a monitor with this id (always true for id 0, the root fallback).
    bool hasMonitor(uint32_t id) const;

    enum class ReadStatus { ok, busy, failed };
    // Reads the source now. busy: every slot still awaits conversion (nothing was read);
    // failed: see failure().
    ReadStatus read(RawFrame& frame);
    // The frame of a read, and its slot free again; null when no memory could be had for it.
    Image convert(RawFrame&& frame);

    // Both steps at once (tests and single-threaded callers).
    Image grab();

private:
    struct Segment {
        uint32_t id = 0;
        uint8_t* data = nullptr;
        bool busy = false;
    };
    bool attachSegment(size_t bytes);
    void detachSegments();
    // The pointer drawn into rows `area` of the source (source coordinates; `rows` holds the
    // first of them).
    void blendCursor(uint8_t* rows, int stride, const QRect& area, const QPoint& origin,
                     const xcb_xfixes_get_cursor_image_reply_t* cursor) const;
    // Where the pointer of `cursor` lies, source coordinates, clipped to the source, when the
    // source's top-left lies at `origin` on the root.
    QRect cursorArea(const QPoint& origin, const xcb_xfixes_get_cursor_image_reply_t* cursor) const;
    const uint32_t* pixelsOf(const RawFrame& raw);
    // The slot (or the reply's share of the in-flight count) of a read is free again.
    void release(RawFrame& raw);
    Image convertToBands(RawFrame&& raw, const uint32_t* pixels);
    Image convertToSurface(RawFrame&& raw, const uint32_t* pixels);

    Connection& m_connection;
    QRect m_source;
    QSize m_outputSize;
    bool m_showsCursor = false;
    int m_slots = 1;
    std::optional<QString> m_failure;

    // The window read instead of the root, the drawable holding its pixels and their size, and
    // where it lies on the root; read thread only.
    xcb_window_t m_window = XCB_NONE;
    xcb_drawable_t m_drawable = XCB_NONE;
    QSize m_drawableSize;
    QPoint m_origin;

    QRect m_root;  // the readable area, in the coordinates of the source
    QRegion m_blackArea;
    std::vector<Monitor> m_monitors;

    bool m_sharedMemory = false;
    // Guards the slots' use; the list itself grows on the read thread only.
    std::mutex m_segmentsMutex;
    std::vector<Segment> m_segments;
    int m_plainInFlight = 0;  // reads without shared memory awaiting conversion

    // The read the last frame made of bands came from (its slot kept busy), to find the bands
    // the next frame shares, and the frame's bands. convert() only.
    struct LastFrame {
        RawFrame raw;
        QRect cursorArea;
        uint32_t cursorSerial = 0;
    };
    std::optional<LastFrame> m_last;
    BandedFrame m_bands;

    uint32_t m_damage = 0;        // damage object on the root window, 0 without the extension
    uint32_t m_damageRegion = 0;  // XFixes region the damage is moved into at each read
};

}  // namespace mirelo::x11
