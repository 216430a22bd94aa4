#include "platform/wayland/PipeWireStream.h"

#include "capture/CaptureGeometry.h"
#include "image/ImageServices.h"
#include "image/PixelLayout.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>

#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace mirelo::wayland {

namespace {

QString cannotConnectText() {
    return QCoreApplication::translate("mirelo::PipeWireStream",
                                       "无法连接到 PipeWire(屏幕共享的画面服务)。");
}
QString cannotStreamText() {
    return QCoreApplication::translate("mirelo::PipeWireStream",
                                       "无法打开屏幕共享的 PipeWire 画面流。");
}
QString sourceGoneText() {
    return QCoreApplication::translate("mirelo::PipeWireStream",
                                       "屏幕共享已结束:门户后端、合成器或 PipeWire 已退出。");
}
QString pipeWireGoneText() {
    return QCoreApplication::translate("mirelo::PipeWireStream", "与 PipeWire 的连接已断开。");
}
QString noMemoryText() {
    return QCoreApplication::translate("mirelo::PipeWireStream", "读取屏幕画面失败。");
}

// Damage regions a buffer may carry.
constexpr int kDamageRegions = 16;

void initPipeWireOnce() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

}  // namespace

struct PipeWireStream::Listeners {
    spa_hook core{};
    spa_hook stream{};
    pw_core_events coreEvents{};
    pw_stream_events streamEvents{};
};

PipeWireStream::PipeWireStream(int fd, uint32_t nodeId, const QRect& source,
                               std::optional<QRect> streamArea, int fps, PointerMode pointer)
    : m_fd(fd),
      m_nodeId(nodeId),
      m_source(source),
      m_streamArea(streamArea),
      m_fps(std::max(1, fps)),
      m_pointerMode(pointer) {}

PipeWireStream::~PipeWireStream() {
    if (m_loop != nullptr) {
        pw_thread_loop_lock(m_loop);
        m_stopping = true;
        if (m_stream != nullptr) {
            pw_stream_disconnect(m_stream);
            pw_stream_destroy(m_stream);
        }
        if (m_core != nullptr) {
            pw_core_disconnect(m_core);
        }
        pw_thread_loop_unlock(m_loop);
        pw_thread_loop_stop(m_loop);
    }
    if (m_context != nullptr) {
        pw_context_destroy(m_context);
    }
    if (m_loop != nullptr) {
        pw_thread_loop_destroy(m_loop);
    }
    if (m_core == nullptr && m_fd >= 0) {
        close(m_fd);  // never handed to PipeWire
    }
    delete m_listeners;
}

std::optional<QString> PipeWireStream::start() {
    initPipeWireOnce();
    m_listeners = new Listeners();
    m_loop = pw_thread_loop_new("mirelo-capture", nullptr);
    if (m_loop == nullptr) {
        return cannotConnectText();
    }
    m_context = pw_context_new(pw_thread_loop_get_loop(m_loop), nullptr, 0);
    if (m_context == nullptr || pw_thread_loop_start(m_loop) < 0) {
        return cannotConnectText();
    }
    pw_thread_loop_lock(m_loop);
    m_core = pw_context_connect_fd(m_context, m_fd, nullptr, 0);
    if (m_core == nullptr) {
        pw_thread_loop_unlock(m_loop);
        m_fd = -1;  // closed by the failed connection
        return cannotConnectText();
    }
    m_listeners->coreEvents.version = PW_VERSION_CORE_EVENTS;
    m_listeners->coreEvents.error = [](void* self, uint32_t id, int seq, int res,
                                       const char* message) {
        (void)seq;
        static_cast<PipeWireStream*>(self)->onCoreError(id, res, message);
    };
    pw_core_add_listener(m_core, &m_listeners->core, &m_listeners->coreEvents, this);

    m_stream = pw_stream_new(m_core, "mirelo",
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                               "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (m_stream == nullptr) {
        pw_thread_loop_unlock(m_loop);
        return cannotStreamText();
    }
    m_listeners->streamEvents.version = PW_VERSION_STREAM_EVENTS;
    m_listeners->streamEvents.state_changed = [](void* self, pw_stream_state, pw_stream_state state,
                                                 const char* error) {
        static_cast<PipeWireStream*>(self)->onStateChanged(state, error);
    };
    m_listeners->streamEvents.param_changed = [](void* self, uint32_t id, const spa_pod* param) {
        static_cast<PipeWireStream*>(self)->onParamChanged(id, param);
    };
    m_listeners->streamEvents.process = [](void* self) {
        static_cast<PipeWireStream*>(self)->onProcess();
    };
    pw_stream_add_listener(m_stream, &m_listeners->stream, &m_listeners->streamEvents, this);

    // Raw pictures in a 32-bit layout, any size, at no more than the frame rate: a range of
    // exactly the rate, since a wide one gets the output's refresh rate.
    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_rectangle sizeDefault{1280, 720};
    spa_rectangle sizeMin{1, 1};
    spa_rectangle sizeMax{16384, 16384};
    spa_fraction rateNone{0, 1};
    spa_fraction rateDefault{static_cast<uint32_t>(m_fps), 1};
    spa_fraction rateMin{1, 1};
    spa_pod_frame frame;
    spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_add(
        &builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&sizeDefault, &sizeMin, &sizeMax),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rateNone), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&rateDefault, &rateMin, &rateDefault), 0);
    const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame))};

    const int result = pw_stream_connect(
        m_stream, PW_DIRECTION_INPUT, m_nodeId,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
        params, 1);
    pw_thread_loop_unlock(m_loop);
    if (result < 0) {
        return cannotStreamText();
    }
    return std::nullopt;
}

