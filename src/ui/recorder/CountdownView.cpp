#include "ui/recorder/CountdownView.h"

#include "ui/recorder/CaptureGuard.h"

#include <QFont>
#include <QPainter>
#include <QRegion>

#include <algorithm>

namespace mirelo {

namespace {

constexpr int kLargestDisc = 220;
constexpr int kSmallestDisc = 48;

}  // namespace

CountdownView::CountdownView(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Mirelo"));
    setProperty(CaptureGuard::kLeftAloneProperty, true);
}

int CountdownView::discSide(const QSize& area) {
    const int fit = std::min(area.width(), area.height()) * 2 / 3;
    return std::clamp(fit, kSmallestDisc, kLargestDisc);
}

void CountdownView::showNumber(int seconds, const QRect& area) {
    m_number = seconds;
    const int side = discSide(area.size());
    QRect disc(0, 0, side, side);
    disc.moveCenter(area.center());
    if (geometry() != disc) {
        setGeometry(disc);
    }
    setMask(QRegion(rect(), QRegion::Ellipse));
    if (!isVisible()) {
        show();
        raise();
    }
    update();
}

void CountdownView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(28, 28, 30, 215));
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(std::max(12, height() * (m_number >= 10 ? 9 : 11) / 20));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter, QString::number(m_number));
}

}  // namespace mirelo
