// The overlay operations of EditorState: adding, replacing a sticker's
// picture, deleting and changing overlays.
#include "editor/EditorState.h"

#include "overlay/StickerLoader.h"
#include "overlay/TextMetrics.h"

#include <algorithm>

namespace mirelo {

namespace {

// The colour of a new text and a new arrow.
constexpr RGBA kOverlayRed{0.95, 0.2, 0.15, 1.0};

}  // namespace

void EditorState::setPictureChooser(std::unique_ptr<PictureChooser> chooser) {
    m_pictureChooser = std::move(chooser);
}

void EditorState::appendAndSelect(OverlayItem item) {
    const QUuid id = item.id;
    OverlayList overlays = m_overlays;
    overlays.push_back(std::move(item));
    setOverlays(std::move(overlays));
    setSelectedOverlayID(id);
}

void EditorState::setSampleText(const QString& text) {
    m_sampleText = text;
}

void EditorState::addText() {
    pause();
    snapshot();
    const QSizeF frame = imageSize();
    TextOverlay text;
    text.text = m_sampleText;
    text.fontSize = std::max(frame.width() / 18.0, 20.0);
    const QSizeF box = TextMetrics::size(text.text, text.fontSize);
    text.origin =
        QPointF((frame.width() - box.width()) / 2.0, (frame.height() - box.height()) / 2.0);
    text.color = kOverlayRed;
    text.shadow = false;
    appendAndSelect(OverlayItem::make(text));
}

void EditorState::addMosaic() {
    pause();
    snapshot();
    const QSizeF frame = imageSize();
    const double side = std::min(frame.width(), frame.height()) * 0.25;
    MosaicOverlay mosaic;
    mosaic.rect = QRectF((frame.width() - side) / 2.0, (frame.height() - side) / 2.0, side, side);
    mosaic.blockSize = std::max(side / 10.0, 8.0);
    appendAndSelect(OverlayItem::make(mosaic));
}

void EditorState::addArrow() {
    pause();
    snapshot();
    const QSizeF frame = imageSize();
    ArrowOverlay arrow;
    arrow.start = QPointF(0.3 * frame.width(), 0.5 * frame.height());
    arrow.end = QPointF(0.7 * frame.width(), 0.5 * frame.height());
    arrow.lineWidth = std::max(frame.width() / 160.0, 3.0);
    arrow.color = kOverlayRed;
    appendAndSelect(OverlayItem::make(arrow));
}

Image EditorState::choosePicture() {
    if (!m_pictureChooser) {
        return {};
    }
    const QString path = m_pictureChooser->choosePicture();
    if (path.isEmpty()) {
        return {};
    }
    // Larger pictures are scaled down to the frame's size on load.
    StickerLoader::Loaded loaded = StickerLoader::load(path, imageSize().toSize());
    if (loaded.image.isNull()) {
        emit refused(EditorRefusal{EditorRefusal::Kind::picture, loaded.failure, {}});
    }
    return loaded.image;
}

void EditorState::addSticker() {
    pause();
    const Image picture = choosePicture();
    if (picture.isNull()) {
        return;
    }
    snapshot();
    addStickerOverlay(picture);
}

void EditorState::addStickerOverlay(const Image& picture) {
    const QSizeF frame = imageSize();
    const double iw = picture.width();
    const double ih = picture.height();
    // Shrunk to fit 40 % of the frame both ways, never enlarged.
    const double scale =
        std::min(std::min(frame.width() * 0.4 / iw, frame.height() * 0.4 / ih), 1.0);
    StickerOverlay sticker;
    sticker.rect = QRectF((frame.width() - scale * iw) / 2.0, (frame.height() - scale * ih) / 2.0,
                          scale * iw, scale * ih);
    sticker.image = picture;
    sticker.lockAspect = true;
    appendAndSelect(OverlayItem::make(sticker));
}

void EditorState::replaceStickerImage(const QUuid& id) {
    const Image picture = choosePicture();
    if (picture.isNull()) {
        return;
    }
    snapshot();
    auto it = std::find_if(m_overlays.cbegin(), m_overlays.cend(),
                           [&](const OverlayItem& item) { return item.id == id; });
    if (it == m_overlays.cend() || !std::holds_alternative<StickerOverlay>(it->content)) {
        return;
    }
    OverlayList overlays = m_overlays;
    auto& sticker = std::get<StickerOverlay>(overlays[it - m_overlays.cbegin()].content);
    // The new picture keeps its own proportions at the old width.
    sticker.rect.setHeight(sticker.rect.width() * picture.height() / std::max(picture.width(), 1));
    sticker.image = picture;
    setOverlays(std::move(overlays));
}

void EditorState::deleteOverlay(const QUuid& id) {
    const bool present = std::any_of(m_overlays.cbegin(), m_overlays.cend(),
                                     [&](const OverlayItem& item) { return item.id == id; });
    if (!present) {
        return;
    }
    snapshot();
    OverlayList overlays = m_overlays;
    overlays.removeIf([&](const OverlayItem& item) { return item.id == id; });
    setOverlays(std::move(overlays));
    if (m_selectedOverlayID == id) {
        setSelectedOverlayID(QUuid());
    }
}

void EditorState::setOverlayContent(const QUuid& id, const OverlayContent& content) {
    auto it = std::find_if(m_overlays.cbegin(), m_overlays.cend(),
                           [&](const OverlayItem& item) { return item.id == id; });
    if (it == m_overlays.cend() || it->content == content) {
        return;
    }
    const qsizetype index = it - m_overlays.cbegin();
    recordOverlayChange(id);
    OverlayList overlays = m_overlays;
    overlays[index].content = content;
    setOverlays(std::move(overlays));
}

}  // namespace mirelo