void PipeWireStream::onCoreError(uint32_t id, int res, const char* message) {
    (void)message;
    if (id == PW_ID_CORE && !m_stopping) {
        fail(res == -EPIPE ? pipeWireGoneText() : cannotStreamText());
    }
}

void PipeWireStream::onStateChanged(int state, const char* error) {
    if (m_stopping) {
        return;
    }
    switch (state) {
        case PW_STREAM_STATE_STREAMING:
            m_streaming = true;
            {
                std::lock_guard lock(m_mutex);
                m_running = true;
            }
            m_changed.notify_all();
            break;
        case PW_STREAM_STATE_ERROR:
            fail(error != nullptr && *error != '\0'
                     ? QCoreApplication::translate("mirelo::PipeWireStream",
                                                   "屏幕共享的画面流出错:%1")
                           .arg(QString::fromUtf8(error))
                     : cannotStreamText());
            break;
        case PW_STREAM_STATE_PAUSED:
        case PW_STREAM_STATE_UNCONNECTED:
            // The producer went away: a stream that ran does not pause by itself.
            if (m_streaming) {
                fail(sourceGoneText());
            }
            break;
        default:
            break;
    }
}

void PipeWireStream::onParamChanged(uint32_t id, const void* param) {
    const auto* pod = static_cast<const spa_pod*>(param);
    if (pod == nullptr || id != SPA_PARAM_Format) {
        return;
    }
    uint32_t mediaType = 0;
    uint32_t mediaSubtype = 0;
    if (spa_format_parse(pod, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw) {
        return;
    }
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(pod, &info) < 0) {
        return;
    }
    m_videoSize = QSize(static_cast<int>(info.size.width), static_cast<int>(info.size.height));
    m_swapRedBlue = info.format == SPA_VIDEO_FORMAT_RGBx || info.format == SPA_VIDEO_FORMAT_RGBA;
    // The source in the stream's pixels: the stream may be scaled against the compositor's
    // coordinates (a monitor with a scale factor, maybe a fractional one), and its real
    // pixel size is the buffer's, whatever the portal said.
    const QRect area = m_streamArea.value_or(QRect(QPoint(0, 0), m_videoSize));
    m_crop = CaptureGeometry::pixelsOfRegion(QRectF(m_source), QRectF(area), m_videoSize);

    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_pod_frame frame;
    spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
    spa_pod_builder_add(&builder, SPA_PARAM_BUFFERS_dataType,
                        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr)),
                        0);
    const spa_pod* buffers = static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
    spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
    spa_pod_builder_add(&builder, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
                        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header)), 0);
    const spa_pod* meta = static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
    // What changed since the picture before, where the compositor says.
    spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
    spa_pod_builder_add(
        &builder, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage), SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(static_cast<int>(sizeof(spa_meta_region)) * kDamageRegions,
                                 static_cast<int>(sizeof(spa_meta_region)),
                                 static_cast<int>(sizeof(spa_meta_region)) * kDamageRegions),
        0);
    const spa_pod* damage = static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
    const spa_pod* params[4] = {buffers, meta, damage};
    uint32_t count = 3;
    if (m_pointerMode == PointerMode::reported || m_pointerMode == PointerMode::reportedAndDrawn) {
        // Where the pointer is, and its picture when it changes. Compositors fix the size
        // for the largest pointer they draw (with a scale factor, several hundred pixels
        // square): any up to kMaxPointerSide is taken.
        spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
        spa_pod_builder_add(
            &builder, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(static_cast<int>(cursorMetaSize(256)),
                                     static_cast<int>(cursorMetaSize(1)),
                                     static_cast<int>(cursorMetaSize(kMaxPointerSide))),
            0);
        params[count++] = static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
    }
    pw_stream_update_params(m_stream, params, count);
}

