#include "ui/editor/PreviewRenderer.h"
#include "image/WorkerPool.h"

#include "editor/EditorState.h"
#include "overlay/OverlayRenderer.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace mirelo {

namespace {

// Renders kept for the current overlays (the frames playback loops over),
// in bytes.
constexpr qint64 kCacheBytes = 64 << 20;

// Renders are kept per frame picture and frame: two frames may share a picture while the key
// captions and click marks on them differ.
qint64 renderKey(const EditorFrame& frame) {
    return qint64(quint64(frame.image.cacheKey()) * 1000003u ^ quint64(qHash(frame.id)));
}

}  // namespace

PreviewRenderer::PreviewRenderer(EditorState* state, QObject* parent)
    : QObject(parent), m_state(state) {
    connect(state, &EditorState::overlaysChanged, this, &PreviewRenderer::overlaysChanged);
    connect(state, &EditorState::framesChanged, this, &PreviewRenderer::refresh);
    connect(state, &EditorState::currentIndexChanged, this, &PreviewRenderer::refresh);
    refresh();
}

PreviewRenderer::~PreviewRenderer() = default;

void PreviewRenderer::setHiddenOverlay(const QUuid& id) {
    if (id == m_hidden) {
        return;
    }
    m_hidden = id;
    overlaysChanged();
}

void PreviewRenderer::overlaysChanged() {
    ++m_revision;
    m_rendered.clear();
    refresh();
}

void PreviewRenderer::refresh() {
    const FrameList& frames = m_state->frames();
    const int index = m_state->currentIndex();
    const Image before = m_shown;
    const bool wasCurrent = m_current;
    if (index < 0 || index >= frames.size()) {
        m_shown = {};
        m_current = true;
    } else {
        const Image& frame = frames.at(index).image;
        const QUuid id = frames.at(index).id;
        const bool nothingDrawn =
            std::all_of(m_state->overlays().cbegin(), m_state->overlays().cend(),
                        [this, &id](const OverlayItem& item) {
                            return item.id == m_hidden || !item.showsOn(id);
                        });
        const auto cached = m_rendered.constFind(renderKey(frames.at(index)));
        if (nothingDrawn) {
            m_shown = frame;
            m_current = true;
        } else if (cached != m_rendered.cend()) {
            m_shown = *cached;
            m_current = true;
        } else {
            // The last render stays until this one arrives, unless it no
            // longer fits the frames (then the bare frame is shown).
            if (m_shown.size() != frame.size()) {
                m_shown = frame;
            }
            m_current = false;
            if (!m_busy) {
                startRender(index);
            }
        }
    }
    if (m_current != wasCurrent || m_shown.cacheKey() != before.cacheKey() ||
        m_shown.size() != before.size()) {
        emit imageChanged();
    }
    // Playback: the next frame is rendered while this one is on show.
    if (m_current && !m_busy && m_state->isPlaying() && !m_shown.isNull() &&
        !(m_shown.cacheKey() == frames.at(index).image.cacheKey())) {
        const int next = (index + 1) % int(frames.size());
        if (!m_rendered.contains(renderKey(frames.at(next)))) {
            startRender(next);
        }
    }
}

void PreviewRenderer::startRender(int index) {
    const Image frame = m_state->frames().at(index).image;
    const QUuid frameId = m_state->frames().at(index).id;
    const qint64 key = renderKey(m_state->frames().at(index));
    OverlayList overlays = m_state->overlays();
    overlays.removeIf([this](const OverlayItem& item) { return item.id == m_hidden; });
    m_busy = true;
    const quint64 revision = m_revision;
    auto* watcher = new QFutureWatcher<Image>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [=, this] {
        watcher->deleteLater();
        renderFinished(revision, key, watcher->future().result());
    });
    watcher->setFuture(QtConcurrent::run(workerPool(), [frame, frameId, overlays] {
        return OverlayRenderer::render(overlays, frame, frameId);
    }));
}

void PreviewRenderer::renderFinished(quint64 revision, qint64 frameKey, const Image& image) {
    m_busy = false;
    const FrameList& frames = m_state->frames();
    const int index = m_state->currentIndex();
    const bool forCurrentFrame =
        index >= 0 && index < frames.size() && renderKey(frames.at(index)) == frameKey;
    if (revision == m_revision) {
        const qint64 bytes = std::max<qint64>(qint64(image.width()) * image.height() * 4, 1);
        if (m_rendered.size() >= std::max<qint64>(kCacheBytes / bytes, 2)) {
            m_rendered.clear();
        }
        m_rendered.insert(frameKey, image);
    } else if (forCurrentFrame && image.size() == frames.at(index).image.size()) {
        // Older than the overlays now, but newer than what is shown: a drag
        // follows the pointer with the renders as they come.
        m_shown = image;
        emit imageChanged();
    }
    refresh();
}

}  // namespace mirelo
