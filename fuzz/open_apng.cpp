// A PNG opened in the editor may be animated and may hold anything: its chunks are split,
// every frame put back together as a PNG of its own, decoded and composited.
#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A large canvas is allowed and costs its memory in full; the fuzzer looks at the parsing.
    if (size >= 24) {
        const auto be32 = [&](size_t at) {
            return uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 |
                   uint32_t(data[at + 2]) << 8 | data[at + 3];
        };
        if (uint64_t(be32(16)) * be32(20) > 1u << 22) {
            return 0;
        }
    }
    mirelo::fuzz::decodeFile(data, size, "input.png", mirelo::openApngDecoder);
    return 0;
}
