#pragma once

#include "image/Image.h"

#include <QColor>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>

namespace mirelo::test {

// A w x h image filled with one opaque colour.
Image solidImage(int width, int height, QColor color);

// A w x h opaque image whose every pixel is distinct: R = x, G = y, B = a
// per-image `seed`, so transforms can be checked pixel by pixel.
Image patternImage(int width, int height, uint8_t seed = 0);

// The pixel's bytes packed as in memory (R, G, B, A premultiplied).
uint32_t rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);

// Runs the event loop until `done` returns true or `timeout` passes; returns
// the final value of `done`. The timeout only guards against a hang, so it is
// stretched by MIRELO_TEST_WAIT_SCALE (default 4): a loaded machine or a
// sanitized build must not turn a slow event into a failure.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Runs the event loop for `duration`.
void spinFor(std::chrono::milliseconds duration);

}  // namespace mirelo::test
