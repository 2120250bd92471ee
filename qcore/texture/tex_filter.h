#pragma once
// How a texture reference filters its texture.
#include <cstdint>

enum TEX_FILTER_TYPE : int32_t {
    TEX_FILTER_POINT = 0,
    TEX_FILTER_LINEAR = 1,
    TEX_FILTER_LINEAR_MIPMAP = 2,
};
