#include "export/Exporter.h"
#include "export/GIFEncoder.h"
#include "export/GIFQuantizer.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
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

    QuantizePipeline(const std::vector<Image>& images, const GIFQuantizer::Palette& palette,
                     const GIFQuantizer::Lookup& lookup, float dither, const CancelFlag& cancel)
        : m_images(images),
          m_palette(palette),
          m_lookup(lookup),
          m_dither(dither),
          m_cancel(cancel),
          m_frames(images.size()),
          m_ready(images.size(), false) {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        const size_t workers = std::min<size_t>(cores, images.size());
        for (size_t i = 0; i < workers; ++i) {
            m_workers.emplace_back([this] { work(); });
        }
    }

    ~QuantizePipeline() {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
        for (std::thread& worker : m_workers) {
            worker.join();
        }
    }

    QuantizePipeline(const QuantizePipeline&) = delete;
    QuantizePipeline& operator=(const QuantizePipeline&) = delete;

    // Frame i once it is quantized; nullptr when the work was cancelled.
    // Frames before i are released: the writer asks for them in order.
    const GIFQuantizer::IndexedFrame* frameAt(int i) {
        std::unique_lock lock(m_mutex);
        m_writing = i;
        for (int k = std::max(0, i - kAhead); k < i; ++k) {
            m_frames[size_t(k)] = {};
        }
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_ready[size_t(i)] || m_stopped; });
        return m_ready[size_t(i)] ? &m_frames[size_t(i)] : nullptr;
    }

private:
    void work() {
        for (;;) {
            int i = 0;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stopped || m_next < m_writing + kAhead; });
                if (m_stopped || m_next >= int(m_images.size())) {
                    return;
                }
                i = m_next++;
            }
            std::optional<GIFQuantizer::IndexedFrame> frame = GIFQuantizer::quantizeToIndices(
                m_images[size_t(i)], m_palette, m_lookup, m_dither, &m_cancel,
                i > 0 ? &m_images[size_t(i) - 1] : nullptr);
            {
                std::lock_guard lock(m_mutex);
                if (!frame) {
                    m_stopped = true;
                } else {
                    m_frames[size_t(i)] = std::move(*frame);
                    m_ready[size_t(i)] = true;
                }
            }
            m_changed.notify_all();
            if (!frame) {
                return;
            }
        }
    }

    const std::vector<Image>& m_images;
    const GIFQuantizer::Palette& m_palette;
    const GIFQuantizer::Lookup& m_lookup;
    const float m_dither;
    const CancelFlag m_cancel;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<GIFQuantizer::IndexedFrame> m_frames;
    std::vector<bool> m_ready;
    int m_next = 0;
    int m_writing = 0;
    bool m_stopped = false;
    std::vector<std::thread> m_workers;
};

}  // namespace

ExportStatus encodeGIF(const std::vector<Image>& images, const std::vector<double>& delays,
                       int quality, const QString& destination, const CancelFlag& cancel,
                       const ProgressFn& progress) {
    if (images.empty() || images.size() != delays.size()) {
        return toExportError(GIFEncoderError::emptyFrames);
    }
    if (cancel.isCancelled()) {
        return ExportError::cancelled();
    }
    const GIFQuantizer::Palette palette =
        GIFQuantizer::buildPalette(images, gifColorCount(quality));
    const GIFQuantizer::Lookup lookup = GIFQuantizer::buildLookup(palette);

    // Progress counts frames written: a frame is done once it is in the file.
    const int count = int(images.size());
    QuantizePipeline pipeline(images, palette, lookup, gifDitherStrength(quality), cancel);
    ExportStatus status = GIFEncoder::encodeStream(
        palette, count, [&pipeline](int i) { return pipeline.frameAt(i); }, delays, destination,
        &cancel,
        [&progress, count](int written) {
            if (progress) {
                progress(written, count);
            }
        });
    if (status && cancel.isCancelled()) {
        return ExportError::cancelled();
    }
    return status;
}

}  // namespace mirelo::Exporter
