#include <qcore/image/dibitmap.h>
#include <qcore/image/psd_file.h>

#include "platform/d3d8/d3dx/device_fixture.h"
#include "support/psd_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qcore::test {
namespace {

using DibOnPsd = D3dxDeviceTest;

// Photoshop files are the PSD reader's: the DIB loaders go through the extension library, which does not
// read them, so every delivery refuses one cleanly, under its own extension or one the loaders know, and
// leaves no pixels of an earlier bitmap behind; the reader still delivers the file's pixels.
TEST_F(DibOnPsd, EveryDeliveryRefusesAPhotoshopFileAndClears) {
    TempDir dir;
    constexpr uint32_t w = 16, h = 8;
    Image img{w, h, std::vector<Bytes>(4, Bytes(w * h))};
    std::vector<uint8_t> bgra;
    for (uint32_t i = 0; i < w * h; ++i) {
        const uint8_t rgba[4] = {uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 7 + 1), uint8_t(i * 2)};
        for (int k = 0; k < 4; ++k)
            img.planes[k][i] = rgba[k];
        bgra.insert(bgra.end(), {rgba[2], rgba[1], rgba[0], rgba[3]});
    }
    const Bytes bytes = write_psd(img);
    const std::string psd = dir.file("a.psd"), disguised = dir.file("b.png");
    for (const std::string& name : {psd, disguised})
        write_file_bytes(name, std::string(bytes.begin(), bytes.end()));

    // An earlier bitmap, so that a refusal that keeps old pixels shows.
    HBITMAP earlier = CreateBitmap(8, 4, 1, 32, std::vector<DWORD>(32, 0x123456).data());
    ASSERT_TRUE(earlier);
    CDibitmap dib;
    for (const std::string& name : {psd, disguised})
        for (IMG_CHANNEL channel : {IMG_CHANNEL_ARGB, IMG_CHANNEL_ALPHA, IMG_CHANNEL_RGB_OVER_BG}) {
            ASSERT_EQ(dib.create_from_HBITMAP(earlier), 1);
            EXPECT_EQ(dib.create_from_file_by_d3d(device_, name.c_str(), channel, RGB(255, 255, 255)), 0)
                << name << " " << channel;
            EXPECT_EQ(dib.is_valid(), 0u);
        }
    ASSERT_EQ(dib.create_from_HBITMAP(earlier), 1);
    EXPECT_EQ(dib.create_from_file_alpha_by_d3d(device_, psd.c_str()), 0);
    EXPECT_EQ(dib.is_valid(), 0u);
    ASSERT_EQ(dib.create_from_HBITMAP(earlier), 1);
    EXPECT_EQ(dib.create_from_file_rgb_by_d3d(device_, psd.c_str()), 0);
    EXPECT_EQ(dib.is_valid(), 0u);
    DeleteObject(earlier);

    CPsdFile reader;
    ASSERT_TRUE(reader.LoadPsdFile(psd.c_str(), IMG_CHANNEL_ARGB, 0));
    EXPECT_EQ(std::memcmp(reader.GetColorData(), bgra.data(), bgra.size()), 0);
}

} // namespace
} // namespace qcore::test
