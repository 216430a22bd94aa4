// A WebP opened in the editor or by mirelo-convert may hold anything: every frame decoded.
#include "DecoderFuzz.h"

#include <webp/demux.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A large canvas is allowed and costs its memory in full; the fuzzer looks at the parsing.
    const WebPData bytes{data, size};
    if (WebPDemuxer* demux = WebPDemux(&bytes)) {
        const size_t pixels = size_t(WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH)) *
                              WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
        WebPDemuxDelete(demux);
        if (pixels > 1u << 22) {
            return 0;
        }
    }
    mirelo::fuzz::decodeFile(data, size, "input.webp", mirelo::openWebPDecoder);
    return 0;
}
