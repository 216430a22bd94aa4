#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace mirelo::Icons {

namespace {

// Draws the icon at several sizes in a 24 x 24 design space.
QIcon drawn(const std::function<void(QPainter&)>& paint) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 24.0, size / 24.0);
        paint(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QIcon cursorArrow(const QColor& color) {
    return drawn([color](QPainter& p) {
        QPainterPath arrow;
        arrow.moveTo(6, 3);
        arrow.lineTo(6, 19);
        arrow.lineTo(10, 15);
        arrow.lineTo(13, 21);
        arrow.lineTo(15.5, 20);
        arrow.lineTo(12.5, 14);
        arrow.lineTo(18, 14);
        arrow.closeSubpath();
        p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arrow);
    });
}

QIcon recordCircle(const QColor& color) {
    return drawn([color](QPainter& p) {
        p.setPen(QPen(color, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QPointF(12, 12), 5, 5);
    });
}

QIcon stopFill(const QColor& color) {
    return drawn([color](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawRoundedRect(QRectF(6, 6, 12, 12), 2, 2);
    });
}

QIcon hourglass(const QColor& color) {
    return drawn([color](QPainter& p) {
        p.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(6, 3), QPointF(18, 3));
        p.drawLine(QPointF(6, 21), QPointF(18, 21));
        QPainterPath glass;
        glass.moveTo(7, 3);
        glass.cubicTo(7, 9, 12, 10, 12, 12);
        glass.cubicTo(12, 14, 7, 15, 7, 21);
        glass.moveTo(17, 3);
        glass.cubicTo(17, 9, 12, 10, 12, 12);
        glass.cubicTo(12, 14, 17, 15, 17, 21);
        p.setBrush(Qt::NoBrush);
        p.drawPath(glass);
    });
}

QIcon menu(const QColor& color) {
    return drawn([color](QPainter& p) {
        p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap));
        for (double y : {7.0, 12.0, 17.0}) {
            p.drawLine(QPointF(5, y), QPointF(19, y));
        }
    });
}

QIcon cursorArrowOff(const QColor& color) {
    return drawn([color](QPainter& p) {
        QPainterPath arrow;
        arrow.moveTo(6, 3);
        arrow.lineTo(6, 19);
        arrow.lineTo(10, 15);
        arrow.lineTo(13, 21);
        arrow.lineTo(15.5, 20);
        arrow.lineTo(12.5, 14);
        arrow.lineTo(18, 14);
        arrow.closeSubpath();
        p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arrow);
        p.setPen(QPen(color, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, 3), QPointF(21, 21));
    });
}

QIcon captureSize(const QColor& color) {
    return drawn([color](QPainter& p) {
        p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        const QPointF corners[] = {{4, 9}, {4, 4}, {9, 4}};
        for (int turn = 0; turn < 4; ++turn) {
            p.save();
            p.translate(12, 12);
            p.rotate(90.0 * turn);
            p.translate(-12, -12);
            p.drawPolyline(corners, 3);
            p.restore();
        }
    });
}

QIcon trayIdle() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 2.2));
        p.setBrush(QColor(255, 255, 255, 220));
        p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QPointF(12, 12), 4.5, 4.5);
    });
}

QIcon trayRecording() {
    return drawn([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QPointF(12, 12), 10.5, 10.5);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(8, 8, 8, 8), 1.2, 1.2);
    });
}

}  // namespace mirelo::Icons
