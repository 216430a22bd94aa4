#include "platform/x11/X11FrameGrabber.h"

#include "image/ImageServices.h"
#include "image/PixelLayout.h"

#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <unistd.h>
#include <QCoreApplication>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels refuse it and fault lazily
#endif

#include <algorithm>
#include <cstring>
#include <utility>

namespace mirelo::x11 {

namespace {

QString readFailedText() {
    return QCoreApplication::translate("mirelo::X11FrameGrabber", "读取屏幕画面失败。");
}
QString connectionLostText() {
    return QCoreApplication::translate("mirelo::X11FrameGrabber", "与 X 显示服务器的连接已断开。");
}

// True when root pixels are 32-bit little-endian words 0x00RRGGBB (bytes B, G, R, X).
bool hasStandardPixelLayout(xcb_connection_t* connection, const xcb_screen_t* screen) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        return false;
    }
    if (screen->root_depth != 24 && screen->root_depth != 32) {
        return false;
    }
    bool bpp32 = false;
    for (xcb_format_iterator_t it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0;
         xcb_format_next(&it)) {
        if (it.data->depth == screen->root_depth) {
            bpp32 = it.data->bits_per_pixel == 32;
        }
    }
    if (!bpp32) {
        return false;
    }
    for (xcb_depth_iterator_t depth = xcb_screen_allowed_depths_iterator(screen); depth.rem > 0;
         xcb_depth_next(&depth)) {
        for (xcb_visualtype_iterator_t visual = xcb_depth_visuals_iterator(depth.data);
             visual.rem > 0; xcb_visualtype_next(&visual)) {
            if (visual.data->visual_id == screen->root_visual) {
                return visual.data->red_mask == 0xff0000 && visual.data->green_mask == 0xff00 &&
                       visual.data->blue_mask == 0xff;
            }
        }
    }
    return false;
}

// A frame surface in memory of its own: mapped whole and populated in one call (with huge
// pages where the system offers them) rather than page by page as the conversion first
// touches it. Page faults otherwise cost more than the conversion itself.
QImage allocateFrame(const QSize& size) {
    const size_t stride = static_cast<size_t>(size.width()) * 4;
    const size_t bytes = stride * static_cast<size_t>(size.height());
    constexpr size_t kHugePage = size_t{2} << 20;
    if (bytes < 2 * kHugePage) {
        return QImage(size, kStandardFormat);
    }
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t length = (bytes + page - 1) / page * page;
    // Over-allocate by one huge page to start on a huge-page boundary, then trim.
    void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        return QImage(size, kStandardFormat);
    }
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) {
        munmap(raw, aligned - start);
    }
    const uintptr_t end = start + length + kHugePage;
    if (end > aligned + length) {
        munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
    }
    auto* data = reinterpret_cast<uchar*>(aligned);
    madvise(data, length, MADV_HUGEPAGE);
    madvise(data, length, MADV_POPULATE_WRITE);  // best effort: older kernels fault lazily
    auto* mapping = new std::pair<void*, size_t>(data, length);
    QImage image(
        data, size.width(), size.height(), static_cast<qsizetype>(stride), kStandardFormat,
        [](void* info) {
            auto* region = static_cast<std::pair<void*, size_t>*>(info);
            munmap(region->first, region->second);
            delete region;
        },
        mapping);
    if (image.isNull()) {
        munmap(data, length);
        delete mapping;
    }
    return image;
}

void fillBlack(uint8_t* frame, int stride, const QRect& rect) {
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        auto* words =
            reinterpret_cast<uint32_t*>(frame + static_cast<qsizetype>(y) * stride) + rect.left();
        for (int x = 0; x < rect.width(); ++x) {
            words[x] = 0xff000000u;  // bytes 0, 0, 0, 255
        }
    }
}

}  // namespace

