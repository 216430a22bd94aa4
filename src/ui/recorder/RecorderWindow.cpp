#include "ui/recorder/RecorderWindow.h"

#include "platform/WindowPicker.h"
#include "platform/x11/X11InputCatcher.h"
#include "platform/x11/X11WindowShape.h"
#include "ui/recorder/RecorderHeader.h"
#include "ui/recorder/ResizeHandle.h"
#include "ui/recorder/ScreenFit.h"
#include "ui/recorder/SessionModel.h"

#include <QAbstractButton>
#include <QChildEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace mirelo {

using namespace recorder;

namespace {

// The pixels of a band `width` wide just inside `rect`.
QRegion innerBand(const QRect& rect, int width) {
    return QRegion(rect) - QRegion(rect.adjusted(width, width, -width, -width));
}

// L-shaped marks in the four corners of `rect`, where the corner handles sit.
QRegion cornerMarks(const QRect& rect, int length, int thickness) {
    QRegion marks;
    const int l = std::min({length, rect.width() / 2, rect.height() / 2});
    // Horizontal and vertical arms at each corner.
    marks += QRect(rect.left(), rect.top(), l, thickness);
    marks += QRect(rect.left(), rect.top(), thickness, l);
    marks += QRect(rect.right() - l + 1, rect.top(), l, thickness);
    marks += QRect(rect.right() - thickness + 1, rect.top(), thickness, l);
    marks += QRect(rect.left(), rect.bottom() - thickness + 1, l, thickness);
    marks += QRect(rect.left(), rect.bottom() - l + 1, thickness, l);
    marks += QRect(rect.right() - l + 1, rect.bottom() - thickness + 1, l, thickness);
    marks += QRect(rect.right() - thickness + 1, rect.bottom() - l + 1, thickness, l);
    return marks;
}

// The capture area with the outline around it.
QRect outlineRing(const QRect& capture) {
    return capture.adjusted(-kOutlineWidth, -kOutlineWidth, kOutlineWidth, kOutlineWidth);
}

QRegion roundedRegion(const QRect& rect, int radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(rect), radius, radius);
    return QRegion(path.toFillPolygon().toPolygon());
}

constexpr int kMarkThickness = 5;

}  // namespace

