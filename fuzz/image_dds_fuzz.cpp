// Feeds arbitrary bytes to the DDS reader: it must refuse or decode, never crash or over-allocate.
#include <qcore/platform/d3d8/d3dx/image_codec.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qcore::detail;
    DecodedImage image;
    DecodeOptions info_only;
    info_only.info_only = true;
    decode_dds(data, size, image, info_only);
    image = {};
    DecodeOptions scaled;
    scaled.min_width = 16, scaled.min_height = 16;
    if (FAILED(decode_dds(data, size, image, size % 2 ? scaled : DecodeOptions{}))) return 0;
    ArgbImage argb;
    for (size_t i = 0; i < image.levels.size(); ++i)
        level_to_argb(image, i, argb);
    return 0;
}
