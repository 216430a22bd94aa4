#pragma once

#include <QUuid>

namespace mirelo {

// An overlay drawn over every frame. Only its identity exists so far; the
// content types (text, sticker, mosaic, arrow) arrive with the overlay layer.
struct OverlayItem {
    QUuid id;

    friend bool operator==(const OverlayItem&, const OverlayItem&) = default;
};

}  // namespace mirelo
