#include "overlay/OverlayRenderer.h"

#include "image/ImageServices.h"
#include "overlay/TextMetrics.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <variant>

namespace mirelo {

namespace {

bool finite(const QPointF& p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

bool finite(const QRectF& r) {
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) &&
           std::isfinite(r.height());
}

// --- Mosaic --------------------------------------------------------------------

// The pixellated patch of `rect` over `source` (see MosaicPixelator::pixelate).
// Reads the source in place, so the renderer can pass the surface it is still
// drawing on without taking a copy of it first.
QImage pixelateRegion(const QImage& source, const QRectF& rect, double blockSize) {
    if (source.isNull() || !finite(rect)) {
        return {};
    }
    const QRect r = ImageServices::integralRect(rect).intersected(source.rect());
    if (r.width() < 2 || r.height() < 2) {
        return {};
    }
    const double cell = MosaicPixelator::cellSize(blockSize);
    // A cell corner sits at the centre of R; every pixel belongs to the cell
    // that holds its centre.
    const double cx = r.x() + r.width() / 2.0;
    const double cy = r.y() + r.height() / 2.0;
    auto cellIndex = [cell](int pixel, double centre) {
        return static_cast<long long>(std::floor((pixel + 0.5 - centre) / cell));
    };
    std::vector<int> column(static_cast<size_t>(r.width()));
    const long long firstColumn = cellIndex(r.left(), cx);
    for (int x = 0; x < r.width(); ++x) {
        column[size_t(x)] = int(cellIndex(r.left() + x, cx) - firstColumn);
    }
    std::vector<int> rowCell(static_cast<size_t>(r.height()));
    const long long firstRow = cellIndex(r.top(), cy);
    for (int y = 0; y < r.height(); ++y) {
        rowCell[size_t(y)] = int(cellIndex(r.top() + y, cy) - firstRow);
    }
    const size_t columns = size_t(column.back()) + 1;

    QImage patch = ImageServices::createSurface(r.width(), r.height());
    if (patch.isNull() || source.format() != patch.format()) {
        return {};
    }
    // One band of rows of cells at a time: the mean of the premultiplied
    // bytes of each cell's pixels inside R.
    std::vector<uint64_t> sums(columns * 4);
    std::vector<uint32_t> counts(columns);
    std::vector<uint32_t> colours(columns);
    for (int y0 = 0; y0 < r.height();) {
        int y1 = y0;
        while (y1 < r.height() && rowCell[size_t(y1)] == rowCell[size_t(y0)]) {
            ++y1;
        }
        std::fill(sums.begin(), sums.end(), 0);
        std::fill(counts.begin(), counts.end(), 0);
        for (int y = y0; y < y1; ++y) {
            const uchar* line = source.constScanLine(r.top() + y) + size_t(r.left()) * 4;
            for (int x = 0; x < r.width(); ++x) {
                const size_t c = size_t(column[size_t(x)]);
                uint64_t* sum = &sums[c * 4];
                sum[0] += line[x * 4 + 0];
                sum[1] += line[x * 4 + 1];
                sum[2] += line[x * 4 + 2];
                sum[3] += line[x * 4 + 3];
                ++counts[c];
            }
        }
        for (size_t c = 0; c < columns; ++c) {
            const uint64_t n = std::max<uint64_t>(counts[c], 1);
            uchar bytes[4];
            for (size_t k = 0; k < 4; ++k) {
                bytes[k] = uchar((sums[c * 4 + k] + n / 2) / n);
            }
            std::memcpy(&colours[c], bytes, 4);
        }
        for (int y = y0; y < y1; ++y) {
            auto* out = reinterpret_cast<uint32_t*>(patch.scanLine(y));
            for (int x = 0; x < r.width(); ++x) {
                out[x] = colours[size_t(column[size_t(x)])];
            }
        }
        y0 = y1;
    }
    return patch;
}

// --- Text shadow -------------------------------------------------------------

// One pass of a box blur of radius `radius` over rows of `alpha` (stride
// `width`), treating everything outside as transparent.
void boxBlurRows(std::vector<uint8_t>& alpha, int width, int height, int radius) {
    std::vector<uint8_t> line(static_cast<size_t>(width));
    const int span = 2 * radius + 1;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = &alpha[size_t(y) * size_t(width)];
        int sum = 0;
        for (int x = 0; x < std::min(radius, width); ++x) {
            sum += row[x];
        }
        for (int x = 0; x < width; ++x) {
            if (x + radius < width) {
                sum += row[x + radius];
            }
            if (x - radius - 1 >= 0) {
                sum -= row[x - radius - 1];
            }
            line[size_t(x)] = uint8_t((sum + span / 2) / span);
        }
        std::memcpy(row, line.data(), size_t(width));
    }
}

void transpose(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, int width, int height) {
    out.resize(in.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out[size_t(x) * size_t(height) + size_t(y)] = in[size_t(y) * size_t(width) + size_t(x)];
        }
    }
}

