#pragma once

#include "editor/EditHistory.h"
#include "overlay/OverlayItem.h"

#include <QPointer>
#include <QRectF>
#include <QUuid>
#include <QWidget>

#include <optional>

#include <QLineEdit>

namespace mirelo {

class EditorState;

// The transparent layer over the preview (whose frame shows the overlays
// rendered as they will be saved) that draws outlines and handles and edits
// the overlays directly: a click selects, a drag moves,
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

    // Where a handle centred on `centre` takes clicks.
    static QRectF handleHitRect(const QPointF& centre);

    // The in-place text field while a text is being edited, else null.
    QLineEdit* textEditor() const { return m_editor; }
    QUuid editingTextID() const { return m_editingTextID; }

signals:
    // A text's in-place edit began (its id) or ended (a null id): the canvas
    // leaves that text out of the rendered frame while its field shows it.
    void editingTextChanged(const QUuid& id);
    // An in-place edit ended while its field had the keyboard focus (Return):
    // the focus is the editor's to place.
    void textEditCommitted();

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
    // A drag of `item` starts (once per drag): the model groups its changes
    // into one undo step until endGesture().
    void beginGesture(const OverlayItem& item);
    void endGesture();
    void beginTextEdit(const OverlayItem& item);
    void commitTextEdit();
    void placeTextEditor();

    // The selected overlay's outline and handles.
    void drawSelection(QPainter& painter, const OverlayItem& item);

    EditorState* m_state;
    QRectF m_displayRect;

    // The drag in progress.
    Drag m_drag = Drag::None;
    QUuid m_dragID;
    QPointF m_pressPoint;
    bool m_dragStarted = false;
    std::optional<std::pair<QUuid, OverlayContent>> m_gestureStart;
    EditGroup m_gestureEdit;  // open while a gesture runs

    // The text edit in progress.
    QPointer<QLineEdit> m_editor;
    EditGroup m_textEdit;  // open while the text field is
    QUuid m_editingTextID;
};

}  // namespace mirelo
