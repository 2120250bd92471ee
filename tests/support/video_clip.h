#pragma once
// Clips for the video tests: every frame one solid colour that tells the frames apart.
#include <qcore/platform/dshow/clip_writer.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace qcore::test {

struct Bgr {
    uint8_t b, g, r;
};

// Frame n's colour; neighbouring frames differ by far more than the codec's error.
inline Bgr frame_colour(int n) {
    return Bgr{static_cast<uint8_t>(40 + (n * 53) % 180), static_cast<uint8_t>(200 - (n * 29) % 160),
               static_cast<uint8_t>(30 + (n * 71) % 190)};
}

inline void paint_solid(int n, uint8_t* bgr, int pitch, int width, int height) {
    const Bgr c = frame_colour(n);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = bgr + static_cast<ptrdiff_t>(y) * pitch + x * 3;
            p[0] = c.b, p[1] = c.g, p[2] = c.r;
        }
}

// A clip of solid frames at 25 frames per second.
inline bool write_solid_clip(const std::string& path, int width, int height, int frames) {
    GeneratedClip clip;
    clip.width = width;
    clip.height = height;
    clip.frames = frames;
    clip.paint = paint_solid;
    return write_generated_clip(path.c_str(), clip);
}

// The first frame whose colour is within `tolerance` of (b, g, r) in every channel, or -1.
inline int frame_of_colour(int b, int g, int r, int frames, int tolerance = 12) {
    for (int n = 0; n < frames; ++n) {
        const Bgr c = frame_colour(n);
        if (std::abs(c.b - b) <= tolerance && std::abs(c.g - g) <= tolerance &&
            std::abs(c.r - r) <= tolerance)
            return n;
    }
    return -1;
}

} // namespace qcore::test
