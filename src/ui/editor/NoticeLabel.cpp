#include "ui/editor/NoticeLabel.h"

#include <QPainter>

namespace mirelo {

NoticeLabel::NoticeLabel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize NoticeLabel::sizeHint() const {
    return {fontMetrics().horizontalAdvance(text()), fontMetrics().height()};
}

QSize NoticeLabel::minimumSizeHint() const {
    return {0, fontMetrics().height()};
}

void NoticeLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    setToolTip(shown == text() ? QString() : text());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, static_cast<int>(alignment()), shown);
}

}  // namespace mirelo
