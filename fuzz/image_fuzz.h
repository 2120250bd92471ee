#pragma once
// The one way every image reader is fuzzed: information only, then a full decode (at reduced scale for odd
// sizes), then every level converted to ARGB.
#include <qcore/platform/d3d8/d3dx/image_codec.h>

using ImageReader = HRESULT (*)(const uint8_t*, size_t, qcore::detail::DecodedImage&,
                                const qcore::detail::DecodeOptions&);

inline int fuzz_image_reader(ImageReader read, const uint8_t* data, size_t size) {
    using namespace qcore::detail;
    DecodedImage image;
    DecodeOptions info_only;
    info_only.info_only = true;
    read(data, size, image, info_only);
    image = {};
    DecodeOptions scaled;
    scaled.min_width = 16, scaled.min_height = 16;
    if (FAILED(read(data, size, image, size % 2 ? scaled : DecodeOptions{}))) return 0;
    ArgbImage argb;
    for (size_t i = 0; i < image.levels.size(); ++i)
        level_to_argb(image, i, argb);
    return 0;
}