void PipeWireStream::onProcess() {
    // Only the newest picture counts: older ones go back at once (there are only a few). A
    // buffer without a picture (one that only moves the pointer) leaves the last one standing.
    pw_buffer* newest = nullptr;
    while (pw_buffer* next = pw_stream_dequeue_buffer(m_stream)) {
        collectDamage(next->buffer);
        collectPointer(next->buffer);
        if (!hasPicture(next->buffer)) {
            pw_stream_queue_buffer(m_stream, next);
            continue;
        }
        if (newest != nullptr) {
            pw_stream_queue_buffer(m_stream, newest);
        }
        newest = next;
    }
    if (newest == nullptr) {
        return;
    }
    spa_buffer* buffer = newest->buffer;
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
    const bool corrupted = header != nullptr && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED);
    if (!corrupted && buffer->n_datas > 0 && m_videoSize.isValid()) {
        const spa_data& data = buffer->datas[0];
        const spa_chunk* chunk = data.chunk;
        if (data.data != nullptr && chunk != nullptr && chunk->size > 0 &&
            (chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) == 0 && chunk->offset < data.maxsize) {
            const int stride = chunk->stride > 0 ? chunk->stride : m_videoSize.width() * 4;
            const uint32_t available = std::min(chunk->size, data.maxsize - chunk->offset);
            storePicture(static_cast<const uint8_t*>(data.data) + chunk->offset, stride, available);
        }
    }
    pw_stream_queue_buffer(m_stream, newest);
}

bool PipeWireStream::hasPicture(const spa_buffer* buffer) const {
    if (buffer->n_datas == 0 || buffer->datas[0].chunk == nullptr) {
        return false;
    }
    const spa_chunk* chunk = buffer->datas[0].chunk;
    return chunk->size > 0 && (chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) == 0;
}

void PipeWireStream::collectPointer(const spa_buffer* buffer) {
    if (m_pointerMode != PointerMode::reported && m_pointerMode != PointerMode::reportedAndDrawn) {
        return;
    }
    const spa_meta* meta = spa_buffer_find_meta(buffer, SPA_META_Cursor);
    if (meta == nullptr) {
        return;
    }
    const std::optional<StreamPointer> pointer =
        readCursorMeta(meta->data, meta->size, m_lastPointer);
    if (!pointer) {
        return;
    }
    m_lastPointer = *pointer;
    StreamPointer shown = *pointer;
    shown.position -= m_crop.topLeft();
    {
        std::lock_guard lock(m_mutex);
        m_pointer = std::move(shown);
        m_pointerChanged = true;
    }
}

void PipeWireStream::collectDamage(const spa_buffer* buffer) {
    auto* meta = spa_buffer_find_meta(buffer, SPA_META_VideoDamage);
    bool any = false;
    if (meta != nullptr && m_pointerMode != PointerMode::embedded) {
        const spa_meta_region* region = nullptr;
        spa_meta_for_each(region, meta) {
            if (!spa_meta_region_is_valid(region)) {
                break;
            }
            // Kept to sizes a picture can have, whatever the report says.
            constexpr int32_t kLimit = 1 << 20;
            m_damage +=
                QRect(std::clamp(region->region.position.x, -kLimit, kLimit),
                      std::clamp(region->region.position.y, -kLimit, kLimit),
                      static_cast<int>(std::min<uint32_t>(region->region.size.width, kLimit)),
                      static_cast<int>(std::min<uint32_t>(region->region.size.height, kLimit)));
            any = true;
        }
    }
    // No report, or an empty one, says nothing for sure.
    m_damageKnown = m_damageKnown && any;
}

