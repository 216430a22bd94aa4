#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include <optional>

namespace mirelo {

class EditorState;

// The crop editor drawn over the preview while crop mode is on: the frame
// dimmed outside the crop rectangle, the rectangle's border, a move area
// inside it and a handle on each corner. Drags write EditorState::cropRect,
// which always stays inside the frame and at least 10 x 10 pixels.
class CropOverlayView : public QWidget {
    Q_OBJECT

public:
    enum Edge { Leading = 1, Trailing = 2, Top = 4, Bottom = 8 };

    static constexpr double kMinimumSide = 10.0;
    static constexpr double kHandleSize = 12.0;

    explicit CropOverlayView(EditorState* state, QWidget* parent = nullptr);

    // The canvas rectangle the frame is drawn in (set by the editor view).
    void setDisplayRect(const QRectF& rect);
    QRectF displayRect() const { return m_displayRect; }

    // Image rectangle to canvas rectangle, one scale for both axes.
    static QRectF toView(const QRectF& image, const QRectF& displayRect, const QSizeF& imageSize);

    // The crop rectangle `start` moved by `delta` image pixels, kept inside
    // an image of `imageSize`; its size never changes.
    static QRectF moved(const QRectF& start, const QPointF& delta, const QSizeF& imageSize);
    // The crop rectangle `start` with the given edges (Edge flags) dragged
    // by `delta` image pixels: the opposite edges stay, the rectangle stays
    // inside the image and at least 10 x 10.
    static QRectF resized(const QRectF& start, int edges, const QPointF& delta,
                          const QSizeF& imageSize);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double scale() const;
    // Edge flags of the corner handle under `point`, 0 for none.
    int handleAt(const QPointF& point) const;

    EditorState* m_state;
    QRectF m_displayRect;
    // The drag: what it acts on, where the press was, and cropRect at its
    // start (set once the pointer has moved 1 point).
    int m_dragEdges = 0;
    bool m_dragMoves = false;
    QPointF m_pressPoint;
    std::optional<QRectF> m_dragStart;
};

}  // namespace mirelo
