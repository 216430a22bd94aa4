#pragma once

#include "image/Image.h"

#include <QHash>
#include <QObject>
#include <QUuid>

namespace mirelo {

class EditorState;

// The current frame exactly as it will be saved: the frame with every overlay
// burnt in by OverlayRenderer. Renders run on a worker thread, one at a time,
// whenever the current frame or the overlays change; while one runs the last
// finished render of the same size stays on show. During playback the next
// frame is rendered ahead. Without overlays the frame itself is shown at once.
class PreviewRenderer : public QObject {
    Q_OBJECT

public:
    explicit PreviewRenderer(EditorState* state, QObject* parent = nullptr);
    ~PreviewRenderer() override;

    // What the canvas shows now (null when there is no frame).
    Image image() const { return m_shown; }
    // True when image() is the current frame with the current overlays.
    bool isCurrent() const { return m_current; }

    // An overlay left out of the render: the text being edited in place,
    // which its text field shows instead. A null id leaves none out.
    void setHiddenOverlay(const QUuid& id);

signals:
    // image() changed.
    void imageChanged();

private:
    void overlaysChanged();
    void refresh();
    void startRender(int index);
    void renderFinished(quint64 revision, qint64 frameKey, const Image& image);

    EditorState* m_state;
    QUuid m_hidden;
    // Bumped whenever what is drawn over the frames changes; renders of an
    // older revision are stale.
    quint64 m_revision = 1;
    QHash<qint64, Image> m_rendered;  // frame key -> render of m_revision
    bool m_busy = false;
    Image m_shown;
    bool m_current = false;
};

}  // namespace mirelo
