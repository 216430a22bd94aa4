#include "ui/preview/PreviewWindow.h"

#include "editor/EditorState.h"
#include "ui/Theme.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace mirelo {

namespace {

// Draws the state's current frame, scaled down to fit and centred.
class FrameCanvas : public QWidget {
public:
    FrameCanvas(EditorState* state, QWidget* parent) : QWidget(parent), m_state(state) {
        setMinimumSize(320, 180);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Theme::paperDeep());
        const FrameList& frames = m_state->frames();
        if (frames.isEmpty()) {
            return;
        }
        const QImage& image = frames[m_state->currentIndex()].image.qimage();
        // The frames are in device pixels; show them 1:1 when they fit.
        const qreal ratio = devicePixelRatioF();
        QSizeF size = QSizeF(image.size()) / ratio;
        if (size.width() > width() || size.height() > height()) {
            size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
        }
        QRectF target(QPointF(), size);
        target.moveCenter(QRectF(rect()).center());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image);
    }

private:
    EditorState* m_state;
};

}  // namespace

PreviewWindow::PreviewWindow(FrameList frames, QWidget* parent)
    : QWidget(parent, Qt::Window), m_state(new EditorState(std::move(frames), this)) {
    setWindowTitle(QStringLiteral("Mirelo"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    m_canvas = new FrameCanvas(m_state, this);
    m_playButton = new QPushButton(this);
    m_counter = new QLabel(this);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_playButton);
    bar->addStretch(1);
    bar->addWidget(m_counter);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_canvas, 1);
    layout->addLayout(bar);

    connect(m_playButton, &QPushButton::clicked, this, [this] {
        if (m_state->isPlaying()) {
            m_state->pause();
        } else {
            m_state->play();
        }
    });
    connect(m_state, &EditorState::currentIndexChanged, this, &PreviewWindow::refresh);
    connect(m_state, &EditorState::isPlayingChanged, this, &PreviewWindow::refresh);

    // Open at the recording's size when the screen allows.
    const QSizeF imageSize = m_state->imageSize() / devicePixelRatioF();
    QSize initial = imageSize.toSize().expandedTo(QSize(320, 180)) + QSize(24, 60);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        initial = initial.boundedTo(area.size() * 0.9);
        QRect frame(QPoint(), initial);
        frame.moveCenter(area.center());
        setGeometry(frame);
    } else {
        resize(initial);
    }
    refresh();
    m_state->play();
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::refresh() {
    m_playButton->setText(m_state->isPlaying() ? QStringLiteral("暂停") : QStringLiteral("播放"));
    m_counter->setText(QStringLiteral("%1 / %2")
                           .arg(m_state->frameCount() == 0 ? 0 : m_state->currentIndex() + 1)
                           .arg(m_state->frameCount()));
    m_canvas->update();
}

void PreviewWindow::closeEvent(QCloseEvent* event) {
    m_state->pause();
    QWidget::closeEvent(event);
    emit closed();
}

}  // namespace mirelo
