// Feeds arbitrary bytes to the BMP reader: it must refuse or decode, never crash or over-allocate.
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz_image_reader(qcore::detail::decode_bmp, data, size);
}
