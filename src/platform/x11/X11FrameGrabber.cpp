#include "platform/x11/X11FrameGrabber.h"

#include "image/ImageServices.h"

#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels refuse it and fault lazily
#endif

#include <cstring>
#include <utility>

namespace mirelo::x11 {

namespace {

const QString kReadFailed = QStringLiteral("读取屏幕画面失败。");
const QString kConnectionLost = QStringLiteral("与 X 显示服务器的连接已断开。");

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

// One row of X pixels (B, G, R, X) to the standard layout (R, G, B, 255). The frames are
// written once and read much later, so where the target allows, the stores bypass the cache:
// that halves the memory traffic of a full-screen frame.
inline uint32_t convertPixel(uint32_t x) {
    return 0xff000000u | ((x & 0xffu) << 16) | (x & 0xff00u) | ((x >> 16) & 0xffu);
}

void convertRow(const uint32_t* in, uint8_t* out, int count) {
    auto* words = reinterpret_cast<uint32_t*>(out);
    int i = 0;
#ifdef __SSE2__
    while (i < count && (reinterpret_cast<uintptr_t>(words + i) & 15u) != 0) {
        words[i] = convertPixel(in[i]);
        ++i;
    }
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xff000000u));
    const __m128i low = _mm_set1_epi32(0xff);
    const __m128i middle = _mm_set1_epi32(0xff00);
    for (; i + 4 <= count; i += 4) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i red = _mm_and_si128(_mm_srli_epi32(x, 16), low);
        const __m128i blue = _mm_slli_epi32(_mm_and_si128(x, low), 16);
        const __m128i green = _mm_and_si128(x, middle);
        const __m128i y = _mm_or_si128(_mm_or_si128(red, blue), _mm_or_si128(green, alpha));
        _mm_stream_si128(reinterpret_cast<__m128i*>(words + i), y);
    }
