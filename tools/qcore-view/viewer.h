#pragma once
// The viewer program's parts put together: a render window with a device, the scene view on it, the mouse
// tool, the bitmap font, the videos of the scene's materials, the camera path, screenshots, and the keys.
//
//   qview::CViewer viewer(core, scene);
//   if (!viewer.open(options, error)) ...   // window and device: the scene's meshes are made on it
//   scene.load(path, error); viewer.show_scene();
//   viewer.render_frame();            // one frame; the path advances when playback is on
//   viewer.save_shot("shot.jpg");     // what the window shows, as JPEG or BMP
//
// Keys: S saves a screenshot beside the working folder, A switches antialiasing, P starts or stops the
// camera path, arrows move the picked item, Ctrl+Z undoes, Ctrl+Y redoes, Escape closes the window.
#include "scene_view.h"
#include "view_tool.h"

#include <memory>
#include <string>
#include <vector>

namespace qview {

struct ViewerOptions {
    int width = 640;
    int height = 480;
    int aa = 1;                                  // antialiasing scale, 1 or 2
    bool play_path = false;                      // the camera follows the scene's path
    bool videos = true;                          // materials that name a video play it
    int path_frames = 240;                       // frames for one pass along the path
    std::string shot_prefix = "qcore-view-shot"; // S saves <prefix>-N.jpg
};

class CViewer {
public:
    CViewer(gCore& core, qscene::CScene& scene);
    ~CViewer();
    CViewer(const CViewer&) = delete;
    CViewer& operator=(const CViewer&) = delete;

    // Creates the window and its device (the core's device from then on) and shows the scene as it is;
    // false with a one-line reason.
    bool open(const ViewerOptions& options, std::string& error);
    // Shows the scene after it changed: its camera and work area, the tool's pivot at its centre, the
    // videos of its materials; the selection and the undo history start afresh.
    void show_scene();
    // Draws one frame and records it on the timer.
    void render_frame();
    // Resizes the window and resets the device for it; everything on show stays.
    bool resize(int width, int height);
    // Antialiasing scale 1 or 2 (the device is reset); everything on show stays.
    bool set_aa(int scale);
    // Plays the scene's camera path; a scene with items but no path gets a circle around it.
    void play_path(bool on);
    bool is_playing_path() const { return playing_; }
    // Saves what the window shows (JPEG or BMP by the name's extension).
    bool save_shot(const char* path);
    // The keys described above; true when the key meant something.
    bool on_key(UINT key);

    bool is_open() const;
    // The window was asked to close (its close button, Escape); it stays open until the viewer goes.
    bool close_asked() const;
    HWND hwnd() const;
    CSceneView& view() { return *view_; }
    CDevice& device() { return *device_; }
    const CTimer& timer() const { return timer_; }
    int frames() const { return frame_; }
    // Videos that could not be loaded are left out with a log entry; how many play.
    int videos_playing() const;

private:
    class Window;
    struct Video;
    void start_videos();
    void update_videos();
    void after_reset();
    // Moves the picked item by a step along the camera's axes (in units of the scene's size).
    void nudge(float right, float up);

    gCore& core_;
    qscene::CScene& scene_;
    ViewerOptions options_;
    std::unique_ptr<Window> wnd_;
    std::unique_ptr<CDevice> device_;
    std::unique_ptr<CSceneView> view_;
    std::unique_ptr<ViewTool> tool_;
    std::unique_ptr<CD3dFont> font_;
    std::vector<std::unique_ptr<Video>> videos_;
    bool com_ = false;
    CTimer timer_;
    bool playing_ = false;
    int frame_ = 0;
    int path_frame_ = 0;
    int shots_ = 0;
};

} // namespace qview
