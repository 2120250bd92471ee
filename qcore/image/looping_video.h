#pragma once
// A generated clip looping in a video texture, for programs that show video on a surface without shipping
// a video file (the demonstration program).
#include <qcore/image/video_texture.h>

#include <atomic>
#include <memory>
#include <string>

namespace qcore {

class LoopingVideo {
public:
    LoopingVideo();
    ~LoopingVideo();
    LoopingVideo(const LoopingVideo&) = delete;
    LoopingVideo& operator=(const LoopingVideo&) = delete;

    // Writes a clip of moving colour bars (width x height, `frames` at 25 a second) into `folder` and
    // starts it playing on `device`; false when the clip cannot be written or loaded. Call on the thread
    // that pumps the window messages: the application's main window, when set, carries the loop events.
    bool start(IDirect3DDevice8* device, const char* folder, int width = 256, int height = 256,
               int frames = 50);
    // The texture the video plays into (null before start): bind it like any other texture.
    IDirect3DTexture8* texture();
    // Frames written into the texture so far.
    int frames_shown() const { return frames_shown_.load(); }
    // Stops the video and removes the clip.
    void stop();

private:
    class Video;
    std::unique_ptr<Video> video_;
    std::string path_;
    std::atomic<int> frames_shown_{0};
    bool com_ = false;
};

} // namespace qcore
