#pragma once
// Short video clips encoded in-process, for tests, benchmarks and demonstrations that need a video file
// without shipping one.
#include <cstdint>
#include <functional>

namespace qcore {

struct GeneratedClip {
    int width = 320;
    int height = 240;
    int frames = 25;
    int fps = 25;
    const char* codec = "mpeg4"; // an FFmpeg encoder name
    int quality = 2;             // fixed quantiser, 1 (best) to 31
    int gop = 12;                // frames from one key frame to the next
    // From frame `resize_at` on (when non-zero) frames are encoded at resize_width x resize_height, in the
    // same stream: a stream whose size changes partway.
    int resize_at = 0;
    int resize_width = 0;
    int resize_height = 0;
    // Paints frame `n` as 24-bit BGR, top row first, `pitch` bytes per row; empty: moving colour bars.
    std::function<void(int n, uint8_t* bgr, int pitch, int width, int height)> paint;
};

// Writes the clip to `path`; the container follows the extension (".avi", ".mp4", ".mkv", ...).
bool write_generated_clip(const char* path, const GeneratedClip& clip);

} // namespace qcore