#endif
    for (; i < count; ++i) {
        words[i] = convertPixel(in[i]);
    }
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
                           bool showsCursor)
    : m_connection(connection),
      m_source(source),
      m_outputSize(outputSize),
      m_showsCursor(showsCursor) {
    if (!m_connection.ok()) {
        m_failure = QStringLiteral("无法连接到 X 显示服务器。");
        return;
    }
    if (source.isEmpty() || outputSize.isEmpty() ||
        static_cast<qint64>(source.width()) * source.height() > ImageServices::kMaxSurfacePixels ||
        static_cast<qint64>(outputSize.width()) * outputSize.height() >
            ImageServices::kMaxSurfacePixels) {
        m_failure = kReadFailed;
        return;
    }
    xcb_connection_t* c = m_connection.get();
    if (!hasStandardPixelLayout(c, m_connection.screen())) {
        m_failure = QStringLiteral("不支持的屏幕像素格式。");
        return;
    }
    if (m_showsCursor) {
        const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
        Reply<xcb_xfixes_query_version_reply_t> version;
        if (xfixes != nullptr && xfixes->present) {
            version.reset(
                xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
        }
        // Without XFixes the frames are still good, only the pointer is missing.
        m_showsCursor = version && version->major_version >= 1;
    }
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (shm != nullptr && shm->present) {
        attachSegment(static_cast<size_t>(source.width()) * source.height() * 4);
    }
    updateLayout();
}

FrameGrabber::~FrameGrabber() {
    detachSegment();
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
    m_segment = segment;
    m_shmId = id;
    m_shmData = static_cast<uint8_t*>(data);
    return true;
}

void FrameGrabber::detachSegment() {
    if (m_segment != 0) {
        if (m_connection.ok()) {
            xcb_shm_detach(m_connection.get(), m_segment);
            xcb_flush(m_connection.get());
        }
        m_segment = 0;
    }
    if (m_shmData != nullptr) {
        shmdt(m_shmData);
        m_shmData = nullptr;
    }
    m_shmId = -1;
}

void FrameGrabber::updateLayout() {
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

Image FrameGrabber::grab() {
    if (m_failure) {
        return {};
    }
    xcb_connection_t* c = m_connection.get();
    QImage surface = allocateFrame(m_source.size());
    if (surface.isNull()) {
        m_failure = kReadFailed;
        return {};
    }
    uint8_t* frame = surface.bits();
    const int stride = static_cast<int>(surface.bytesPerLine());
    const QRect clip = m_source & m_root;

    // Both requests go out before either reply is awaited: one round trip per frame.
    xcb_shm_get_image_cookie_t shmCookie{};
    xcb_get_image_cookie_t plainCookie{};
    if (!clip.isEmpty()) {
        if (m_segment != 0) {
            shmCookie = xcb_shm_get_image_unchecked(
                c, m_connection.root(), static_cast<int16_t>(clip.x()),
                static_cast<int16_t>(clip.y()), static_cast<uint16_t>(clip.width()),
                static_cast<uint16_t>(clip.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment, 0);
        } else {
            plainCookie = xcb_get_image_unchecked(
                c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_connection.root(), static_cast<int16_t>(clip.x()),
                static_cast<int16_t>(clip.y()), static_cast<uint16_t>(clip.width()),
                static_cast<uint16_t>(clip.height()), ~0u);
        }
    }
    xcb_xfixes_get_cursor_image_cookie_t cursorCookie{};
    if (m_showsCursor) {
        cursorCookie = xcb_xfixes_get_cursor_image_unchecked(c);
    }

    bool ok = true;
    if (!clip.isEmpty()) {
        const uint32_t* pixels = nullptr;
        Reply<xcb_shm_get_image_reply_t> shmReply;
        Reply<xcb_get_image_reply_t> plainReply;
        if (m_segment != 0) {
            shmReply.reset(xcb_shm_get_image_reply(c, shmCookie, nullptr));
            pixels = shmReply ? reinterpret_cast<const uint32_t*>(m_shmData) : nullptr;
        } else {
            plainReply.reset(xcb_get_image_reply(c, plainCookie, nullptr));
            if (plainReply &&
                xcb_get_image_data_length(plainReply.get()) >= clip.width() * clip.height() * 4) {
                pixels = reinterpret_cast<const uint32_t*>(xcb_get_image_data(plainReply.get()));
            }
        }
        if (pixels == nullptr) {
            ok = false;
        } else {
            const QPoint offset = clip.topLeft() - m_source.topLeft();
            for (int y = 0; y < clip.height(); ++y) {
                convertRow(pixels + static_cast<qsizetype>(y) * clip.width(),
                           frame + static_cast<qsizetype>(y + offset.y()) * stride + offset.x() * 4,
                           clip.width());
            }
#ifdef __SSE2__
            _mm_sfence();  // the streamed stores are complete before anything reads the frame
#endif
        }
    }
    Reply<xcb_xfixes_get_cursor_image_reply_t> cursor;
    if (m_showsCursor) {
        cursor.reset(xcb_xfixes_get_cursor_image_reply(c, cursorCookie, nullptr));
    }
    if (!ok) {
        m_failure = xcb_connection_has_error(c) ? kConnectionLost : kReadFailed;
        return {};
    }
    return finish(std::move(surface), clip, cursor.get());
}

Image FrameGrabber::finish(QImage surface, const QRect& clip, const void* cursorReply) const {
    uint8_t* frame = surface.bits();
    const int stride = static_cast<int>(surface.bytesPerLine());
    const QRect whole(QPoint(0, 0), m_source.size());
    const QRegion outside = QRegion(whole) - QRegion(clip.translated(-m_source.topLeft()));
    for (const QRect& rect : outside) {
        fillBlack(frame, stride, rect);
    }
    for (const QRect& rect : m_blackArea) {
        fillBlack(frame, stride, rect);
    }
    if (cursorReply != nullptr) {
        blendCursor(frame, stride, cursorReply);
    }
    if (m_outputSize != m_source.size()) {
        surface = surface.scaled(m_outputSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return Image::fromQImage(surface);
}

void FrameGrabber::blendCursor(uint8_t* frame, int stride, const void* cursorReply) const {
    const auto* reply = static_cast<const xcb_xfixes_get_cursor_image_reply_t*>(cursorReply);
    const int width = reply->width;
    const int height = reply->height;
    if (xcb_xfixes_get_cursor_image_cursor_image_length(reply) < width * height) {
        return;
    }
    // The XFixes image: 32-bit words 0xAARRGGBB, colours premultiplied by alpha.
    const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply);
    const QRect placed(reply->x - reply->xhot - m_source.x(), reply->y - reply->yhot - m_source.y(),
                       width, height);
    const QRect visible = placed & QRect(QPoint(0, 0), m_source.size());
    for (int y = visible.top(); y <= visible.bottom(); ++y) {
        const uint32_t* in = pixels + static_cast<qsizetype>(y - placed.y()) * width;
        uint8_t* out = frame + static_cast<qsizetype>(y) * stride;
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
