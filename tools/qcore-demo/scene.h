#pragma once
// The demo's 3D part: a device on a render window, a lit, textured, spinning torus drawn through a viewport
// with a 4:3 work area, its camera and the render-state manager, an orbit tool on the mouse, a device reset
// for a new desktop size and one for antialiasing, and a read-back of the window.
#include <qcore/qcore.h>

struct SceneOptions {
    int frames = 120;
    int width = 640;
    int height = 480;
    const char* save_path = nullptr; // a BMP of the last frame, when given
    int linger_ms = 0;               // keeps the last frame on show this long (a real window stays open)
    int aa = 1;                      // antialiasing scale at the start (1 or 2; the A key switches)
    bool fly = false;                // the camera flies a closed path around the torus
    bool video = true;               // a looping video on a panel in the corner
};

// Runs the scene; returns 0 when every step worked and the window shows the torus.
int run_scene(gCore& core, const SceneOptions& options);
