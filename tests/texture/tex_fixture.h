#pragma once
// A core with a software device in a hidden window, a temporary folder, and image files written into it.
#include <qcore/core/device.h>
#include <qcore/platform/d3d8/d3dx/image_codec.h>
#include <qcore/texture/tex_man.h>
#include <qcore/texture/texture.h>

#include "core/device_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace qcore::test {

class TexFixture : public DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        device = std::make_unique<CDevice>(&core);
        core.dev = device.get();
        ASSERT_EQ(device->create_windowed_device(window(), D3DFMT_D16, 64, 64), 1);
    }
    void TearDown() override {
        core.dev = nullptr;
        device.reset();
        DeviceFixture::TearDown();
    }

    // A solid image of one ARGB colour; the format follows the extension (bmp, jpg, png, tga).
    std::string image(const std::string& name, uint32_t w, uint32_t h, uint32_t argb = 0xff204060u) const {
        detail::ArgbImage img;
        img.width = w;
        img.height = h;
        img.pixels.assign(size_t{w} * h, argb);
        const std::string ext = name.substr(name.rfind('.') + 1);
        std::vector<uint8_t> bytes = ext == "jpg"   ? detail::encode_jpeg(img, 95)
                                     : ext == "png" ? detail::encode_png(img, false)
                                     : ext == "tga" ? detail::encode_tga(img, false)
                                                    : detail::encode_bmp(img, true);
        const std::string path = dir.file(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        write_file_bytes(path, std::string(bytes.begin(), bytes.end()));
        return path;
    }

    CMyComPtr<ITexture> texture(const std::string& path, int enable = 1,
                                const CTexFileCreateOpt& opt = CTexFileCreateOpt()) {
        CMyComPtr<ITexture> t = ITexture::create_empty(&core, enable);
        t->create_tex_file(path.c_str(), nullptr, opt, 1);
        return t;
    }

    static D3DSURFACE_DESC level0(IDirect3DTexture8* t) {
        D3DSURFACE_DESC d{};
        if (t) t->GetLevelDesc(0, &d);
        return d;
    }

    std::string last_log() const { return core.log->get_last_log_msg().GetString(); }

    TempDir dir;
    std::unique_ptr<CDevice> device;
};

} // namespace qcore::test
