#pragma once

#include <QRectF>
#include <QSizeF>
#include <QWidget>

namespace mirelo {

class EditorState;
class PreviewRenderer;

// The preview area's canvas: the current frame with its overlays burnt in,
// exactly as it will be saved (PreviewRenderer), centred and scaled to fit
// with at least 12 points of margin, over the deep paper colour. A click on
// it outside every overlay clears the overlay selection. Child layers (the
// overlay layer, the crop overlay) cover the whole canvas and share its
// coordinates.
class PreviewCanvas : public QWidget {
    Q_OBJECT

public:
    explicit PreviewCanvas(EditorState* state, QWidget* parent = nullptr);

    // Where an image of `imageSize` pixels is shown in a canvas of `area`
    // points: scaled by min((ah - 24) / ih, (aw - 24) / iw) and centred; all
    // zero when the image has no area.
    static QRectF displayRect(const QSizeF& area, const QSizeF& imageSize);

    QRectF displayRect() const;

    PreviewRenderer* renderer() const { return m_renderer; }

    // Adds a layer that always covers the whole canvas, above earlier ones.
    void addLayer(QWidget* layer);

signals:
    void displayRectChanged(const QRectF& rect);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    EditorState* m_state;
    PreviewRenderer* m_renderer;
    QList<QWidget*> m_layers;
    QRectF m_lastRect;

    void checkDisplayRect();
};

}  // namespace mirelo
