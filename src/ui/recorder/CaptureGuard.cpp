#include "ui/recorder/CaptureGuard.h"

#include "ui/recorder/RecorderGeometry.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace mirelo {

namespace {

// What the decorations of a window not framed yet are taken to add.
constexpr int kGuessedTitleBar = 40;
constexpr int kGuessedBorder = 8;

}  // namespace

CaptureGuard::CaptureGuard(const QRect& avoid, const QRect& screen, QWidget* except,
                           QObject* parent)
    : QObject(parent), m_avoid(avoid), m_screen(screen), m_except(except) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible()) {
            keepOut(window);
        }
    }
    qApp->installEventFilter(this);
}

CaptureGuard::~CaptureGuard() {
    qApp->removeEventFilter(this);
    for (const Moved& moved : m_moved) {
        if (!moved.window) {
            continue;
        }
        if (moved.minimised) {
            moved.window->showNormal();
        } else if (moved.window->isVisible() && !(moved.window->windowFlags() & Qt::Popup)) {
            moved.window->move(moved.from);
        }
    }
}

bool CaptureGuard::eventFilter(QObject* watched, QEvent* event) {
    // Show comes before the window is mapped, so a window moved here never
    // appears over the recording.
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow()) {
            keepOut(widget);
        }
    }
    return false;
}

void CaptureGuard::keepOut(QWidget* window) {
    if (window == m_except || window->property(kLeftAloneProperty).toBool() ||
        window->windowType() == Qt::Desktop || window->testAttribute(Qt::WA_DontShowOnScreen)) {
        return;
    }
    QRect frame = window->frameGeometry();
    // Until the window manager has framed a window its decorations are
    // unknown; allow for a title bar and borders.
    const bool undecorated =
        window->windowFlags() & (Qt::FramelessWindowHint | Qt::BypassWindowManagerHint) ||
        window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip;
    QMargins decorations;
    if (!undecorated && frame == window->geometry()) {
        decorations = QMargins(kGuessedBorder, kGuessedTitleBar, kGuessedBorder, kGuessedBorder);
        frame = frame.marginsAdded(decorations);
    }
    if (!frame.intersects(m_avoid)) {
        return;
    }
    if (std::optional<QPoint> place = recorder::placeOutside(frame, m_avoid, m_screen)) {
        m_moved.push_back({window, window->pos(), false});
        if (decorations.isNull()) {
            window->move(*place);  // a framed window's position is that of its frame
        } else {
            // Not framed yet: the position is the client's.
            window->move(*place + QPoint(decorations.left(), decorations.top()));
        }
        return;
    }
    if (!(window->windowFlags() & Qt::Popup)) {
        // Before the window is mapped this makes it start minimised.
        m_moved.push_back({window, window->pos(), true});
        window->setWindowState(window->windowState() | Qt::WindowMinimized);
    }
}

}  // namespace mirelo
