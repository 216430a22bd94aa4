#include "ui/recorder/RecorderWindowController.h"

#include "platform/x11/X11KeyGrab.h"
#include "platform/x11/X11WindowShape.h"
#include "ui/recorder/CaptureGuard.h"
#include "ui/recorder/CountdownView.h"
#include "ui/recorder/RecorderGeometry.h"
#include "ui/recorder/RecorderHeader.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/ScreenFit.h"
#include "ui/recorder/SessionModel.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace mirelo {

using namespace recorder;

RecorderWindowController::RecorderWindowController(SessionModel* model, QObject* parent)
    : QObject(parent), m_model(model), m_window(new RecorderWindow(model)) {
    m_window->resize(recorder::frameSize(kInitialCaptureSize));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), m_window->size());
        frame.moveCenter(screen->availableGeometry().center());
        m_window->move(frame.topLeft());
    }
    connect(m_window, &RecorderWindow::frameResized, this, &RecorderWindowController::trackSize);
    connect(m_window->header(), &RecorderHeader::presetChosen, this,
            &RecorderWindowController::resizeCaptureArea);
    if (m_model) {
        connect(m_model, &SessionModel::headerInsideChanged, this,
                &RecorderWindowController::trackSize);
    }
}

RecorderWindowController::~RecorderWindowController() {
    delete m_countdown;
    delete m_window;
}

void RecorderWindowController::showCountdown(int seconds) {
    if (seconds <= 0) {
        if (m_countdown) {
            m_countdown->hide();
        }
        return;
    }
    if (!m_countdown) {
        m_countdown = new CountdownView;
    }
    m_countdown->showNumber(seconds, captureRegion());
}

QRect RecorderWindowController::captureRegion() const {
    if (const auto& layout = m_window->recordingLayout()) {
        return layout->capture;
    }
    return recorder::captureRegion(m_window->geometry(), m_model && m_model->headerInside());
}

QRectF RecorderWindowController::recordedRegion() const {
    const QRect local = m_window->captureRect();
    QWindow* handle = m_window->windowHandle();
    const std::optional<QRect> native = x11::nativeGeometry(handle);
    QScreen* screen = m_window->screen();
    if (!native || !screen) {
        return QRectF(recordableRegion());
    }
    // Qt's global points keep each screen's top-left at its device-pixel
    // origin and divide the rest by the pixel ratio; the window's own
    // rounded position is not used, so that the region starts where the
    // window's pixels do.
    const QPointF origin = screen->geometry().topLeft();
    const qreal ratio = handle->devicePixelRatio() > 0 ? handle->devicePixelRatio() : 1.0;
    const QPointF topLeft = (QPointF(native->topLeft()) - origin) / ratio + origin;
    const QRectF real(topLeft + QPointF(local.topLeft()), QSizeF(local.size()));
    // What lies off the screens is never recorded: the same part is cut
    // from where the window really is.
    const QRect capture = captureRegion();
    const QRect recordable = recordableRegion();
    if (recordable == capture || capture.isEmpty()) {
        return real;
    }
    return QRectF(real.topLeft() + QPointF(recordable.topLeft() - capture.topLeft()),
                  QSizeF(recordable.size()));
}

void RecorderWindowController::snapTo(const QRect& frame) {
    QScreen* screen = QGuiApplication::screenAt(frame.topLeft());
    if (!screen) {
        screen = m_window->screen();
    }
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    std::optional<int> top;
    if (screen) {
        top = screen->availableGeometry().top();
    }
    const SnapResult snapped = snapFrame(frame, top);
    if (m_model) {
        m_model->setHeaderInside(snapped.headerInside);
    }
    m_window->setFrame(snapped.frame);
    trackSize();
}

void RecorderWindowController::resizeCaptureArea(const QSize& size) {
    const QRect frame = m_window->geometry();
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen) {
        screen = m_window->screen();
    }
    const FittedFrame fitted =
        screen ? fitToScreen(frame, size, screen->geometry(), screen->availableGeometry())
               : FittedFrame{presetFrame(frame, size), size, false, false};
    if (m_model) {
        m_model->setHeaderInside(fitted.headerInside);
    }
    m_reducedTo = fitted.reduced ? fitted.capture : QSize();
    m_window->setFrame(fitted.frame);
    trackSize();
}

QRect RecorderWindowController::recordableRegion() const {
    QList<QRect> screens;
    for (QScreen* screen : QGuiApplication::screens()) {
        screens << screen->geometry();
    }
    return recordablePart(captureRegion(), screens);
}

RecordingLayout RecorderWindowController::layoutForRecording() const {
    const QRect frame = m_window->geometry();
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen) {
        screen = m_window->screen();
    }
    const QRect area = screen ? screen->availableGeometry() : QRect();
    return recordingLayout(frame, m_model && m_model->headerInside(), area, !x11::isXWayland());
}

bool RecorderWindowController::recordingHeaderFits() const {
    if (const auto& layout = m_window->recordingLayout()) {
        return !layout->header.isNull();
    }
    return !layoutForRecording().header.isNull();
}

bool RecorderWindowController::grabStopKey() {
    if (!m_stopKey) {
        m_stopKey = std::make_unique<x11::KeyGrab>('r');
        connect(m_stopKey.get(), &x11::KeyGrab::activated, this, [this] {
            if (m_model && m_model->isRecording()) {
                m_model->toggleRecording();
            }
        });
    }
    return m_stopKey->isActive();
}

void RecorderWindowController::releaseStopKey() {
    m_stopKey.reset();
}

void RecorderWindowController::setRecordingChrome(bool on) {
    if (!on) {
        showCountdown(0);
        m_guard.reset();
        m_stopKey.reset();
        m_window->leaveRecordingLayout();
        return;
    }
    if (m_window->recordingLayout()) {
        return;
    }
    const RecordingLayout layout = layoutForRecording();
    m_window->enterRecordingLayout(layout);
    if (layout.header.isNull()) {
        // Without a header on screen the stop button is out of reach.
        grabStopKey();
    }
    QScreen* screen = QGuiApplication::screenAt(layout.capture.center());
    if (!screen) {
        screen = m_window->screen();
    }
    m_guard = std::make_unique<CaptureGuard>(
        layout.window, screen ? screen->availableGeometry() : QRect(), m_window);
}

bool RecorderWindowController::hasGlobalStopKey() const {
    return m_stopKey && m_stopKey->isActive();
}

bool RecorderWindowController::hasRecordingChrome() const {
    return m_window->recordingLayout().has_value();
}

void RecorderWindowController::showWindow() {
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void RecorderWindowController::hideWindow() {
    m_window->hide();
}

void RecorderWindowController::setAppMenu(QMenu* menu) {
    m_window->header()->setAppMenu(menu);
}

void RecorderWindowController::trackSize() {
    if (!m_model || m_window->recordingLayout()) {
        return;
    }
    const QSize size = captureRegion().size();
    if (size != m_reducedTo) {
        m_reducedTo = QSize();
    }
    m_model->setCaptureSizeReduced(!m_reducedTo.isEmpty());
    m_model->setCaptureSize(QSizeF(size));
}

}  // namespace mirelo
