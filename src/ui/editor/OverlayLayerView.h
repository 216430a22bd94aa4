#pragma once

#include "image/Image.h"
#include "overlay/OverlayItem.h"

#include <QHash>
#include <QPointer>
#include <QRectF>
#include <QUuid>
#include <QWidget>

#include <optional>

#include <QLineEdit>

namespace mirelo {

class EditorState;

// The transparent layer over the preview that shows every overlay at its
// place on the frame and edits them directly: a click selects, a drag moves,
// the corner handle resizes stickers and mosaics, two end handles move an
// arrow's tail and tip, and a double click edits a text in place. Each drag
// and each text edit records exactly one undo step, at its first change, and
// computes every later position from the content it started with. Clicks
// outside every overlay pass through to the canvas beneath.
class OverlayLayerView : public QWidget {
    Q_OBJECT

public:
    static constexpr double kHandleSize = 12.0;
    static constexpr double kHandleHitSize = 26.0;
    static constexpr double kMinimumSide = 16.0;

    explicit OverlayLayerView(EditorState* state, QWidget* parent = nullptr);

    void setDisplayRect(const QRectF& rect);
    QRectF displayRect() const { return m_displayRect; }
    double scale() const;

    // Image rectangle to layer rectangle.
    QRectF toView(const QRectF& image) const;
    // Where an overlay is shown in the layer (for texts, the padded box).
    QRectF shownRect(const OverlayItem& item) const;

    // The new rectangle of a sticker or mosaic whose corner handle was dragged
    // by `delta` image pixels from `start` over an image of `imageSize`.
    static QRectF resizedRect(const QRectF& start, const QPointF& delta, const QSizeF& imageSize,
                              bool lockAspect);

    // The in-place text field while a text is being edited, else null.
    QLineEdit* textEditor() const { return m_editor; }
    QUuid editingTextID() const { return m_editingTextID; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    enum class Drag { None, Move, Resize, ArrowStart, ArrowEnd };

    const OverlayItem* findItem(const QUuid& id) const;
    // The topmost overlay under `point`, or null.
    const OverlayItem* itemAt(const QPointF& point) const;
    // The handle of the selected overlay under `point`.
    Drag handleAt(const QPointF& point) const;
    void beginGestureIfNeeded(const OverlayItem& item);
    void beginTextEdit(const OverlayItem& item);
    void commitTextEdit();
    void placeTextEditor();
    Image currentFrameImage() const;
    Image mosaicPreview(const OverlayItem& item, const MosaicOverlay& mosaic);

    // The selected overlay's outline and handles.
    void drawSelection(QPainter& painter, const OverlayItem& item);
    void drawSticker(QPainter& painter, const StickerOverlay& sticker, bool selected);
    void drawMosaic(QPainter& painter, const OverlayItem& item, const MosaicOverlay& mosaic,
                    bool selected);
    void drawArrow(QPainter& painter, const ArrowOverlay& arrow, bool selected);
    void drawText(QPainter& painter, const OverlayItem& item, const TextOverlay& text,
                  bool selected);

    EditorState* m_state;
    QRectF m_displayRect;

    // The drag in progress.
    Drag m_drag = Drag::None;
    QUuid m_dragID;
    QPointF m_pressPoint;
    bool m_dragStarted = false;
    std::optional<std::pair<QUuid, OverlayContent>> m_gestureStart;

    // The text edit in progress.
    QPointer<QLineEdit> m_editor;
    QUuid m_editingTextID;
    bool m_editSnapshotted = false;

    // Mosaic previews, recomputed only when their inputs change.
    struct MosaicCache {
        qint64 frameKey = 0;
        QRectF rect;
        double blockSize = 0;
        Image patch;
    };
    QHash<QUuid, MosaicCache> m_mosaics;
};

}  // namespace mirelo
