#pragma once
// How 32-bit images are delivered by the image loaders.

enum IMG_CHANNEL : int {
    IMG_CHANNEL_ARGB = 0,        // colour and alpha as stored
    IMG_CHANNEL_ALPHA = 1,       // the alpha channel as grey
    IMG_CHANNEL_RGB_OVER_BG = 2, // colour composited over a background colour by alpha
};
