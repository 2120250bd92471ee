#include <qcore/image/looping_video.h>

#include <qcore/platform/dshow/clip_writer.h>
#include <qcore/platform/win32/com_runtime.h>

#include <cstdio>

namespace qcore {

class LoopingVideo::Video final : public CBaseVideoTexture {
public:
    explicit Video(std::atomic<int>& shown) : shown_(shown) {}
    void on_texture_updated() override { ++shown_; }

private:
    std::atomic<int>& shown_;
};

LoopingVideo::LoopingVideo() = default;

LoopingVideo::~LoopingVideo() {
    stop();
}

bool LoopingVideo::start(IDirect3DDevice8* device, const char* folder, int width, int height, int frames) {
    stop();
    if (!device || !folder) return false;
    path_ = folder;
    if (!path_.empty() && path_.back() != '/' && path_.back() != '\\') path_ += '/';
    path_ += "looping_video.avi";
    GeneratedClip clip;
    clip.width = width;
    clip.height = height;
    clip.frames = frames;
    if (!write_generated_clip(path_.c_str(), clip)) {
        path_.clear();
        return false;
    }
    com_ = SUCCEEDED(CoInitialize(nullptr));
    video_ = std::make_unique<Video>(frames_shown_);
    if (FAILED(video_->Load(device, path_.c_str()))) {
        stop();
        return false;
    }
    video_->Play();
    return true;
}

IDirect3DTexture8* LoopingVideo::texture() {
    if (!video_) return nullptr;
    // Without a main window there is no event window: the loop events are picked up here instead.
    if (!video_->event_wnd) video_->proc_vid_event();
    return video_->GetTexture();
}

void LoopingVideo::stop() {
    video_.reset();
    if (com_) CoUninitialize();
    com_ = false;
    if (!path_.empty()) std::remove(path_.c_str());
    path_.clear();
}

} // namespace qcore
