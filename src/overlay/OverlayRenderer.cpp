#include "overlay/OverlayRenderer.h"
#include "image/WorkerPool.h"

#include "image/ImageServices.h"
#include "overlay/PixelEffects.h"
#include "overlay/TextMetrics.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <numbers>
#include <optional>
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

using pixeleffects::blendOver;
using pixeleffects::darken;
using pixeleffects::gaussianBlur;
using pixeleffects::pixelateRegion;

// --- Prepared overlays -----------------------------------------------------------

struct PreparedText {
    // Set out once when the plan stays on one thread; otherwise set out at
    // every draw from `text` and `fontSize` (laid-out glyphs belong to the
    // thread that laid them out).
    std::optional<TextLine> line;
    QString text;
    double fontSize = 0;
    QPointF origin;
    QColor color;
    std::vector<uint8_t> shadow;  // coverage of the black shadow; empty without
    QRect shadowArea;
};

struct PreparedSticker {
    QRectF rect;
    QImage image;
};

struct PreparedMosaic {
    QRectF rect;
    double blockSize;
};

// The path and pen are made at each draw: a path computes its bounds
// lazily, so one shared between threads would be written from several.
struct PreparedArrow {
    QPointF start, end, wing1, wing2;
    QColor color;
    double lineWidth = 0;
};

// A key caption's box (its text follows as a PreparedText).
struct PreparedBox {
    QRectF rect;
    double cornerRadius = 0;
    QColor color;
};

struct PreparedRing {
    QPointF center;
    double radius = 0;
    double width = 0;
    QColor color;
    bool doubled = false;
};

struct PreparedDisc {
    QPointF center;
    double radius = 0;
    QColor color;
};

using Step = std::variant<PreparedText, PreparedSticker, PreparedMosaic, PreparedArrow, PreparedBox,
                          PreparedRing, PreparedDisc>;