FrameGrabber::FrameGrabber(Connection& connection, const QRect& source, const QSize& outputSize,
                           bool showsCursor, int slotCount, xcb_window_t window)
    : m_connection(connection),
      m_source(source),
      m_outputSize(outputSize),
      m_showsCursor(showsCursor),
      m_slots(std::max(1, slotCount)),
      m_window(window),
      m_origin(source.topLeft()) {
    if (!m_connection.ok()) {
        m_failure =
            QCoreApplication::translate("mirelo::X11FrameGrabber", "无法连接到 X 显示服务器。");
        return;
    }
    if (source.isEmpty() || outputSize.isEmpty() ||
        static_cast<qint64>(source.width()) * source.height() > ImageServices::kMaxSurfacePixels ||
        static_cast<qint64>(outputSize.width()) * outputSize.height() >
            ImageServices::kMaxSurfacePixels) {
        m_failure = readFailedText();
        return;
    }
    xcb_connection_t* c = m_connection.get();
    if (!hasStandardPixelLayout(c, m_connection.screen())) {
        m_failure =
            QCoreApplication::translate("mirelo::X11FrameGrabber", "不支持的屏幕像素格式。");
        return;
    }
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    Reply<xcb_xfixes_query_version_reply_t> version;
    if (xfixes != nullptr && xfixes->present) {
        version.reset(
            xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    }
    // Without XFixes the frames are still good, only the pointer is missing.
    m_showsCursor = m_showsCursor && version && version->major_version >= 1;
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (damage != nullptr && damage->present && version && version->major_version >= 2) {
        Reply<xcb_damage_query_version_reply_t> damageVersion(
            xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
        if (damageVersion && damageVersion->major_version >= 1) {
            // Reports only that something was drawn; the region is fetched at each read.
            m_damage = xcb_generate_id(c);
            m_damageRegion = xcb_generate_id(c);
            xcb_xfixes_create_region(c, m_damageRegion, 0, nullptr);
            xcb_damage_create(c, m_damage, m_window != XCB_NONE ? m_window : m_connection.root(),
                              XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        }
    }
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (shm != nullptr && shm->present) {
        // More segments are attached when reads outpace conversion, up to the slot count.
        m_sharedMemory = attachSegment(static_cast<size_t>(source.width()) * source.height() * 4);
    }
    updateLayout();
}

FrameGrabber::~FrameGrabber() {
    m_last.reset();
    if (m_damage != 0 && m_connection.ok()) {
        xcb_damage_destroy(m_connection.get(), m_damage);
        xcb_xfixes_destroy_region(m_connection.get(), m_damageRegion);
    }
    detachSegments();
}

bool FrameGrabber::attachSegment(size_t bytes) {
    xcb_connection_t* c = m_connection.get();
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) {
        return false;
    }
    void* data = shmat(id, nullptr, 0);
    if (data == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    const uint32_t segment = xcb_generate_id(c);
    Reply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_shm_attach_checked(c, segment, static_cast<uint32_t>(id), 0)));
    // Marked for removal once both sides are attached: it cannot outlive the process.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        shmdt(data);
        return false;
    }
    std::lock_guard lock(m_segmentsMutex);
    m_segments.push_back(Segment{segment, static_cast<uint8_t*>(data), false});
    return true;
}

void FrameGrabber::detachSegments() {
    std::lock_guard lock(m_segmentsMutex);
    for (const Segment& segment : m_segments) {
        if (m_connection.ok()) {
            xcb_shm_detach(m_connection.get(), segment.id);
        }
        shmdt(segment.data);
    }
    if (m_connection.ok()) {
        xcb_flush(m_connection.get());
    }
    m_segments.clear();
}

void FrameGrabber::setDrawable(xcb_drawable_t drawable, const QSize& size) {
    m_drawable = drawable;
    m_drawableSize = size;
    updateLayout();
}

void FrameGrabber::updateLayout() {
    if (m_window != XCB_NONE) {
        // Whatever of the source the window does not cover (it shrank) is black.
        m_root = m_drawable != XCB_NONE ? QRect(QPoint(0, 0), m_drawableSize) : QRect();
        m_monitors.clear();
        m_blackArea = QRegion();
        return;
    }
    m_root = m_connection.rootGeometry();
    m_monitors = m_connection.monitors();
    QRegion shown;
    for (const Monitor& monitor : m_monitors) {
        shown += monitor.frame;
    }
    m_blackArea = (QRegion(m_source) - (shown & m_root)).translated(-m_source.topLeft());
}

bool FrameGrabber::hasMonitor(uint32_t id) const {
    if (id == 0) {
        return true;
    }
    for (const Monitor& monitor : m_monitors) {
        if (monitor.id == id) {
            return true;
        }
    }
    return false;
}

