// GIF frames composited as a web browser shows them: the canvas starts transparent, each
// frame's transparent pixels leave the canvas as it was, "restore to background" clears the
// frame's rectangle to transparent afterwards, "restore to previous" puts back what was under
// it, and a delay under 2 centiseconds plays as 10.
#include "import/AnimationDecoder.h"

#include "image/ImageServices.h"

#include <QFile>

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace mirelo {

namespace {

int readFromFile(GifFileType* gif, GifByteType* buffer, int length) {
    auto* file = static_cast<QFile*>(gif->UserData);
    const qint64 got = file->read(reinterpret_cast<char*>(buffer), length);
    return got < 0 ? 0 : int(got);
}

class GifDecoder final : public AnimationDecoder {
public:
    explicit GifDecoder(const QString& path) : m_file(path) { m_path = path; }
    ~GifDecoder() override {
        if (m_gif) {
            int error = 0;
            DGifCloseFile(m_gif, &error);
        }
    }

    bool start() {
        if (!m_file.open(QIODevice::ReadOnly)) {
            fail(OpenProblem::cannotRead, m_file.errorString());
            return false;
        }
        int error = 0;
        m_gif = DGifOpen(&m_file, readFromFile, &error);
        if (!m_gif) {
            fail(OpenProblem::damaged, QString::fromUtf8(GifErrorString(error)));
            return false;
        }
        m_size = QSize(m_gif->SWidth, m_gif->SHeight);
        if (!sizeAllowed(m_size)) {
            return false;
        }
        m_canvas.assign(size_t(m_size.width()) * size_t(m_size.height()), 0u);
        return true;
    }

    QSize size() const override { return m_size; }

    std::optional<DecodedFrame> next() override {
        if (!m_gif || m_failure || m_ended) {
            return std::nullopt;
        }
        disposePrevious();
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        while (true) {
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            if (DGifGetRecordType(m_gif, &type) == GIF_ERROR) {
                // A file cut off between two frames plays up to there, as it does in browsers;
                // one cut inside a frame is damaged.
                if (m_frames > 0 && m_file.atEnd()) {
                    m_ended = true;
                    return std::nullopt;
                }
                return failGif();
            }
            if (type == TERMINATE_RECORD_TYPE) {
                m_ended = true;
                if (m_frames == 0) {
                    return fail(OpenProblem::noFrames);
                }
                return std::nullopt;
            }
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* block = nullptr;
                if (DGifGetExtension(m_gif, &code, &block) == GIF_ERROR) {
                    return failGif();
                }
                if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                    DGifExtensionToGCB(block[0], block + 1, &control);
                }
                while (block) {
                    if (DGifGetExtensionNext(m_gif, &block) == GIF_ERROR) {
                        return failGif();
                    }
                }
                continue;
            }
            if (type == IMAGE_DESC_RECORD_TYPE) {
                if (DGifGetImageDesc(m_gif) == GIF_ERROR) {
                    return failGif();
                }
                return drawFrame(control);
            }
        }
    }

private:
    std::nullopt_t failGif() {
        return fail(OpenProblem::damaged, QString::fromUtf8(GifErrorString(m_gif->Error)));
    }

    std::optional<DecodedFrame> drawFrame(const GraphicsControlBlock& control) {
        if (++m_frames > kMaxOpenFrames) {
            fail(OpenProblem::tooManyFrames);
            m_failure->limit = kMaxOpenFrames;
            return std::nullopt;
        }
        const GifImageDesc& desc = m_gif->Image;
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : m_gif->SColorMap;
        if (!map || !map->Colors || desc.Width < 1 || desc.Height < 1) {
            return fail(OpenProblem::damaged, QStringLiteral("a frame without a colour table"));
        }
        // The frame's rectangle on the canvas; rows and columns beyond it are read and dropped.
        const QRect rect =
            QRect(desc.Left, desc.Top, desc.Width, desc.Height) & QRect(QPoint(0, 0), m_size);
        m_disposal = control.DisposalMode;
        m_rect = rect;
        if (m_disposal == DISPOSE_PREVIOUS) {
            saveRect(rect);
        }
        uint32_t palette[256];
        for (int i = 0; i < 256; ++i) {
            if (i < map->ColorCount && i != control.TransparentColor) {
                const GifColorType& c = map->Colors[i];
                const uchar rgba[4] = {c.Red, c.Green, c.Blue, 255};
                std::memcpy(&palette[i], rgba, 4);
            } else {
                palette[i] = 0;  // transparent: the canvas shows through
            }
        }
        std::vector<GifPixelType> line(size_t(desc.Width));
        const auto drawRow = [&](int row) {
            const int y = desc.Top + row;
            if (y < rect.top() || y > rect.bottom() || rect.isEmpty()) {
                return;
            }
            uint32_t* out = m_canvas.data() + size_t(y) * size_t(m_size.width());
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const GifPixelType index = line[size_t(x - desc.Left)];
                if (index < map->ColorCount && index != control.TransparentColor) {
                    out[x] = palette[index];
                }
            }
        };
        if (desc.Interlace) {
            static constexpr int kStart[4] = {0, 4, 2, 1};
            static constexpr int kStep[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass) {
                for (int row = kStart[pass]; row < desc.Height; row += kStep[pass]) {
                    if (DGifGetLine(m_gif, line.data(), desc.Width) == GIF_ERROR) {
                        return failGif();
                    }
                    drawRow(row);
                }
            }
        } else {
            for (int row = 0; row < desc.Height; ++row) {
                if (DGifGetLine(m_gif, line.data(), desc.Width) == GIF_ERROR) {
                    return failGif();
                }
                drawRow(row);
            }
        }
        const int centiseconds = control.DelayTime < 2 ? 10 : control.DelayTime;
        Image image = ImageServices::fromBytes(reinterpret_cast<const uint8_t*>(m_canvas.data()),
                                               m_size.width(), m_size.height(),
                                               qsizetype(m_size.width()) * 4);
        if (image.isNull()) {
            return fail(OpenProblem::tooLarge);
        }
        return DecodedFrame{std::move(image), centiseconds / 100.0};
    }

    void saveRect(const QRect& rect) {
        m_saved.resize(size_t(std::max(0, rect.width())) * size_t(std::max(0, rect.height())));
        for (int y = 0; y < rect.height(); ++y) {
            std::memcpy(m_saved.data() + size_t(y) * size_t(rect.width()),
                        m_canvas.data() + size_t(rect.top() + y) * size_t(m_size.width()) +
                            size_t(rect.left()),
                        size_t(rect.width()) * 4);
        }
    }

    // Undoes what the frame before asked to undo once it had been shown.
    void disposePrevious() {
        const QRect rect = m_rect;
        if (rect.isEmpty()) {
            return;
        }
        for (int y = 0; y < rect.height(); ++y) {
            uint32_t* row = m_canvas.data() + size_t(rect.top() + y) * size_t(m_size.width()) +
                            size_t(rect.left());
            if (m_disposal == DISPOSE_BACKGROUND) {
                std::fill(row, row + rect.width(), 0u);
            } else if (m_disposal == DISPOSE_PREVIOUS) {
                std::memcpy(row, m_saved.data() + size_t(y) * size_t(rect.width()),
                            size_t(rect.width()) * 4);
            }
        }
        m_rect = QRect();
    }

    QFile m_file;
    GifFileType* m_gif = nullptr;
    QSize m_size;
    std::vector<uint32_t> m_canvas;  // premultiplied RGBA, as the standard surface
    std::vector<uint32_t> m_saved;   // under the last frame, for "restore to previous"
    QRect m_rect;                    // the last frame's rectangle, disposed before the next
    int m_disposal = DISPOSAL_UNSPECIFIED;
    qint64 m_frames = 0;
    bool m_ended = false;
};

}  // namespace

std::unique_ptr<AnimationDecoder> openGifDecoder(const QString& path, OpenError* error) {
    auto decoder = std::make_unique<GifDecoder>(path);
    if (!decoder->start()) {
        if (error) {
            *error = *decoder->failure();
        }
        return nullptr;
    }
    return decoder;
}

}  // namespace mirelo
