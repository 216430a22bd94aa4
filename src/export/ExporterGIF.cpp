#include "export/ExporterGIF.h"
#include "export/GIFEncoder.h"
#include "export/GIFQuantizer.h"
#include "image/OrderedPipeline.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace mirelo::Exporter {

int gifColorCount(int quality) {
    if (quality >= 100) {
        return 256;
    }
    if (quality <= 0) {
        return 2;
    }
    return quality * 256 / 100;
}

float gifDitherStrength(int quality) {
    return std::min(1.0f, static_cast<float>(std::max(quality, 10)) / 100.0f);
}

namespace {

// Frames quantized by a pool of workers, handed to the writer in frame order.
// Workers take frames in ascending order and stay at most `kAhead` frames
// ahead of the writer, so memory stays bounded for long animations.
class QuantizePipeline {
public:
    static constexpr int kAhead = 24;

    QuantizePipeline(size_t count, const FrameSource& frames, const GIFQuantizer::Palette& palette,
                     const GIFQuantizer::Lookup& lookup, float dither, const CancelFlag& cancel)
        : m_count(count),
          m_source(frames),
          m_palette(palette),
          m_lookup(lookup),
          m_dither(dither),
          m_cancel(cancel),
          m_pipeline(count, workerCount(count), kAhead - 1, [this](size_t i, Quantized& out, int) {
              std::optional<GIFQuantizer::IndexedFrame> frame = quantize(i);
              out.made = frame.has_value();
              if (frame) {
                  out.frame = std::move(*frame);
              }
              return out.made;
          }) {}

    // Frame i once it is quantized; nullptr when the work was cancelled.
    // The frame before is released: the writer asks for them in order.
    const GIFQuantizer::IndexedFrame* frameAt(int i) {
        m_current = {};
        m_current = m_pipeline.take(size_t(i)).value_or(Quantized());
        return m_current.made ? &m_current.frame : nullptr;
    }

private:
    struct Quantized {
        GIFQuantizer::IndexedFrame frame;
        bool made = false;  // false when the work was cancelled
    };

    static int workerCount(size_t count) {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        return int(std::min<size_t>(cores, std::max<size_t>(count, 1)));
    }

    // A frame is quantized against the frame before it, so that its still
    // pixels keep their colour. Each source frame is made once and lives
    // only until both it and the frame after it are done.
    std::optional<GIFQuantizer::IndexedFrame> quantize(size_t i) {
        const Image previous = i > 0 ? sourceFrame(i - 1) : Image();
        const Image current = sourceFrame(i);
        return GIFQuantizer::quantizeToIndices(current, m_palette, m_lookup, m_dither, m_cancel,
                                               i > 0 ? &previous : nullptr);
    }

    // Source frame `index`, made at most once while it is wanted: by its own
    // worker and by the worker of the frame after it.
    Image sourceFrame(size_t index) {
        const int uses = index + 1 < m_count ? 2 : 1;
        {
            std::lock_guard lock(m_sourceMutex);
            auto found = m_sources.find(index);
            if (found != m_sources.end()) {
                Image image = found->second.image;
                if (--found->second.usesLeft == 0) {
                    m_sources.erase(found);
                }
                return image;
            }
        }
        Image image = m_source(index);
        std::lock_guard lock(m_sourceMutex);
        auto [it, inserted] = m_sources.try_emplace(index, CachedSource{image, uses});
        if (!inserted) {
            // Another worker made it meanwhile: use theirs.
            image = it->second.image;
        }
        if (--it->second.usesLeft == 0) {
            m_sources.erase(it);
        }
        return image;
    }

    const size_t m_count;
    const FrameSource& m_source;
    const GIFQuantizer::Palette& m_palette;
    const GIFQuantizer::Lookup& m_lookup;
    const float m_dither;
    const CancelFlag m_cancel;

    struct CachedSource {
        Image image;
        int usesLeft = 0;
    };
    std::mutex m_sourceMutex;
    std::map<size_t, CachedSource> m_sources;

    Quantized m_current;  // the frame the writer holds
    // Last: its workers use the members above, and end first.
    IndexedPipeline<Quantized> m_pipeline;
};

}  // namespace

ExportStatus encodeGIF(const FrameSequence& sequence, const std::vector<double>& delays,
                       const EncodeSettings& settings, const QString& destination,
                       const CancelFlag& cancel, const ProgressFn& progress) {
    const int quality = settings.quality;
    const size_t frameCount = sequence.count;
    const FrameSource& frames = sequence.frame;
    if (frameCount == 0 || frameCount != delays.size() || !frames) {
        return ExportError::of(ExportError::Kind::noFrames);
    }
    if (cancel.isCancelled()) {
        return ExportError::cancelled();
    }
    const GIFQuantizer::Palette palette =
        GIFQuantizer::buildPalette(frameCount, frames, gifColorCount(quality));
    const GIFQuantizer::Lookup lookup = GIFQuantizer::buildLookup(palette);

    // Progress counts frames written: a frame is done once it is in the file.
    const int count = int(frameCount);
    QuantizePipeline pipeline(frameCount, frames, palette, lookup, gifDitherStrength(quality),
                              cancel);
    ExportStatus status = GIFEncoder::encodeStream(
        palette, count, [&pipeline](int i) { return pipeline.frameAt(i); }, delays, destination,
        cancel, progress, settings.gifLossy);
    if (status && cancel.isCancelled()) {
        return ExportError::cancelled();
    }
    return status;
}

}  // namespace mirelo::Exporter