FrameGrabber::ReadStatus FrameGrabber::read(RawFrame& frame) {
    if (m_failure) {
        return ReadStatus::failed;
    }
    xcb_connection_t* c = m_connection.get();
    frame = RawFrame();
    frame.clip = m_source & m_root;
    frame.blackArea = m_blackArea;
    frame.origin = m_origin;
    const xcb_drawable_t drawable = m_window != XCB_NONE ? m_drawable : m_connection.root();

    // A free slot: a segment no conversion is using, or a new one while there are fewer than
    // the slot count.
    const size_t bytes = static_cast<size_t>(m_source.width()) * m_source.height() * 4;
    if (m_sharedMemory) {
        {
            std::lock_guard lock(m_segmentsMutex);
            for (size_t i = 0; i < m_segments.size(); ++i) {
                if (!m_segments[i].busy) {
                    frame.slot = static_cast<int>(i);
                    break;
                }
            }
        }
        if (frame.slot < 0) {
            // One more than the reads in flight: the last read stays while the next is compared.
            if (static_cast<int>(m_segments.size()) > m_slots || !attachSegment(bytes)) {
                return ReadStatus::busy;
            }
            frame.slot = static_cast<int>(m_segments.size()) - 1;
        }
    } else {
        std::lock_guard lock(m_segmentsMutex);
        if (m_plainInFlight > m_slots) {
            return ReadStatus::busy;
        }
    }

    // Every request goes out before any reply is awaited: one round trip per frame. The damage
    // is taken before the image is read, so whatever is drawn in between shows in this image
    // and is reported again with the next read.
    const QRect& clip = frame.clip;
    xcb_xfixes_fetch_region_cookie_t damageCookie{};
    if (m_damage != 0) {
        xcb_damage_subtract(c, m_damage, XCB_NONE, m_damageRegion);
        damageCookie = xcb_xfixes_fetch_region_unchecked(c, m_damageRegion);
    }
    xcb_shm_get_image_cookie_t shmCookie{};
    xcb_get_image_cookie_t plainCookie{};
    if (!clip.isEmpty()) {
        if (frame.slot >= 0) {
            shmCookie = xcb_shm_get_image_unchecked(
                c, drawable, static_cast<int16_t>(clip.x()), static_cast<int16_t>(clip.y()),
                static_cast<uint16_t>(clip.width()), static_cast<uint16_t>(clip.height()), ~0u,
                XCB_IMAGE_FORMAT_Z_PIXMAP, m_segments[static_cast<size_t>(frame.slot)].id, 0);
        } else {
            plainCookie = xcb_get_image_unchecked(
                c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<int16_t>(clip.x()),
                static_cast<int16_t>(clip.y()), static_cast<uint16_t>(clip.width()),
                static_cast<uint16_t>(clip.height()), ~0u);
        }
    }
    xcb_xfixes_get_cursor_image_cookie_t cursorCookie{};
    if (m_showsCursor) {
        cursorCookie = xcb_xfixes_get_cursor_image_unchecked(c);
    }
    if (m_damage != 0) {
        Reply<xcb_xfixes_fetch_region_reply_t> region(
            xcb_xfixes_fetch_region_reply(c, damageCookie, nullptr));
        if (region) {
            const xcb_rectangle_t* rects = xcb_xfixes_fetch_region_rectangles(region.get());
            const int count = xcb_xfixes_fetch_region_rectangles_length(region.get());
            QRegion damaged;
            for (int i = 0; i < count; ++i) {
                damaged += QRect(rects[i].x - m_source.x(), rects[i].y - m_source.y(),
                                 rects[i].width, rects[i].height);
            }
            frame.damage = damaged;
        }
    }
    bool ok = true;
    if (!clip.isEmpty()) {
        if (frame.slot >= 0) {
            Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, shmCookie, nullptr));
            ok = reply != nullptr;
        } else {
            frame.plain.reset(xcb_get_image_reply(c, plainCookie, nullptr));
            ok = frame.plain != nullptr &&
                 xcb_get_image_data_length(frame.plain.get()) >= clip.width() * clip.height() * 4;
        }
    }
    if (m_showsCursor) {
        frame.cursor.reset(xcb_xfixes_get_cursor_image_reply(c, cursorCookie, nullptr));
    }
    if (!ok) {
        m_failure = xcb_connection_has_error(c) ? connectionLostText() : readFailedText();
        frame = RawFrame();
        return ReadStatus::failed;
    }
    std::lock_guard lock(m_segmentsMutex);
    if (frame.slot >= 0) {
        m_segments[static_cast<size_t>(frame.slot)].busy = true;
    } else {
        ++m_plainInFlight;
    }
    return ReadStatus::ok;
}

