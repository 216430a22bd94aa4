#include "ui/editor/EditorToolbar.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolButton>

#include <algorithm>

namespace mirelo {

EditorToolbar::EditorToolbar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    for (QWidget*& group : m_groups) {
        group = new QWidget(this);
        auto* row = new QHBoxLayout(group);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(2);
        // The group is always exactly as large as its controls want.
        row->setSizeConstraint(QLayout::SetFixedSize);
        group->installEventFilter(this);
    }
}

QWidget* EditorToolbar::groupWidget(Group group) const {
    return m_groups[static_cast<int>(group)];
}

QWidget* EditorToolbar::group(Group group) const {
    return groupWidget(group);
}

QToolButton* EditorToolbar::addCommand(Group group, QAction* action) {
    QWidget* parent = groupWidget(group);
    auto* button = new QToolButton(parent);
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(20, 20));
    // Commands are given with the pointer or their shortcuts; the keyboard
    // focus stays where the user left it.
    button->setFocusPolicy(Qt::NoFocus);
    if (action->menu() != nullptr) {
        button->setPopupMode(QToolButton::InstantPopup);
    }
    button->setVisible(action->isVisible());
    connect(action, &QAction::visibleChanged, button,
            [button, action] { button->setVisible(action->isVisible()); });
    connect(button, &QToolButton::triggered, this, &EditorToolbar::actionTriggered);
    parent->layout()->addWidget(button);
    // Listed among the toolbar's actions, like a toolbar's own.
    addAction(action);
    return button;
}

void EditorToolbar::addControl(Group group, QWidget* widget) {
    QWidget* parent = groupWidget(group);
    widget->setParent(parent);
    widget->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    static_cast<QHBoxLayout*>(parent->layout())->addWidget(widget, 0, Qt::AlignVCenter);
}

QToolButton* EditorToolbar::buttonFor(const QAction* action) const {
    for (QWidget* group : m_groups) {
        for (QToolButton* button : group->findChildren<QToolButton*>()) {
            if (button->defaultAction() == action) {
                return button;
            }
        }
    }
    return nullptr;
}

QSize EditorToolbar::minimumSizeHint() const {
    const QSize leading = groupWidget(Group::leading)->sizeHint();
    const QSize centre = groupWidget(Group::centre)->sizeHint();
    const QSize trailing = groupWidget(Group::trailing)->sizeHint();
    m_widestCentre = std::max(m_widestCentre, centre.width());
    const int width =
        2 * kMargin + leading.width() + m_widestCentre + trailing.width() + 2 * kGroupGap;
    const int height =
        std::max({leading.height(), centre.height(), trailing.height()}) + 2 * kVerticalMargin;
    return {width, height};
}

QSize EditorToolbar::sizeHint() const {
    return minimumSizeHint();
}

bool EditorToolbar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest) {
        for (QWidget* group : m_groups) {
            if (watched == group) {
                updateGeometry();
                place();
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void EditorToolbar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

void EditorToolbar::place() {
    QWidget* leading = groupWidget(Group::leading);
    QWidget* centre = groupWidget(Group::centre);
    QWidget* trailing = groupWidget(Group::trailing);
    const int rowHeight = height();
    auto top = [rowHeight](const QWidget* group) { return (rowHeight - group->height()) / 2; };

    leading->move(kMargin, top(leading));
    const int trailingLeft = width() - kMargin - trailing->width();
    trailing->move(trailingLeft, top(trailing));
    // In the middle of the row, unless that would come too near the others.
    const int lowest = kMargin + leading->width() + kGroupGap;
    const int highest = trailingLeft - kGroupGap - centre->width();
    const int middle = (width() - centre->width()) / 2;
    centre->move(std::max(lowest, std::min(middle, highest)), top(centre));
}

}  // namespace mirelo