// Three box passes per axis approximate a Gaussian of standard deviation
// `sigma` (each pass of radius k adds k(k + 1) / 3 to the variance).
void gaussianBlur(std::vector<uint8_t>& alpha, int width, int height, double sigma) {
    const int radius = std::max(1, int(std::lround(std::sqrt(sigma * sigma + 0.25) - 0.5)));
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurRows(alpha, width, height, radius);
    }
    std::vector<uint8_t> turned;
    transpose(alpha, turned, width, height);
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurRows(turned, height, width, radius);
    }
    transpose(turned, alpha, height, width);
}

// --- Prepared overlays -----------------------------------------------------------

struct PreparedText {
    TextLine line;
    QPointF origin;
    QColor color;
    QImage shadow;  // black, already blurred and faded; null without shadow
    QPoint shadowAt;
};

struct PreparedSticker {
    QRectF rect;
    QImage image;
};

struct PreparedMosaic {
    QRectF rect;
    double blockSize;
};

struct PreparedArrow {
    QPainterPath path;
    QPen pen;
};

using Step = std::variant<PreparedText, PreparedSticker, PreparedMosaic, PreparedArrow>;

// The soft shadow of a text: its glyph mask, blurred with radius
// max(fontSize / 10, 2), in black at 0.45 of the text's own opacity. Only
// the part that can reach the frame is made.
void prepareShadow(PreparedText& text, double fontSize, const QSize& frame) {
    const double radius = std::max(fontSize / 10.0, 2.0);
    const double sigma = radius / 2.0;
    const int pad = int(std::ceil(3.0 * sigma)) + 2;
    const QRect box = ImageServices::integralRect(QRectF(text.origin, text.line.size()));
    const QRect area = box.adjusted(-pad, -pad, pad, pad)
                           .intersected(QRect(QPoint(-pad, -pad), frame + QSize(2 * pad, 2 * pad)));
    if (area.width() < 1 || area.height() < 1) {
        return;
    }
    QImage mask(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (mask.isNull()) {
        return;
    }
    mask.fill(Qt::transparent);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.translate(-area.topLeft());
        painter.setPen(QColor(0, 0, 0, text.color.alpha()));
        text.line.draw(painter, text.origin);
    }
    const int w = area.width(), h = area.height();
    std::vector<uint8_t> alpha(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            alpha[size_t(y) * size_t(w) + size_t(x)] = uint8_t(qAlpha(row[x]));
        }
    }
    gaussianBlur(alpha, w, h, sigma);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(mask.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int a = int(std::lround(alpha[size_t(y) * size_t(w) + size_t(x)] * 0.45));
            row[x] = qRgba(0, 0, 0, a);
        }
    }
    text.shadow = std::move(mask);
    text.shadowAt = area.topLeft();
}

// A sticker that is drawn smaller than its picture is shrunk once with an
// area-averaging filter; the painter's own smoothing only interpolates and
// would alias a large picture.
QImage stickerForRect(const Image& picture, const QRectF& rect) {
    const long w = std::lround(rect.width());
    const long h = std::lround(rect.height());
    if (w >= 1 && h >= 1 && w <= picture.width() && h <= picture.height() &&
        (w < picture.width() || h < picture.height())) {
        const Image shrunk = ImageServices::scaled(picture, int(w), int(h));
        if (!shrunk.isNull()) {
            return shrunk.qimage();
        }
    }
    return picture.qimage();
}

class Plan {
public:
    Plan(const QList<OverlayItem>& overlays, QSize frame) : m_frame(frame) {
        for (const OverlayItem& item : overlays) {
            std::visit([this](const auto& content) { add(content); }, item.content);
        }
    }

    QSize frameSize() const { return m_frame; }

    void draw(QImage& surface) const {
        QPainter painter(&surface);
        ImageServices::prepareHighQuality(painter);
        for (const Step& step : m_steps) {
            std::visit([&](const auto& s) { drawStep(painter, surface, s); }, step);
        }
    }

private:
    void add(const TextOverlay& t) {
        if (t.text.isEmpty() || !finite(t.origin)) {
            return;
        }
        PreparedText text{TextLine(t.text, t.fontSize), t.origin, t.color.toQColor(), {}, {}};
        if (text.line.isEmpty()) {
            return;
        }
        if (t.shadow) {
            prepareShadow(text, t.fontSize, m_frame);
        }
        m_steps.emplace_back(std::move(text));
    }