const uint32_t* FrameGrabber::pixelsOf(const RawFrame& raw) {
    if (raw.slot >= 0) {
        std::lock_guard lock(m_segmentsMutex);
        return reinterpret_cast<const uint32_t*>(m_segments[static_cast<size_t>(raw.slot)].data);
    }
    if (raw.plain) {
        return reinterpret_cast<const uint32_t*>(xcb_get_image_data(raw.plain.get()));
    }
    return nullptr;
}

void FrameGrabber::release(RawFrame& raw) {
    {
        std::lock_guard lock(m_segmentsMutex);
        if (raw.slot >= 0) {
            m_segments[static_cast<size_t>(raw.slot)].busy = false;
        } else {
            --m_plainInFlight;
        }
    }
    raw = RawFrame();
}

Image FrameGrabber::convert(RawFrame&& raw) {
    const uint32_t* pixels = pixelsOf(raw);
    if (pixels != nullptr && raw.clip == m_source && raw.blackArea.isEmpty() &&
        m_outputSize == m_source.size()) {
        return convertToBands(std::move(raw), pixels);
    }
    if (m_last) {
        release(m_last->raw);  // the layout changed: no band is shared across it
        m_last.reset();
    }
    m_bands.reset();
    return convertToSurface(std::move(raw), pixels);
}

Image FrameGrabber::convertToBands(RawFrame&& raw, const uint32_t* pixels) {
    const int width = m_source.width();
    const QRect cursor = raw.cursor ? cursorArea(raw.origin, raw.cursor.get()) : QRect();
    const uint32_t serial = raw.cursor ? raw.cursor->cursor_serial : 0;
    const uint32_t* lastPixels = m_last ? pixelsOf(m_last->raw) : nullptr;
    // A band under the pointer now or in the last frame can be shared only when the same
    // pointer image sits at the same place.
    const bool samePointer = m_last && m_last->cursorArea == cursor &&
                             (cursor.isEmpty() || m_last->cursorSerial == serial);
    if (lastPixels == nullptr) {
        m_bands.reset();
    }
    m_bands.begin(m_source.size(), raw.damage);
    const auto rowOf = [width](const uint32_t* first) {
        return [first, width](int y) {
            return first + static_cast<size_t>(y) * static_cast<size_t>(width);
        };
    };
    for (int b = 0; b < m_bands.count(); ++b) {
        const QRect area = m_bands.area(b);
        const bool pointerHere =
            cursor.intersects(area) || (m_last && m_last->cursorArea.intersects(area));
        if (lastPixels != nullptr && (samePointer || !pointerHere) &&
            m_bands.firstChangedRow(b, rowOf(pixels), rowOf(lastPixels)) > area.bottom()) {
            m_bands.share(b);
            continue;
        }
        QImage* band = m_bands.write(b);
        if (band == nullptr) {
            break;
        }
        uint8_t* out = band->bits();
        const int stride = static_cast<int>(band->bytesPerLine());
        for (int y = 0; y < area.height(); ++y) {
            PixelLayout::bgrxToStandard(rowOf(pixels)(area.top() + y),
                                        out + static_cast<qsizetype>(y) * stride, width);
        }
        if (cursor.intersects(area)) {
            blendCursor(out, stride, area, raw.origin, raw.cursor.get());
        }
    }
    Image frame = m_bands.finish();
    if (m_last) {
        release(m_last->raw);
        m_last.reset();
    }
    if (frame.isNull()) {
        // The damage of this read is lost with it: the next frame compares every band.
        release(raw);
        return {};
    }
    raw.cursor.reset();
    m_last = LastFrame{std::move(raw), cursor, serial};
    return frame;
}

