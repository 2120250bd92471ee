#pragma once
// Resampling of ARGB images under the D3DX filters, and colour keying.
#include <qcore/platform/d3d8/d3dx/pixel_format.h>
#include <qcore/platform/win32/types.h>

namespace qcore::detail {

// The filter with D3DX_DEFAULT resolved: triangle with dithering for images, box for mip levels.
DWORD resolve_image_filter(DWORD filter);
DWORD resolve_mip_filter(DWORD filter);
// False when the filter's type is not one of NONE, POINT, LINEAR, TRIANGLE or BOX.
bool is_valid_filter(DWORD filter);

// Scales `src` to width x height. NONE copies without scaling (what lies outside the source is
// transparent black); the mirror bits choose mirrored rather than clamped edges.
ArgbImage resample(const ArgbImage& src, uint32_t width, uint32_t height, DWORD filter);

// The next level of a mip chain: half the size in each direction, at least 1.
ArgbImage next_mip_level(const ArgbImage& src, DWORD filter);

// Pixels equal to `key` (ARGB, alpha included) become transparent black. A key of 0 disables keying.
void apply_colour_key(ArgbImage& image, D3DCOLOR key);

// The rectangle [left, top, right, bottom) of an image.
ArgbImage crop(const ArgbImage& src, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom);

} // namespace qcore::detail
