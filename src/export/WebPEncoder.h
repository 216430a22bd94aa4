#pragma once

#include <cstdint>

// Animated WebP through libwebp's animation encoder, white background,
// repeating forever. Frames are stored lossy at one quality (the default),
// lossless (each frame decodes to exactly its pixels), or mixed: the smaller
// of a lossy encoding in which libwebp may keep any frame lossless instead,
// and an all-lossless one. The canvas is the first
// frame's size; frames of another size are scaled onto it. The encoder is
// Exporter::encodeWebP (ExporterMedia.h); its failures are the ExportError
// kinds noFrames, webpConfigInvalid, webpEncoderFailed, pixelImportFailed,
// frameWriteFailed, webpAssembleFailed and writeFailed.
namespace mirelo::WebPEncoder {

// The encoder quality for a user quality: clamped to 1..100.
float clampedQuality(int quality);

// A frame's display time in whole milliseconds: at least 20 ms, rounded half
// away from zero. Not-a-number counts as the minimum.
int32_t durationMs(double delay);

}  // namespace mirelo::WebPEncoder
