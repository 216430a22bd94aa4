#pragma once

#include <QWidget>

class QAction;
class QToolButton;

namespace mirelo {

// The editor's toolbar: one row of three groups of commands. The leading
// group keeps to the left edge, the trailing group to the right edge, and the
// centre group stays in the middle of the row, moved aside only as far as the
// other two leave it no room. Every control keeps its natural width at any
// row width, and the row is never narrower than the three groups side by
// side, so longer texts widen the window rather than overlap or hide a
// command.
class EditorToolbar : public QWidget {
    Q_OBJECT

public:
    enum class Group { leading, centre, trailing };

    static constexpr int kMargin = 6;
    static constexpr int kVerticalMargin = 4;
    // The least room between two groups.
    static constexpr int kGroupGap = 16;

    explicit EditorToolbar(QWidget* parent = nullptr);

    // A button for `action` (text under its icon) at the end of `group`. It
    // shows while the action is visible.
    QToolButton* addCommand(Group group, QAction* action);
    // Any other control at the end of `group`, at its natural size.
    void addControl(Group group, QWidget* widget);

    // The button made for `action`, or null.
    QToolButton* buttonFor(const QAction* action) const;
    QWidget* group(Group group) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // One of the buttons ran its action.
    void actionTriggered(QAction* action);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();
    QWidget* groupWidget(Group group) const;

    QWidget* m_groups[3] = {};
    // The widest the centre group has been: the row's minimum keeps room for
    // it, so switching its form (crop mode) never changes the window's.
    mutable int m_widestCentre = 0;
};

}  // namespace mirelo
