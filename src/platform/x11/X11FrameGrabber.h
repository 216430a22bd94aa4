#pragma once

#include "image/Image.h"
#include "platform/x11/X11Connection.h"

#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

namespace mirelo::x11 {

// Reads rectangles of the root window into frames: the server copies into one MIT-SHM segment
// reused for every read (plain GetImage where it offers no shared memory), and each frame is
// converted from there into memory of its own; the part outside the desktop and between
// monitors black, the pointer blended in from the XFixes cursor image. One thread only.
class FrameGrabber {
public:
    // Prepares reads of `source` (device pixels, root coordinates, any position) delivered at
    // `outputSize`. Check failure() afterwards.
    FrameGrabber(Connection& connection, const QRect& source, const QSize& outputSize,
                 bool showsCursor);
    ~FrameGrabber();
    FrameGrabber(const FrameGrabber&) = delete;
    FrameGrabber& operator=(const FrameGrabber&) = delete;

    // Why the grabber cannot read (set at construction or by a failed grab), else nothing.
    const std::optional<QString>& failure() const { return m_failure; }
    bool usesSharedMemory() const { return m_segment != 0; }

    // Re-reads the desktop's size and monitors (after a change of the screen layout).
    void updateLayout();
    // True while RandR lists a monitor with this id (always true for id 0, the root fallback).
    bool hasMonitor(uint32_t id) const;

    // One frame, or a null Image with failure() set.
    Image grab();

private:
    // Black where the frame shows nothing of the desktop; the pointer; the delivery size.
    Image finish(QImage surface, const QRect& clip, const void* cursorReply) const;
    bool attachSegment(size_t bytes);
    void detachSegment();
    void blendCursor(uint8_t* frame, int stride, const void* cursorReply) const;

    Connection& m_connection;
    QRect m_source;
    QSize m_outputSize;
    bool m_showsCursor = false;
    std::optional<QString> m_failure;

    QRect m_root;
    QRegion m_blackArea;  // parts of m_source no monitor shows, in source coordinates
    std::vector<Monitor> m_monitors;

    uint32_t m_segment = 0;  // xcb shm segment id; 0 when reading without shared memory
    int m_shmId = -1;
    uint8_t* m_shmData = nullptr;
};

}  // namespace mirelo::x11
