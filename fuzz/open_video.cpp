// A video opened in the editor or by mirelo-convert may hold anything: the container and
// codec libraries parse it, and the first frames are converted, turned and timed.
#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mirelo::fuzz::decodeFile(data, size, "input.video", mirelo::openVideoDecoder, 16);
    return 0;
}
