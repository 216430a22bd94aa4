// A GIF opened in the editor or by mirelo-convert may hold anything: every frame decoded and
// composited.
#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A large canvas is allowed and costs its memory in full; the fuzzer looks at the parsing.
    if (size >= 10 && size_t(data[6] | data[7] << 8) * size_t(data[8] | data[9] << 8) > 1u << 22) {
        return 0;
    }
    mirelo::fuzz::decodeFile(data, size, "input.gif", mirelo::openGifDecoder);
    return 0;
}
