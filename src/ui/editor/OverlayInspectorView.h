#pragma once

#include "editor/EditHistory.h"
#include "overlay/OverlayItem.h"

#include <QUuid>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QToolButton;

namespace mirelo {

class EditorState;

// The one-line property bar of the selected overlay: the controls of its kind
// (text, font size, colour, shadow; sticker size, aspect lock, new picture;
// mosaic cell size; arrow width and colour; key caption text, size, colours and place; click
// mark size and colour), a delete button and "完成".
// All changes made while the same overlay stays selected form one undo step,
// recorded before the first of them.
class OverlayInspectorView : public QWidget {
    Q_OBJECT

public:
    explicit OverlayInspectorView(EditorState* state, QWidget* parent = nullptr);

    // Shows the controls for the selected overlay. Showing another overlay
    // than before starts a new edit session: its first change records one
    // undo step, which its later changes share.
    void showItem(const OverlayItem& item);
    // The overlay is no longer shown: the session ends, and showing even the
    // same overlay again starts a fresh one.
    void endSession();
    QUuid itemID() const { return m_id; }

    // Controls of the current kind (null when not shown), for tests.
    QLineEdit* textField() const { return m_textField; }
    QSlider* slider() const { return m_slider; }
    QLabel* valueLabel() const { return m_valueLabel; }
    QLabel* captionLabel() const { return m_caption; }
    QCheckBox* checkBox() const { return m_check; }
    QToolButton* colorButton() const { return m_colorButton; }
    // A key caption's box colour and its place ("底部" / "顶部").
    QToolButton* boxColorButton() const { return m_boxColorButton; }
    QComboBox* placementBox() const { return m_placement; }
    QPushButton* replaceButton() const { return m_replaceButton; }
    QToolButton* deleteButton() const { return m_deleteButton; }
    QPushButton* doneButton() const { return m_doneButton; }

    // A picked colour, as the colour well delivers it (always opaque).
    void pickColor(const QColor& color);
    // A picked box colour for a key caption (its opacity kept).
    void pickBoxColor(const QColor& color);

    // The value label's text: the value rounded toward zero.
    static QString valueText(double value);

    // The sliders are continuous: a value maps to a position of 1/100 steps
    // and back. Values only change when the user moves a slider; showing a
    // value never writes it back.
    static constexpr int kSliderSteps = 100;
    static int toSlider(double value);
    static double fromSlider(int position);

signals:
    // Return was pressed in the text field: the typing is over.
    void fieldCommitted();

private:
    void rebuild(const OverlayItem& item);
    void refreshValues(const OverlayItem& item);
    // Records the step (once) and applies `change` to the stored content.
    void write(const std::function<void(OverlayContent&)>& change);
    void clearControls();

    EditorState* m_state;
    QUuid m_id;
    EditGroup m_edit;  // the edit of m_id's overlay, open while it is shown
    int m_kind = -1;
    QHBoxLayout* m_row = nullptr;
    QList<QWidget*> m_controls;
    QLineEdit* m_textField = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_valueLabel = nullptr;
    QLabel* m_caption = nullptr;
    QCheckBox* m_check = nullptr;
    QToolButton* m_colorButton = nullptr;
    QToolButton* m_boxColorButton = nullptr;
    QComboBox* m_placement = nullptr;
    QPushButton* m_replaceButton = nullptr;
    QToolButton* m_deleteButton = nullptr;
    QPushButton* m_doneButton = nullptr;
};

}  // namespace mirelo
