#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QString>

class QPainter;

// Overlay text is set on one line, unwrapped, in the desktop's UI font in bold
// weight, with Chinese glyphs from "Noto Sans CJK SC". The font, the
// measuring and the drawing all come from here, so that the box the editor
// shows, the box the geometry operations move and the glyphs burnt into a
// saved file agree.
namespace mirelo {

namespace TextMetrics {

// Font sizes are clamped into this range (image pixels) before a font is made:
// glyphs of a million pixels would only exhaust memory.
inline constexpr double kMinFontSize = 1.0;
inline constexpr double kMaxFontSize = 4096.0;

// The one overlay font at `fontSize` image pixels. Its size is given in
// points for a 72-dpi device, so one point is one image pixel; lay it out
// only through TextLine (which fixes that resolution), never with a painter's
// own font handling, whose resolution depends on the screen.
QFont font(double fontSize);

// The size of a text's box: 10 x fontSize for an empty text, otherwise the
// box of TextLine.
QSizeF size(const QString& text, double fontSize);

}  // namespace TextMetrics

// One line of overlay text, shaped once and drawable at any place. The box
// holds the line's advance and its ascent plus descent, widened where a
// glyph's outline reaches past them, so every drawn glyph lies inside it.
class TextLine {
public:
    TextLine(const QString& text, double fontSize);

    bool isEmpty() const { return m_runs.isEmpty(); }
    // The box size (TextMetrics::size for a non-empty text).
    QSizeF size() const { return m_size; }
    // Where the first glyph's baseline starts, relative to the box's top-left.
    QPointF baseline() const { return m_baseline; }

    // Draws the glyphs with the painter's pen colour so that the box's
    // top-left corner lands on `origin` (in the painter's coordinates).
    void draw(QPainter& painter, const QPointF& origin) const;

private:
    QList<QGlyphRun> m_runs;  // positions relative to the box's top-left
    QSizeF m_size;
    QPointF m_baseline;
};

}  // namespace mirelo