    void add(const StickerOverlay& s) {
        if (s.image.isNull() || !finite(s.rect) || s.rect.isEmpty()) {
            return;
        }
        m_steps.emplace_back(PreparedSticker{s.rect, stickerForRect(s.image, s.rect)});
    }

    void add(const MosaicOverlay& m) { m_steps.emplace_back(PreparedMosaic{m.rect, m.blockSize}); }

    void add(const ArrowOverlay& a) {
        if (!finite(a.start) || !finite(a.end) || !std::isfinite(a.lineWidth)) {
            return;
        }
        const QPointF s = a.start, e = a.end;
        // In image space (y down) the angle is mirrored, which maps the two
        // wings onto each other: the V is the same.
        const double angle = std::atan2(e.y() - s.y(), e.x() - s.x());
        const double length = std::max(4.0 * a.lineWidth, 12.0);
        const double wing = std::numbers::pi / 6.0;
        const QPointF p1(e.x() - length * std::cos(angle - wing),
                         e.y() - length * std::sin(angle - wing));
        const QPointF p2(e.x() - length * std::cos(angle + wing),
                         e.y() - length * std::sin(angle + wing));
        QPainterPath path;
        path.moveTo(s);
        path.lineTo(e);
        path.moveTo(p1);
        path.lineTo(e);
        path.lineTo(p2);
        QPen pen(a.color.toQColor(), a.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        m_steps.emplace_back(PreparedArrow{std::move(path), std::move(pen)});
    }

    static void drawStep(QPainter& painter, QImage&, const PreparedText& t) {
        if (!t.shadow.isNull()) {
            painter.drawImage(t.shadowAt, t.shadow);
        }
        painter.setPen(t.color);
        t.line.draw(painter, t.origin);
    }

    static void drawStep(QPainter& painter, QImage&, const PreparedSticker& s) {
        painter.drawImage(s.rect, s.image);
    }

    static void drawStep(QPainter& painter, QImage& surface, const PreparedMosaic& m) {
        // The surface as drawn so far: frame plus every earlier overlay.
        const QImage patch = pixelateRegion(surface, m.rect, m.blockSize);
        if (!patch.isNull()) {
            painter.drawImage(m.rect, patch);
        }
    }

    static void drawStep(QPainter& painter, QImage&, const PreparedArrow& a) {
        painter.save();
        painter.setPen(a.pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(a.path);
        painter.restore();
    }

    QSize m_frame;
    std::vector<Step> m_steps;
};

Image renderWith(const Plan& plan, const Image& frame) {
    // A copy of the frame's pixels is the drawing surface (a cropped frame
    // shares a larger image's memory; copy() makes it compact and writable).
    QImage surface = frame.qimage().copy();
    if (surface.isNull() || surface.format() != kStandardFormat) {
        return frame;
    }
    plan.draw(surface);
    Image result = ImageServices::imageFromSurface(std::move(surface));
    return result.isNull() ? frame : result;
}

}  // namespace

double MosaicPixelator::cellSize(double blockSize) {
    return blockSize >= 4.0 ? blockSize : 4.0;  // NaN fails the comparison
}

Image MosaicPixelator::pixelate(const Image& image, const QRectF& rect, double blockSize) {
    if (image.isNull()) {
        return {};
    }
    return Image::fromQImage(pixelateRegion(image.qimage(), rect, blockSize));
}

Image OverlayRenderer::render(const QList<OverlayItem>& overlays, const Image& frame) {
    if (overlays.isEmpty() || frame.isNull()) {
        return frame;
    }
    return renderWith(Plan(overlays, frame.size()), frame);
}

std::vector<Image> OverlayRenderer::renderAll(const QList<OverlayItem>& overlays,
                                              const std::vector<Image>& frames) {
    if (overlays.isEmpty()) {
        return frames;
    }
    std::vector<Image> out;
    out.reserve(frames.size());
    std::unique_ptr<Plan> plan;
    for (const Image& frame : frames) {
        if (frame.isNull()) {
            out.push_back(frame);
            continue;
        }
        if (!plan || plan->frameSize() != frame.size()) {
            plan = std::make_unique<Plan>(overlays, frame.size());
        }
        out.push_back(renderWith(*plan, frame));
    }
    return out;
}

}  // namespace mirelo
