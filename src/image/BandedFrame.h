#pragma once

#include "image/Image.h"

#include <QImage>
#include <QRect>
#include <QRegion>
#include <QSize>

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace mirelo {

// Builds the frames of a stream as images of bands of kRows rows (see Image::stacked()), each
// band whose rows did not change since the frame before being that frame's band, shared. A
// recording of a screen where little moves then holds each change once, and whatever reads the
// frames (the store, the encoders) sees unchanged rows as the same memory.
//
// For each frame: begin(), then for every band either share() it, put() an image made
// elsewhere, or write() its rows into a fresh surface; then finish(). A frame is built on one
// thread at a time.
class BandedFrame {
public:
    // Rows per band: small enough that a change shares most of the frame, large enough that a
    // band is one allocation of about 100 kB at 1080p. Stored recordings are cut so too.
    static constexpr int kRows = 16;
    // A band that damage reports leave out is compared all the same once in this many frames,
    // in case a report went missing.
    static constexpr int kCheckEvery = 8;

    static int bandCount(int height) { return (height + kRows - 1) / kRows; }

    // `frame` as bands of kRows rows, top to bottom: its own bands when it is cut so, else parts
    // that share its pixels. Empty for a null frame.
    static std::vector<Image> cut(const Image& frame);

    // Starts a frame of `size`. Its bands can be shared only with a previous frame of the same
    // size. `damage`, in frame coordinates, when known, is where the pixels may have changed
    // since the previous frame.
    void begin(QSize size, std::optional<QRegion> damage = std::nullopt);

    int count() const { return static_cast<int>(m_bands.size()); }
    // Band `band`'s rectangle in the frame.
    QRect area(int band) const;
    // Whether the previous frame's bands can be shared (a previous frame of the same size).
    bool hasPrevious() const { return !m_previous.empty(); }
    // The previous frame's band; null without a previous frame.
    const Image& previous(int band) const;

    // The first row (frame coordinates) of `band` that may differ from the previous frame, or
    // the row below the band when none does; the band's top row without a previous frame.
    // `now(y)` and `before(y)` give row y's pixels (32 bits each, any layout as long as both
    // use the same one) in this frame and the previous one. Only the columns the damage covers
    // are compared, except in the band's turn or without damage reports, when all are.
    template <typename Now, typename Before>
    int firstChangedRow(int band, Now&& now, Before&& before) const {
        const QRect whole = area(band);
        if (!hasPrevious()) {
            return whole.top();
        }
        const QRect span = compareSpan(band, whole);
        if (span.isEmpty()) {
            return whole.bottom() + 1;
        }
        const auto bytes = static_cast<size_t>(span.width()) * 4;
        for (int y = whole.top(); y <= whole.bottom(); ++y) {
            const uint32_t* a = now(y);
            const uint32_t* b = before(y);
            if (std::memcmp(a + span.left(), b + span.left(), bytes) != 0) {
                return y;
            }
        }
        return whole.bottom() + 1;
    }

    // Band `band` is the previous frame's.
    void share(int band);
    // Band `band` is `image` (of the band's size).
    void put(int band, Image image);
    // A fresh, uninitialised surface for band `band`, whose rows the caller writes before
    // finish(); null when there is no memory for it (finish() then fails).
    QImage* write(int band);

    // The frame of the bands given; they are kept for sharing with the next frame. Null when a
    // band is missing or could not be made, and the next frame then shares nothing.
    Image finish();

    // Forgets the previous frame: the next one shares nothing (its layout changed, or its
    // pixels are not to be trusted).
    void reset();

private:
    QRect compareSpan(int band, const QRect& whole) const;

    QSize m_size;
    std::optional<QRegion> m_damage;
    int m_checkTurn = 0;
    std::vector<Image> m_previous;
    std::vector<Image> m_bands;
    std::vector<std::optional<QImage>> m_surfaces;
    bool m_failed = false;
};

}  // namespace mirelo
