#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mirelo {

class EditorState;

// The window-modal sheet for scaling every frame: a width and a height in
// pixels, optionally locked to the frame's aspect ratio (the field being
// typed in drives the other), and 50% / 75% / 100% presets. "应用" resizes
// when both values are numbers of at least 10; any other input closes the
// sheet without a change. A size whose frames would not fit in memory is
// refused with the reason under the fields, and the sheet stays open.
class ResizeSheet : public QDialog {
    Q_OBJECT

public:
    enum class Field { None, Width, Height };

    static constexpr double kMinimumSide = 10.0;

    explicit ResizeSheet(EditorState* state, QWidget* parent = nullptr);

    QLineEdit* widthField() const { return m_width; }
    QLineEdit* heightField() const { return m_height; }
    QCheckBox* keepAspectCheck() const { return m_keepAspect; }
    QPushButton* percentButton(int index) const { return m_percent[index]; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* applyButton() const { return m_apply; }
    // Why the last "应用" was refused (hidden when nothing was).
    QLabel* messageLabel() const { return m_message; }

    // The field with the keyboard focus, which drives the other one.
    Field focusedField() const { return m_focused; }
    void setFocusedField(Field field) { m_focused = field; }

    // Sets both fields to `factor` times the frame size.
    void applyFactor(double factor);
    // "应用": resizes when both texts are numbers of at least 10, then closes.
    void applyAndClose();

signals:
    // Asked by "应用" with the new size (fractions included).
    void resizeRequested(const QSizeF& size);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void widthEdited();
    void heightEdited();
    double ratio() const;

    EditorState* m_state;
    QLineEdit* m_width = nullptr;
    QLineEdit* m_height = nullptr;
    QCheckBox* m_keepAspect = nullptr;
    QPushButton* m_percent[3] = {};
    QPushButton* m_cancel = nullptr;
    QPushButton* m_apply = nullptr;
    QLabel* m_message = nullptr;
    Field m_focused = Field::None;
};

}  // namespace mirelo
