#include "ui/Icons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace mirelo::Icons {

namespace {

// Draws the icon at several sizes in a square design space of side `design`.
QIcon drawn(const std::function<void(QPainter&)>& paint, double design = 24,
            std::initializer_list<int> sizes = {16, 24, 32, 48, 64}) {
    QIcon icon;
    for (int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / design, size / design);
        paint(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// The outline of a mouse pointer, on the 24-unit grid of the icons.
QPainterPath pointerArrow() {
    QPainterPath arrow;
    arrow.moveTo(6, 3);
    arrow.lineTo(6, 19);
    arrow.lineTo(10, 15);
    arrow.lineTo(13, 21);
    arrow.lineTo(15.5, 20);
    arrow.lineTo(12.5, 14);
    arrow.lineTo(18, 14);
    arrow.closeSubpath();
    return arrow;
}

}  // namespace

QIcon cursorArrow(const QColor& color) {
    return drawn([color](QPainter& p) {
        const QPainterPath arrow = pointerArrow();
        p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arrow);
    });
}

QIcon keyboard(const QColor& color) {
    return drawn([color](QPainter& p) {
        p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(2.5, 6, 19, 12), 2, 2);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        for (int row = 0; row < 2; ++row) {
            for (int column = 0; column < 5; ++column) {
                p.drawRect(QRectF(5 + column * 3.2, 8.5 + row * 3, 1.8, 1.6));
            }
        }
        p.drawRect(QRectF(7.5, 14.5, 9, 1.6));  // the space bar
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

namespace {

// The theme name of one of our icons: the desktop id, then `suffix`; empty
// when the application has no desktop id (tests, tools).
QString themeName(const char* suffix) {
    const QString id = QGuiApplication::desktopFileName();
    return id.isEmpty() ? QString() : id + QLatin1String(suffix);
}

}  // namespace

QIcon themedOr(const QString& name, const QIcon& fallback) {
    if (!name.isEmpty() && QIcon::hasThemeIcon(name)) {
        const QIcon themed = QIcon::fromTheme(name);
        // A theme may offer only a scalable file that no installed icon
        // engine can draw.
        if (!themed.pixmap(22).isNull()) {
            return themed;
        }
    }
    return fallback;
}

QIcon cursorArrowOff(const QColor& color) {
    return drawn([color](QPainter& p) {
        const QPainterPath arrow = pointerArrow();
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
    return themedOr(themeName("-idle"), drawn([](QPainter& p) {
                        p.setPen(QPen(QColor(60, 60, 60), 2.2));
                        p.setBrush(QColor(255, 255, 255, 220));
                        p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
                        p.setPen(Qt::NoPen);
                        p.setBrush(QColor(220, 40, 40));
                        p.drawEllipse(QPointF(12, 12), 4.5, 4.5);
                    }));
}

QIcon trayRecording() {
    return themedOr(themeName("-recording"), drawn([](QPainter& p) {
                        p.setPen(Qt::NoPen);
                        p.setBrush(QColor(220, 40, 40));
                        p.drawEllipse(QPointF(12, 12), 10.5, 10.5);
                        p.setBrush(Qt::white);
                        p.drawRoundedRect(QRectF(8, 8, 8, 8), 1.2, 1.2);
                    }));
}

QIcon application() {
    // The same drawing as the installed scalable icon, in its 128 x 128 space.
    const QIcon drawnIcon = drawn(
        [](QPainter& p) {
            p.setPen(QPen(QColor(0x1d, 0x1e, 0x22), 2));
            p.setBrush(QColor(0x2f, 0x31, 0x36));
            p.drawRoundedRect(QRectF(8, 8, 112, 112), 26, 26);
            const QPointF corners[4][3] = {{{28, 50}, {28, 28}, {50, 28}},
                                           {{78, 28}, {100, 28}, {100, 50}},
                                           {{100, 78}, {100, 100}, {78, 100}},
                                           {{50, 100}, {28, 100}, {28, 78}}};
            QPainterPath path;
            for (const auto& corner : corners) {
                path.moveTo(corner[0]);
                path.lineTo(corner[1]);
                path.lineTo(corner[2]);
            }
            p.setPen(QPen(QColor(0xf6, 0xf3, 0xec), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xdc, 0x28, 0x28));
            p.drawEllipse(QPointF(64, 64), 18, 18);
        },
        128, {16, 22, 24, 32, 48, 64, 128, 256});
    return themedOr(themeName(""), drawnIcon);
}

}  // namespace mirelo::Icons
