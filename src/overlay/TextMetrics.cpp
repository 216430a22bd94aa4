#include "overlay/TextMetrics.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace mirelo {

namespace {

// Chinese glyphs come from this family; the default fallback follows the
// locale and may pick Japanese glyph forms.
const QString kChineseFamily = QStringLiteral("Noto Sans CJK SC");

double clampedSize(double fontSize) {
    if (!(fontSize >= TextMetrics::kMinFontSize)) {
        return TextMetrics::kMinFontSize;  // NaN included
    }
    return std::min(fontSize, TextMetrics::kMaxFontSize);
}

// Text is laid out against a device of 72 dpi, so a point is a pixel and the
// layout does not depend on the screen the program runs on. QImage::metric
// reports qRound(dotsPerMeter * 0.0254), which is 72 for 2835.
const QImage& referenceDevice() {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(2835);
        image.setDotsPerMeterY(2835);
        return image;
    }();
    return device;
}

}  // namespace

QFont TextMetrics::font(double fontSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // The desktop's font is often an alias ("Sans Serif") that only the font
    // matcher knows; a family list skips names it cannot find, so the alias is
    // resolved to the family it stands for first.
    static const QString desktop = QFontInfo(font).family();
    // A desktop whose UI font is itself a CJK family of another region would
    // give Han characters its own forms; Chinese glyphs come first then.
    if (desktop.contains(QStringLiteral("CJK"), Qt::CaseInsensitive)) {
        font.setFamilies({kChineseFamily, desktop});
    } else {
        font.setFamilies({desktop, kChineseFamily});
    }
    font.setBold(true);
    font.setPointSizeF(clampedSize(fontSize));
    // Unhinted outlines scale linearly, so the canvas, which draws the same
    // runs under a zoom transform, keeps the measured advances.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QSizeF TextMetrics::size(const QString& text, double fontSize) {
    if (text.isEmpty()) {
        return QSizeF(10.0, fontSize);
    }
    return TextLine(text, fontSize).size();
}

TextLine::TextLine(const QString& text, double fontSize) {
    if (text.isEmpty()) {
        m_size = QSizeF(10.0, fontSize);
        return;
    }
    QTextLayout layout(text, TextMetrics::font(fontSize), &referenceDevice());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
        layout.endLayout();
        m_size = QSizeF(10.0, fontSize);
        return;
    }
    line.setPosition(QPointF(0, 0));
    layout.endLayout();

    QList<QGlyphRun> runs = line.glyphRuns();
    // The typographic box: advance by ascent plus descent, baseline at ascent.
    QRectF box(0, 0, line.naturalTextWidth(), line.ascent() + line.descent());
    // Some outlines reach past it (an overhanging bold glyph, a tall
    // fallback glyph); the box grows to hold them.
    for (const QGlyphRun& run : runs) {
        const QRawFont raw = run.rawFont();
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i) {
            const QRectF ink = raw.boundingRect(glyphs[i]).translated(positions[i]);
            if (!ink.isEmpty()) {
                box = box.united(ink);
            }
        }
    }
    const QPointF shift = -box.topLeft();
    for (QGlyphRun& run : runs) {
        QList<QPointF> positions = run.positions();
        for (QPointF& p : positions) {
            p += shift;
        }
        run.setPositions(positions);
    }
    m_runs = std::move(runs);
    m_size = box.size();
    m_baseline = QPointF(0, line.ascent()) + shift;
}

void TextLine::draw(QPainter& painter, const QPointF& origin) const {
    for (const QGlyphRun& run : m_runs) {
        painter.drawGlyphRun(origin, run);
    }
}

}  // namespace mirelo
