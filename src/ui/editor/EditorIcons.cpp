#include "ui/editor/EditorIcons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace mirelo::EditorIcons {

namespace {

using Painter = std::function<void(QPainter&)>;

const QColor kInk(0x3a, 0x38, 0x33);

QPen inkPen(double width = 1.8) {
    return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Renders a drawing made in a 24 x 24 design space at several sizes.
QIcon drawn(const Painter& paint) {
    QIcon icon;
    for (int size : {16, 20, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 24.0, size / 24.0);
        painter.setPen(inkPen());
        painter.setBrush(Qt::NoBrush);
        paint(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void arrowHead(QPainter& p, QPointF tip, double angleDegrees, double length = 5.0) {
    QPainterPath path;
    const QLineF wing1 = QLineF::fromPolar(length, angleDegrees + 180 - 40).translated(tip);
    const QLineF wing2 = QLineF::fromPolar(length, angleDegrees + 180 + 40).translated(tip);
    path.moveTo(wing1.p2());
    path.lineTo(tip);
    path.lineTo(wing2.p2());
    p.drawPath(path);
}

void uturn(QPainter& p, bool backward) {
    QPainterPath path;
    if (backward) {
        path.moveTo(5, 9);
        path.lineTo(14, 9);
        path.cubicTo(21, 9, 21, 19, 14, 19);
        path.lineTo(9, 19);
        p.drawPath(path);
        arrowHead(p, QPointF(5, 9), 180);
    } else {
        path.moveTo(19, 9);
        path.lineTo(10, 9);
        path.cubicTo(3, 9, 3, 19, 10, 19);
        path.lineTo(15, 19);
        p.drawPath(path);
        arrowHead(p, QPointF(19, 9), 0);
    }
}

void chevronToLine(QPainter& p, bool left) {
    if (left) {
        p.drawLine(QPointF(5, 5), QPointF(5, 19));
        p.drawPolyline(QPolygonF({QPointF(16, 5), QPointF(9, 12), QPointF(16, 19)}));
    } else {
        p.drawLine(QPointF(19, 5), QPointF(19, 19));
        p.drawPolyline(QPolygonF({QPointF(8, 5), QPointF(15, 12), QPointF(8, 19)}));
    }
}

struct Symbol {
    const char* themeName;  // freedesktop icon name, or nullptr
    Painter paint;
};

const QHash<QString, Symbol>& symbols() {
    static const QHash<QString, Symbol> table = {
        {"arrow.uturn.backward", {"edit-undo", [](QPainter& p) { uturn(p, true); }}},
        {"arrow.uturn.forward", {"edit-redo", [](QPainter& p) { uturn(p, false); }}},
        {"checkmark",
         {"dialog-ok",
          [](QPainter& p) {
              p.setPen(inkPen(2.2));
              p.drawPolyline(QPolygonF({QPointF(5, 12.5), QPointF(10, 17.5), QPointF(19, 6.5)}));
          }}},
        {"xmark",
         {nullptr,
          [](QPainter& p) {
              p.setPen(inkPen(2.0));
              p.drawLine(QPointF(6, 6), QPointF(18, 18));
              p.drawLine(QPointF(18, 6), QPointF(6, 18));
          }}},
        {"crop",
         {nullptr,
          [](QPainter& p) {
              p.drawPolyline(QPolygonF({QPointF(7, 2), QPointF(7, 17), QPointF(22, 17)}));
              p.drawPolyline(QPolygonF({QPointF(2, 7), QPointF(17, 7), QPointF(17, 22)}));
          }}},
        {"arrow.up.left.and.arrow.down.right",
         {nullptr,
          [](QPainter& p) {
              p.drawLine(QPointF(5, 5), QPointF(19, 19));
              p.drawPolyline(QPolygonF({QPointF(5, 11), QPointF(5, 5), QPointF(11, 5)}));
              p.drawPolyline(QPolygonF({QPointF(13, 19), QPointF(19, 19), QPointF(19, 13)}));
          }}},
        {"rotate.right",
         {"object-rotate-right",
          [](QPainter& p) {
              p.drawRoundedRect(QRectF(4, 11, 10, 9), 1.5, 1.5);
              QPainterPath path;
              path.moveTo(9, 7);
              path.cubicTo(14, 3, 20, 5, 20, 11);
              p.drawPath(path);
              arrowHead(p, QPointF(20, 12), -90, 4);
          }}},
        {"film.stack",
         {nullptr,
          [](QPainter& p) {
              p.drawRoundedRect(QRectF(3, 6, 18, 12), 1.5, 1.5);
              p.drawLine(QPointF(9, 6), QPointF(9, 18));
              p.drawLine(QPointF(15, 6), QPointF(15, 18));
          }}},
        {"square.on.square",
         {nullptr,
          [](QPainter& p) {
              p.drawRoundedRect(QRectF(8, 3, 13, 13), 2, 2);
              p.setBrush(QColor(255, 255, 255));
              p.drawRoundedRect(QRectF(3, 8, 13, 13), 2, 2);
          }}},
        {"textformat",
         {"insert-text",
          [](QPainter& p) {
              p.drawPolyline(QPolygonF({QPointF(3, 19), QPointF(8, 5), QPointF(13, 19)}));
              p.drawLine(QPointF(5, 14), QPointF(11, 14));
              p.drawEllipse(QPointF(18, 15.5), 3, 3.5);
              p.drawLine(QPointF(21, 11.5), QPointF(21, 19));
          }}},
        {"photo",
         {"insert-image",
          [](QPainter& p) {
              p.drawRoundedRect(QRectF(3, 5, 18, 14), 2, 2);
              p.drawPolyline(QPolygonF({QPointF(4, 17), QPointF(9, 11), QPointF(13, 15),
                                        QPointF(16, 12), QPointF(20, 16)}));
              p.drawEllipse(QPointF(16, 9), 1.5, 1.5);
          }}},
        {"squareshape.split.3x3",
         {nullptr,
          [](QPainter& p) {
              p.drawRect(QRectF(3.5, 3.5, 17, 17));
              for (double v : {9.17, 14.83}) {
                  p.drawLine(QPointF(v, 3.5), QPointF(v, 20.5));
                  p.drawLine(QPointF(3.5, v), QPointF(20.5, v));
              }
          }}},
        {"arrow.up.right",
         {nullptr,
          [](QPainter& p) {
              p.drawLine(QPointF(5, 19), QPointF(18, 6));
              p.drawPolyline(QPolygonF({QPointF(9, 6), QPointF(18, 6), QPointF(18, 15)}));
          }}},
        {"chevron.left.to.line", {nullptr, [](QPainter& p) { chevronToLine(p, true); }}},
        {"chevron.right.to.line", {nullptr, [](QPainter& p) { chevronToLine(p, false); }}},
        {"trash",
         {"edit-delete",
          [](QPainter& p) {
              p.drawLine(QPointF(4, 6.5), QPointF(20, 6.5));
              p.drawPolyline(QPolygonF(
                  {QPointF(9, 6.5), QPointF(9.5, 3.5), QPointF(14.5, 3.5), QPointF(15, 6.5)}));
              p.drawPolyline(QPolygonF(
                  {QPointF(6, 6.5), QPointF(7, 20.5), QPointF(17, 20.5), QPointF(18, 6.5)}));
              p.drawLine(QPointF(10, 10), QPointF(10, 17));
              p.drawLine(QPointF(14, 10), QPointF(14, 17));
          }}},
        {"square.and.arrow.down",
         {"document-save",
          [](QPainter& p) {
              p.drawPolyline(QPolygonF({QPointF(8, 9), QPointF(5, 9), QPointF(5, 21),
                                        QPointF(19, 21), QPointF(19, 9), QPointF(16, 9)}));
              p.drawLine(QPointF(12, 3), QPointF(12, 16));
              p.drawPolyline(QPolygonF({QPointF(8, 12), QPointF(12, 16), QPointF(16, 12)}));
          }}},
        {"play.fill",
         {"media-playback-start",
          [](QPainter& p) {
              p.setPen(Qt::NoPen);
              p.setBrush(kInk);
              p.drawPolygon(QPolygonF({QPointF(7, 4), QPointF(20, 12), QPointF(7, 20)}));
          }}},
        {"pause.fill",
         {"media-playback-pause",
          [](QPainter& p) {
              p.setPen(Qt::NoPen);
              p.setBrush(kInk);
              p.drawRoundedRect(QRectF(6, 4, 4.5, 16), 1, 1);
              p.drawRoundedRect(QRectF(13.5, 4, 4.5, 16), 1, 1);
          }}},
    };
    return table;
}

}  // namespace

QIcon drawnIcon(const QString& symbol) {
    const auto it = symbols().constFind(symbol);
    if (it == symbols().constEnd()) {
        return {};
    }
    return drawn(it->paint);
}

QIcon icon(const QString& symbol) {
    const auto it = symbols().constFind(symbol);
    if (it == symbols().constEnd()) {
        return {};
    }
    if (it->themeName != nullptr && QIcon::hasThemeIcon(QString::fromLatin1(it->themeName))) {
        return QIcon::fromTheme(QString::fromLatin1(it->themeName));
    }
    return drawn(it->paint);
}

}  // namespace mirelo::EditorIcons