// Reads the picture's rows where they lie in the shared buffer (no copy of the whole picture):
// each band of rows the damage does not leave out is compared with the last picture's, and only
// a changed band is kept and converted into a new band of the frame.
void PipeWireStream::storePicture(const uint8_t* data, int stride, uint32_t size) {
    const int width = m_crop.width();
    const int height = m_crop.height();
    const QSize pictureSize(width, height);
    const QRect inside = m_crop & QRect(QPoint(0, 0), m_videoSize);
    const int rowsAvailable = static_cast<int>(size / static_cast<uint32_t>(stride));
    const size_t rowWords = static_cast<size_t>(width);
    const bool comparable = m_lastSize == pictureSize;
    if (!comparable) {
        m_lastRows.assign(rowWords * static_cast<size_t>(height), 0u);
        m_bands.reset();
    }
    std::optional<QRegion> damage;
    if (m_damageKnown) {
        damage = m_damage.translated(-m_crop.topLeft());
    }
    m_bands.begin(pictureSize, std::move(damage));
    std::vector<uint32_t> scratch(rowWords);
    // Row y of the picture, B, G, R, x: in place when it lies wholly in the buffer in that
    // layout, else assembled in `scratch` (black outside the stream).
    auto row = [&](int y) -> const uint32_t* {
        const int sourceRow = m_crop.y() + y;
        const bool rowInside = !inside.isEmpty() && sourceRow >= inside.top() &&
                               sourceRow <= inside.bottom() && sourceRow < rowsAvailable;
        const auto* in =
            rowInside ? reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(sourceRow) *
                                                                     static_cast<size_t>(stride)) +
                            inside.left()
                      : nullptr;
        if (in != nullptr && inside.left() == m_crop.x() && inside.width() == width &&
            !m_swapRedBlue) {
            return in;
        }
        std::fill(scratch.begin(), scratch.end(), 0u);
        if (in != nullptr) {
            uint32_t* out = scratch.data() + (inside.left() - m_crop.x());
            for (int x = 0; x < inside.width(); ++x) {
                const uint32_t p = in[x];  // with swapped red and blue: bytes R, G, B, x
                out[x] = m_swapRedBlue
                             ? (p & 0xff00ff00u) | ((p & 0xffu) << 16) | ((p >> 16) & 0xffu)
                             : p;
            }
        }
        return scratch.data();
    };

    const auto lastRow = [&](int y) -> const uint32_t* {
        return m_lastRows.data() + static_cast<size_t>(y) * rowWords;
    };
    for (int b = 0; b < m_bands.count(); ++b) {
        const QRect area = m_bands.area(b);
        // Rows before the first that differs are as they were: only the rest is kept anew.
        const int firstChanged = m_bands.firstChangedRow(b, row, lastRow);
        if (firstChanged > area.bottom()) {
            m_bands.share(b);
            continue;
        }
        QImage* band = m_bands.write(b);
        if (band == nullptr) {
            break;
        }
        const int bandStride = static_cast<int>(band->bytesPerLine());
        for (int y = 0; y < area.height(); ++y) {
            uint32_t* last = m_lastRows.data() + static_cast<size_t>(area.top() + y) * rowWords;
            if (area.top() + y >= firstChanged) {
                std::memcpy(last, row(area.top() + y), rowWords * 4);
            }
            PixelLayout::bgrxToStandard(last, band->bits() + static_cast<qsizetype>(y) * bandStride,
                                        width);
        }
    }
    Image picture = m_bands.finish();
    if (picture.isNull()) {
        m_lastSize = QSize();  // compare everything again next time
        fail(noMemoryText());
        return;
    }
    m_lastSize = pictureSize;
    m_damage = QRegion();
    m_damageKnown = true;
    {
        std::lock_guard lock(m_mutex);
        m_picture = std::move(picture);
        m_fresh = true;
        m_hadPicture = true;
    }
    m_changed.notify_all();
}

void PipeWireStream::fail(const QString& message) {
    {
        std::lock_guard lock(m_mutex);
        if (m_failure) {
            return;
        }
        m_failure = message;
    }
    m_changed.notify_all();
    if (m_onFailure) {
        m_onFailure();
    }
}

bool PipeWireStream::waitUntilRunning(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout,
                       [this] { return m_hadPicture || m_running || m_failure.has_value(); });
    if (m_failure) {
        return false;
    }
    // The first picture normally follows at once.
    m_changed.wait_for(lock, std::chrono::seconds(3),
                       [this] { return m_hadPicture || m_failure.has_value(); });
    return !m_failure && (m_hadPicture || m_running);
}

bool PipeWireStream::takePicture(Image& picture) {
    std::optional<StreamPointer> pointer;
    {
        std::lock_guard lock(m_mutex);
        const bool drawn = m_pointerMode == PointerMode::reportedAndDrawn;
        if (!m_fresh && !(drawn && m_pointerChanged && m_hadPicture)) {
            return false;
        }
        picture = m_picture;
        m_fresh = false;
        if (drawn) {
            pointer = m_pointer;
            m_pointerChanged = false;
        }
    }
    if (pointer && !pointer->sprite.isNull()) {
        picture = withPointer(picture, pointer->sprite, pointer->position - pointer->hotspot);
    }
    return true;
}

std::optional<QPoint> PipeWireStream::pointerPosition() const {
    std::lock_guard lock(m_mutex);
    if (!m_pointer) {
        return std::nullopt;
    }
    return m_pointer->position;
}

std::optional<QString> PipeWireStream::failure() const {
    std::lock_guard lock(m_mutex);
    return m_failure;
}

}  // namespace mirelo::wayland