Image FrameGrabber::convertToSurface(RawFrame&& raw, const uint32_t* pixels) {
    QImage surface = allocateFrame(m_source.size());
    if (!surface.isNull()) {
        uint8_t* frame = surface.bits();
        const int stride = static_cast<int>(surface.bytesPerLine());
        const QRect& clip = raw.clip;
        if (pixels != nullptr && !clip.isEmpty()) {
            // The frame is read much later: its stores bypass the cache.
            const QPoint offset = clip.topLeft() - m_source.topLeft();
            for (int y = 0; y < clip.height(); ++y) {
                PixelLayout::bgrxToStandard(
                    pixels + static_cast<qsizetype>(y) * clip.width(),
                    frame + static_cast<qsizetype>(y + offset.y()) * stride + offset.x() * 4,
                    clip.width(), PixelLayout::Stores::streaming);
            }
        }
        const QRect whole(QPoint(0, 0), m_source.size());
        const QRegion outside = QRegion(whole) - QRegion(clip.translated(-m_source.topLeft()));
        for (const QRect& rect : outside) {
            fillBlack(frame, stride, rect);
        }
        for (const QRect& rect : raw.blackArea) {
            fillBlack(frame, stride, rect);
        }
        if (raw.cursor) {
            blendCursor(frame, stride, whole, raw.origin, raw.cursor.get());
        }
    }
    // The slot is free again whatever became of the frame.
    release(raw);
    if (surface.isNull()) {
        return {};
    }
    if (m_outputSize != m_source.size()) {
        surface = surface.scaled(m_outputSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return Image::fromQImage(surface);
}

Image FrameGrabber::grab() {
    RawFrame raw;
    if (read(raw) != ReadStatus::ok) {
        return {};
    }
    Image image = convert(std::move(raw));
    if (image.isNull() && !m_failure) {
        m_failure = readFailedText();
    }
    return image;
}

QRect FrameGrabber::cursorArea(const QPoint& origin,
                               const xcb_xfixes_get_cursor_image_reply_t* reply) const {
    const QRect placed(reply->x - reply->xhot - origin.x(), reply->y - reply->yhot - origin.y(),
                       reply->width, reply->height);
    return placed & QRect(QPoint(0, 0), m_source.size());
}

void FrameGrabber::blendCursor(uint8_t* rows, int stride, const QRect& area, const QPoint& origin,
                               const xcb_xfixes_get_cursor_image_reply_t* reply) const {
    const int width = reply->width;
    const int height = reply->height;
    if (xcb_xfixes_get_cursor_image_cursor_image_length(reply) < width * height) {
        return;
    }
    // The XFixes image: 32-bit words 0xAARRGGBB, colours premultiplied by alpha.
    const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply);
    const QRect placed(reply->x - reply->xhot - origin.x(), reply->y - reply->yhot - origin.y(),
                       width, height);
    const QRect visible = placed & area;
    for (int y = visible.top(); y <= visible.bottom(); ++y) {
        const uint32_t* in = pixels + static_cast<qsizetype>(y - placed.y()) * width;
        uint8_t* out = rows + static_cast<qsizetype>(y - area.top()) * stride;
        for (int x = visible.left(); x <= visible.right(); ++x) {
            const uint32_t s = in[x - placed.x()];
            const uint32_t a = s >> 24;
            if (a == 0) {
                continue;
            }
            uint8_t* d = out + x * 4;
            const uint32_t keep = 255 - a;
            const uint32_t sr = (s >> 16) & 0xff;
            const uint32_t sg = (s >> 8) & 0xff;
            const uint32_t sb = s & 0xff;
            d[0] = static_cast<uint8_t>(std::min<uint32_t>(255, sr + (d[0] * keep + 127) / 255));
            d[1] = static_cast<uint8_t>(std::min<uint32_t>(255, sg + (d[1] * keep + 127) / 255));
            d[2] = static_cast<uint8_t>(std::min<uint32_t>(255, sb + (d[2] * keep + 127) / 255));
            d[3] = static_cast<uint8_t>(std::min<uint32_t>(255, a + (d[3] * keep + 127) / 255));
        }
    }
}

}  // namespace mirelo::x11