RecorderWindow::RecorderWindow(SessionModel* model, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_model(model) {
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Mirelo"));
    m_cutOut = x11::isAvailable() && !x11::hasCompositor();
    if (x11::isAvailable()) {
        m_catcher = new x11::InputCatcher(this);
        connect(m_catcher, &x11::InputCatcher::pressed, this, &RecorderWindow::beginPointerDrag);
        connect(m_catcher, &x11::InputCatcher::dragged, this, &RecorderWindow::continuePointerDrag);
        connect(m_catcher, &x11::InputCatcher::released, this, [this] {
            m_dragOffset.reset();
            m_catchEdges = {};
        });
    }

    // The window itself holds the keyboard focus, so that no button is
    // focused (and pressed by Space) unless the user tabs to it.
    setFocusPolicy(Qt::ClickFocus);
    setMinimumSize(kMinimumSize);

    m_header = new RecorderHeader(model, this);
    for (const HandlePlacement& placement : handlePlacements(QSize(1, 1))) {
        m_handles.push_back(new ResizeHandle(placement.edges, this));
    }
    // The header's buttons win over the corner handles that overlap them.
    for (QAbstractButton* button :
         m_header->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
        button->installEventFilter(this);
    }
    m_header->installEventFilter(this);

    if (m_model) {
        auto repaint = [this] {
            relayout();
            update();
        };
        connect(m_model, &SessionModel::headerInsideChanged, this, repaint);
        connect(m_model, &SessionModel::isPickingWindowChanged, this, repaint);
        connect(m_model, &SessionModel::isRecordingChanged, this, repaint);
        connect(m_model, &SessionModel::isRecordingWindowChanged, this, repaint);
        connect(m_model, &SessionModel::countdownRemainingChanged, this, [this] { update(); });
    }
    resize(recorder::frameSize(kInitialCaptureSize));
    relayout();
}

RecorderWindow::~RecorderWindow() = default;

QRect RecorderWindow::captureRect() const {
    if (m_recording) {
        return m_recording->capture.translated(-m_recording->window.topLeft());
    }
    return captureRegion(rect(), m_model && m_model->headerInside());
}

void RecorderWindow::setCutsOutCaptureArea(bool cut) {
    m_cutOut = cut;
    applyShapes();
    update();
}

void RecorderWindow::setFrame(const QRect& frame) {
    // Snapping may ask for less than the minimum a user can drag to.
    setMinimumSize(kMinimumSize.boundedTo(frame.size()));
    setGeometry(frame);
}

void RecorderWindow::enterRecordingLayout(const RecordingLayout& layout) {
    if (!m_recording) {
        m_normalFrame = geometry();
    }
    m_recording = layout;
    m_dragOffset.reset();
    // Only a header that has to leave the capture area changes the frame: a
    // compositor may answer any change by placing the window anew.
    if (layout.window != m_normalFrame) {
        setMinimumSize(kMinimumSize.boundedTo(layout.window.size()));
        setGeometry(layout.window);
    }
    relayout();
    update();
}

void RecorderWindow::leaveRecordingLayout() {
    if (!m_recording) {
        return;
    }
    const bool moved = m_recording->window != m_normalFrame;
    m_recording.reset();
    if (moved) {
        setFrame(m_normalFrame);
    }
    relayout();
    update();
}

std::optional<QRegion> RecorderWindow::boundingRegion() const {
    if (m_recording && followsWindow()) {
        // The recording follows a window that may move away: only the header stays, no
        // outline marks a place on the screen.
        return QRegion(m_recording->header.translated(-m_recording->window.topLeft()));
    }
    if (m_recording) {
        const QRect capture = captureRect();
        QRegion region = innerBand(
            capture.adjusted(-kOutlineWidth, -kOutlineWidth, kOutlineWidth, kOutlineWidth),
            kOutlineWidth);
        if (!m_recording->header.isNull()) {
            region += m_recording->header.translated(-m_recording->window.topLeft());
        }
        return region - QRegion(capture);
    }
    const bool picking = m_model && m_model->isPickingWindow();
    if (!m_cutOut || picking) {
        return std::nullopt;
    }
    const QRect capture = captureRect();
    QRegion visible = innerBand(outlineRing(capture), kOutlineWidth) +
                      cornerMarks(capture, kCornerHandle, kMarkThickness) +
                      QRegion(headerStrip(rect())) + unrecordedArea();
    return visible & roundedRegion(rect(), kCornerRadius);
}

std::optional<QRegion> RecorderWindow::inputRegion() const {
    if (!m_recording) {
        return std::nullopt;
    }
    if (m_recording->header.isNull()) {
        return QRegion();
    }
    return QRegion(m_recording->header.translated(-m_recording->window.topLeft()));
}

QRegion RecorderWindow::unrecordedArea() const {
    if (m_recording) {
        return {};
    }
    QList<QRect> screens;
    for (QScreen* screen : QGuiApplication::screens()) {
        screens << screen->geometry();
    }
    const QRect capture = captureRect().translated(geometry().topLeft());
    return (QRegion(capture) - recordablePart(capture, screens)).translated(-geometry().topLeft());
}

void RecorderWindow::relayout() {
    if (m_recording) {
        const QRect header = m_recording->header.translated(-m_recording->window.topLeft());
        m_header->setGeometry(header);
        m_header->fitControls();
        m_header->setVisible(!header.isNull());
        for (ResizeHandle* handle : m_handles) {
            handle->hide();
        }
    } else {
        m_header->setGeometry(headerStrip(rect()));
        m_header->fitControls();
        m_header->show();
        const auto placements = handlePlacements(size());
        for (int i = 0; i < m_handles.size(); ++i) {
            m_handles[i]->setGeometry(placements[i].rect);
            m_handles[i]->show();
            m_handles[i]->raise();
        }
        updateHandleMasks();
    }
    applyShapes();
}

void RecorderWindow::updateHandleMasks() {
    QRegion buttons;
    for (QAbstractButton* button :
         m_header->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
        if (!button->isHidden()) {
            buttons += button->geometry().translated(m_header->pos());
        }
    }
    for (ResizeHandle* handle : m_handles) {
        const QRegion whole(handle->rect());
        const QRegion free = whole - buttons.translated(-handle->pos());
        if (free == whole) {
            handle->clearMask();
        } else {
            handle->setMask(free);
        }
    }
}

bool RecorderWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ChildAdded:
            // A button added to the header later wins over the handles too.
            if (watched == m_header) {
                auto* added = static_cast<QChildEvent*>(event)->child();
                if (added->isWidgetType()) {
                    added->installEventFilter(this);
                }
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            if (watched != m_header && !m_recording) {
                updateHandleMasks();
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void RecorderWindow::applyShapes() {
    if (!x11::isAvailable() || !windowHandle()) {
        return;
    }
    updateCatcher();
    QWindow* native = windowHandle();
    const auto bounding = boundingRegion();
    const auto input = inputRegion();
    if (!bounding && !input) {
        x11::clearShapes(native);
        return;
    }
    if (bounding) {
        x11::setBoundingShape(native, *bounding);
    } else {
        x11::setBoundingShape(native, QRegion(rect()));
    }
    if (input) {
        x11::setInputShape(native, *input);
    } else {
        x11::setInputShape(native, QRegion(rect()));
    }
}

bool RecorderWindow::followsWindow() const {
    return m_model && m_model->isRecordingWindow();
}

QColor RecorderWindow::outlineColor() const {
    // Red from the countdown on: the frame shows what is about to be recorded.
    if (m_model && (m_model->isRecording() || m_model->countdownRemaining() > 0)) {
        return QColor(255, 59, 48);
    }
    if (m_model && m_model->isPickingWindow()) {
        return QColor(255, 204, 0);
    }
    return QColor::fromRgbF(1, 1, 1, 0.9f);
}

void RecorderWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const QRect capture = captureRect();

    if (m_recording && followsWindow()) {
        return;
    }
    if (m_recording) {
        for (const QRect& band : innerBand(outlineRing(capture), kOutlineWidth)) {
            painter.fillRect(band, outlineColor());
        }
        return;
    }

    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.setClipPath(clip);

    // Nearly invisible, but it makes the area catch the mouse where a
    // compositor would otherwise let clicks see through it.
    painter.fillRect(outlineRing(capture), QColor(255, 255, 255, 1));

    const bool picking = m_model && m_model->isPickingWindow();
    if (picking) {
        painter.fillRect(capture, QColor::fromRgbF(0, 0, 0, 0.6f));
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPixelSize(17);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        QString text = tr("点击想要录制的窗口\n录制框将自动对齐到它的大小\n\nESC 取消");
        if (const std::optional<QString> limitation = WindowPicker::listingLimitation()) {
            text += QStringLiteral("\n\n") + *limitation;
        }
        painter.drawText(capture, Qt::AlignCenter | Qt::TextWordWrap, text);
    }

    // What lies off the capture area's screen is hatched: it is not recorded.
    const QRegion unrecorded = unrecordedArea();
    for (const QRect& part : unrecorded) {
        painter.fillRect(part, QColor(30, 30, 30, 200));
        painter.fillRect(part, QBrush(QColor(255, 59, 48), Qt::BDiagPattern));
    }

    // The outline runs just outside the capture area, where it stays while
    // recording.
    for (const QRect& band : innerBand(outlineRing(capture), kOutlineWidth)) {
        painter.fillRect(band, outlineColor());
    }
    if (m_cutOut && !picking) {
        for (const QRect& mark : cornerMarks(capture, kCornerHandle, kMarkThickness)) {
            painter.fillRect(mark, outlineColor());
        }
    }
}

void RecorderWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
    if (!m_recording) {
        emit frameResized();
    }
}

void RecorderWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    x11::setOnAllDesktops(windowHandle());
    applyShapes();
}

void RecorderWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    updateCatcher();
}

void RecorderWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    const QRegion unrecorded = unrecordedArea();
    if (unrecorded != m_shownUnrecorded) {
        m_shownUnrecorded = unrecorded;
        applyShapes();
        update();
    }
    updateCatcher();
}

bool RecorderWindow::catchesCaptureAreaInput() const {
    return m_catcher && m_catcher->isShown();
}

void RecorderWindow::updateCatcher() {
    if (!m_catcher) {
        return;
    }
    const bool picking = m_model && m_model->isPickingWindow();
    if (!m_cutOut || m_recording || picking || !isVisible() || !windowHandle()) {
        m_catcher->hide();
        return;
    }
    // Inside the outline, which the window itself still shows and catches,
    // and below the header: the catcher is stacked above the window, so over
    // a header inside the capture area it would take the clicks meant for
    // the header's controls.
    QRect inner = captureRect();
    inner.setTop(std::max(inner.top(), headerStrip(rect()).bottom() + 1));
    m_catcher->place(windowHandle(), inner.translated(pos()));
}

void RecorderWindow::beginPointerDrag(const QPoint& global) {
    if (m_recording) {
        return;
    }
    const QPoint local = global - pos();
    m_catchEdges = {};
    const auto placements = handlePlacements(size());
    // Corners lie above edges: look at them first.
    for (auto it = placements.crbegin(); it != placements.crend(); ++it) {
        if (it->rect.contains(local)) {
            m_catchEdges = it->edges;
            break;
        }
    }
    m_catchPress = global;
    m_catchStartFrame = geometry();
    if (!m_catchEdges) {
        m_dragOffset = global - pos();
    }
}

void RecorderWindow::continuePointerDrag(const QPoint& global) {
    if (m_recording) {
        return;
    }
    if (m_catchEdges) {
        setGeometry(resizedFrame(m_catchStartFrame, m_catchEdges, global - m_catchPress));
    } else if (m_dragOffset) {
        move(global - *m_dragOffset);
    }
}

void RecorderWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_recording) {
        event->ignore();
        return;
    }
    event->accept();
    // Under a Wayland compositor only its own interactive move moves the
    // window; a move asked for is ignored.
    if (x11::isXWayland() && windowHandle() && windowHandle()->startSystemMove()) {
        return;
    }
    m_dragOffset = event->globalPosition().toPoint() - pos();
}

void RecorderWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragOffset || !(event->buttons() & Qt::LeftButton)) {
        return;
    }
    move(event->globalPosition().toPoint() - *m_dragOffset);
}

void RecorderWindow::mouseReleaseEvent(QMouseEvent*) {
    m_dragOffset.reset();
}

}  // namespace mirelo
