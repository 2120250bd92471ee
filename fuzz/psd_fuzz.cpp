#include <qcore/image/psd_file.h>

#include <cstddef>
#include <cstdint>

// Loads arbitrary bytes as a Photoshop file with each delivery; the first byte picks the background.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const COLORREF bg = size ? data[0] * 0x010101u : 0;
    for (IMG_CHANNEL channel : {IMG_CHANNEL_ARGB, IMG_CHANNEL_ALPHA, IMG_CHANNEL_RGB_OVER_BG}) {
        CPsdFile psd;
        if (psd.LoadPsdMemory(data, size, channel, bg)) {
            const size_t n = static_cast<size_t>(psd.GetWidth()) * static_cast<size_t>(psd.GetHeight()) * 4;
            volatile uint8_t sink = n ? psd.GetColorData()[n - 1] : 0;
            (void)sink;
        }
    }
    return 0;
}