// The soft shadow of a text: its glyph mask, blurred with radius
// max(fontSize / 10, 2), in black at 0.45 of the text's own opacity. Only
// the part that can reach the frame is made.
void prepareShadow(PreparedText& text, const TextLine& line, double fontSize, const QSize& frame) {
    // The size the text was set at (a size that is not a number counts as
    // the smallest).
    const double size = fontSize >= TextMetrics::kMinFontSize
                            ? std::min(fontSize, TextMetrics::kMaxFontSize)
                            : TextMetrics::kMinFontSize;
    const double radius = std::max(size / 10.0, 2.0);
    const double sigma = radius / 2.0;
    const int pad = int(std::ceil(3.0 * sigma)) + 2;
    const QRect box = ImageServices::integralRect(QRectF(text.origin, line.size()));
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
        line.draw(painter, text.origin);
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
    for (uint8_t& a : alpha) {
        a = uint8_t((unsigned(a) * 45u + 50u) / 100u);
    }
    text.shadow = std::move(alpha);
    text.shadowArea = area;
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

// Everything the overlays need to be drawn on frames of one size. A plan made
// with `threadBound` false holds nothing that belongs to a thread, so any
// number of threads may draw with it at once.
class Plan {
public:
    Plan(const QList<OverlayItem>& overlays, QSize frame, bool threadBound = true)
        : m_frame(frame), m_threadBound(threadBound) {
        for (const OverlayItem& item : overlays) {
            std::visit([this](const auto& content) { add(content); }, item.content);
            std::shared_ptr<const QSet<QUuid>> frames;  // shared by the item's steps
            if (item.isTimed()) {
                frames =
                    std::make_shared<const QSet<QUuid>>(item.frames.cbegin(), item.frames.cend());
            }
            m_stepFrames.resize(m_steps.size(), frames);
        }
    }

    QSize frameSize() const { return m_frame; }

    // Draws every step, or with `frame` only the steps of overlays shown on that frame.
    void draw(QImage& surface, const QUuid* frame = nullptr) const {
        QPainter painter(&surface);
        ImageServices::prepareHighQuality(painter);
        for (size_t i = 0; i < m_steps.size(); ++i) {
            if (frame && m_stepFrames[i] && !m_stepFrames[i]->contains(*frame)) {
                continue;
            }
            std::visit([&](const auto& s) { drawStep(painter, surface, s); }, m_steps[i]);
        }
    }

    // Whether anything is drawn on `frame` (null: on any frame).
    bool drawsOn(const QUuid* frame) const {
        for (size_t i = 0; i < m_steps.size(); ++i) {
            if (!frame || !m_stepFrames[i] || m_stepFrames[i]->contains(*frame)) {
                return true;
            }
        }
        return false;
    }

private:
    void add(const TextOverlay& t) {
        if (t.text.isEmpty() || !finite(t.origin)) {
            return;
        }
        TextLine line(t.text, t.fontSize);
        if (line.isEmpty()) {
            return;
        }
        PreparedText text{std::nullopt, t.text, t.fontSize, t.origin, t.color.toQColor(), {}, {}};
        if (t.shadow) {
            prepareShadow(text, line, t.fontSize, m_frame);
        }
        if (m_threadBound) {
            text.line = std::move(line);
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
        if (!finite(a.start) || !finite(a.end) || !std::isfinite(a.lineWidth) ||
            !(a.lineWidth > 0)) {
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
        m_steps.emplace_back(PreparedArrow{s, e, p1, p2, a.color.toQColor(), a.lineWidth});
    }

    void add(const KeyCaptionOverlay& k) {
        const QRectF box = captionBox(k);
        if (k.hidden || k.text.isEmpty() || !finite(box)) {
            return;
        }
        TextLine line(k.text, k.fontSize);
        if (line.isEmpty()) {
            return;
        }
        m_steps.emplace_back(PreparedBox{box, k.fontSize * 0.35, k.boxColor.toQColor()});
        const QPointF origin(box.x() + (box.width() - line.size().width()) / 2.0,
                             box.y() + (box.height() - line.size().height()) / 2.0);
        PreparedText text{std::nullopt, k.text, k.fontSize, origin, k.textColor.toQColor(), {}, {}};
        if (m_threadBound) {
            text.line = std::move(line);
        }
        m_steps.emplace_back(std::move(text));
    }

    void add(const ClickMarkOverlay& c) {
        if (c.hidden || !finite(c.center) || !std::isfinite(c.radius) || !(c.radius > 0)) {
            return;
        }
        m_steps.emplace_back(
            PreparedRing{c.center, c.radius, ringWidth(c), c.color.toQColor(), c.rightButton});
    }

    void add(const PointerHighlightOverlay& p) {
        if (p.hidden || !finite(p.center) || !std::isfinite(p.radius) || !(p.radius > 0)) {
            return;
        }
        m_steps.emplace_back(PreparedDisc{p.center, p.radius, p.color.toQColor()});
    }

    static void drawStep(QPainter& painter, QImage&, const PreparedBox& b) {
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(b.color);
        painter.drawRoundedRect(b.rect, b.cornerRadius, b.cornerRadius);
        painter.restore();
    }

    // A left click: a ring over a faint disc of its colour. A right click: two thinner rings,
    // the inner one half the radius, without the disc.
    static void drawStep(QPainter& painter, QImage&, const PreparedRing& r) {
        painter.save();
        if (r.doubled) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(r.color, r.width * 0.7));
            painter.drawEllipse(r.center, r.radius, r.radius);
            painter.drawEllipse(r.center, r.radius * 0.5, r.radius * 0.5);
        } else {
            QColor fill = r.color;
            fill.setAlphaF(fill.alphaF() * 0.3f);
            painter.setBrush(fill);
            painter.setPen(QPen(r.color, r.width));
            painter.drawEllipse(r.center, r.radius, r.radius);
        }
        painter.restore();
    }

    // Full colour over the inner half of the radius, fading out to nothing at the edge.
    static void drawStep(QPainter& painter, QImage&, const PreparedDisc& d) {
        QRadialGradient gradient(d.center, d.radius);
        QColor edge = d.color;
        edge.setAlphaF(0.0f);
        gradient.setColorAt(0.0, d.color);
        gradient.setColorAt(0.5, d.color);
        gradient.setColorAt(1.0, edge);
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawEllipse(d.center, d.radius, d.radius);
        painter.restore();
    }

    static void drawStep(QPainter& painter, QImage& surface, const PreparedText& t) {
        if (!t.shadow.empty()) {
            darken(surface, t.shadow, t.shadowArea);
        }
        painter.setPen(t.color);
        if (t.line) {
            t.line->draw(painter, t.origin);
        } else {
            TextLine(t.text, t.fontSize).draw(painter, t.origin);
        }
    }

    static void drawStep(QPainter& painter, QImage&, const PreparedSticker& s) {
        const QImage picture = s.image;  // a handle of this thread's own
        painter.drawImage(s.rect, picture);
    }

    static void drawStep(QPainter& painter, QImage& surface, const PreparedMosaic& m) {
        // The surface as drawn so far: frame plus every earlier overlay.
        const QImage patch = pixelateRegion(surface, m.rect, m.blockSize);
        if (patch.isNull()) {
            return;
        }
        // A whole-pixel rectangle inside the frame is exactly the patch's area.
        const QRect whole = ImageServices::integralRect(m.rect);
        if (QRectF(whole) == m.rect && whole.size() == patch.size()) {
            blendOver(surface, patch, whole.topLeft());
        } else {
            painter.drawImage(m.rect, patch);
        }
    }

    static void drawStep(QPainter& painter, QImage&, const PreparedArrow& a) {
        QPainterPath path;
        path.moveTo(a.start);
        path.lineTo(a.end);
        path.moveTo(a.wing1);
        path.lineTo(a.end);
        path.lineTo(a.wing2);
        painter.save();
        painter.setPen(QPen(a.color, a.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        painter.restore();
    }

    QSize m_frame;
    bool m_threadBound = true;
    std::vector<Step> m_steps;
    // For each step, the frames its overlay shows on; null for overlays of every frame.
    std::vector<std::shared_ptr<const QSet<QUuid>>> m_stepFrames;
};

Image renderWith(const Plan& plan, const Image& frame, const QUuid* frameId = nullptr) {
    if (!plan.drawsOn(frameId)) {
        return frame;
    }
    // A copy of the frame's pixels is the drawing surface (a cropped frame
    // shares a larger image's memory; copy() makes it compact and writable).
    // A frame made of bands hands out a surface of its own already.
    QImage surface = frame.qimage();
    if (!surface.isDetached()) {
        surface = surface.copy();
    }
    if (surface.isNull() || surface.format() != kStandardFormat) {
        return frame;
    }
    plan.draw(surface, frameId);
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

Image OverlayRenderer::render(const QList<OverlayItem>& overlays, const Image& frame,
                              const QUuid& frameId) {
    if (overlays.isEmpty() || frame.isNull()) {
        return frame;
    }
    return renderWith(Plan(overlays, frame.size()), frame, &frameId);
}

struct OverlayRenderer::FrameRenderer::Shared {
    QList<OverlayItem> overlays;
    std::mutex mutex;
    // One plan per frame size met, newest last; a few at most.
    std::vector<std::shared_ptr<const Plan>> plans;
};

OverlayRenderer::FrameRenderer::FrameRenderer(QList<OverlayItem> overlays)
    : m_shared(std::make_shared<Shared>()) {
    m_shared->overlays = std::move(overlays);
}

Image OverlayRenderer::FrameRenderer::render(const Image& frame) const {
    return render(frame, nullptr);
}

Image OverlayRenderer::FrameRenderer::render(const Image& frame, const QUuid& frameId) const {
    return render(frame, &frameId);
}

Image OverlayRenderer::FrameRenderer::render(const Image& frame, const QUuid* frameId) const {
    if (m_shared->overlays.isEmpty() || frame.isNull()) {
        return frame;
    }
    std::shared_ptr<const Plan> plan;
    {
        std::lock_guard lock(m_shared->mutex);
        for (const std::shared_ptr<const Plan>& known : m_shared->plans) {
            if (known->frameSize() == frame.size()) {
                plan = known;
                break;
            }
        }
        if (!plan) {
            // Made under the lock: threads asking for the same size wait for
            // this one rather than each making their own.
            plan = std::make_shared<const Plan>(m_shared->overlays, frame.size(), false);
            constexpr size_t kKeptSizes = 4;
            if (m_shared->plans.size() == kKeptSizes) {
                m_shared->plans.erase(m_shared->plans.begin());
            }
            m_shared->plans.push_back(plan);
        }
    }
    return renderWith(*plan, frame, frameId);
}

std::vector<Image> OverlayRenderer::renderAll(const QList<OverlayItem>& overlays,
                                              const std::vector<Image>& frames) {
    if (overlays.isEmpty()) {
        return frames;
    }
    // The frames are split into one run per pool thread. Each run prepares
    // its own texts: laid-out glyphs hold font engines that belong to the
    // thread that made them.
    std::vector<Image> out(frames.size());
    const size_t runs =
        std::clamp<size_t>(size_t(std::max(workerPool()->maxThreadCount(), 1)), 1, frames.size());
    std::vector<std::pair<size_t, size_t>> ranges;
    for (size_t r = 0; r < runs; ++r) {
        ranges.emplace_back(frames.size() * r / runs, frames.size() * (r + 1) / runs);
    }
    QtConcurrent::blockingMap(workerPool(), ranges, [&](const std::pair<size_t, size_t>& range) {
        std::unique_ptr<Plan> plan;
        for (size_t i = range.first; i < range.second; ++i) {
            const Image& frame = frames[i];
            if (frame.isNull()) {
                out[i] = frame;
                continue;
            }
            if (!plan || plan->frameSize() != frame.size()) {
                plan = std::make_unique<Plan>(overlays, frame.size());
            }
            out[i] = renderWith(*plan, frame);
        }
    });
    return out;
}

}  // namespace mirelo
