#include <qcore/core/device.h>
#include <qcore/core/rs_man.h>
#include <qcore/platform/d3d8/device_hooks.h>
#include <qcore/platform/win32/message_box.h>

#include "core/device_fixture.h"

#include <gtest/gtest.h>

namespace {

using qcore::DeviceCall;

const char* const kTooDeep = "capture 和 restore 的嵌套层数太多!";
const char* const kUnpaired = "capture 和 restore必须成对使用!";

class RsManTest : public qcore::test::DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        ASSERT_EQ(device.create_windowed_device(window(), D3DFMT_D16, 64, 64), 1);
        rs = device.get_rs_man();
        dev = device.get_dev();
        qcore::reset_device_call_counts(dev);
    }
    uint64_t sets() const {
        return qcore::device_call_count(dev, DeviceCall::SetRenderState) +
               qcore::device_call_count(dev, DeviceCall::SetTextureStageState);
    }

    CDevice device{&core};
    CRsMan* rs = nullptr;
    IDirect3DDevice8* dev = nullptr;
};

TEST(RsManWithoutDevice, SetsChangeOnlyTheCacheUntilInit) {
    gCore core;
    CRsMan early(&core);
    EXPECT_EQ(early.set_rs(D3DRS_ZENABLE, 1), 0u);
    EXPECT_EQ(early.get_rs(D3DRS_ZENABLE), 1u);
    EXPECT_EQ(early.set_tss(0, D3DTSS_COLOROP, D3DTOP_MODULATE), 0u);
    early.tss_alpha(1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    early.mipmap(0, TEX_FILTER_LINEAR);
    const int handle = early.capture_rs();
    early.set_rs(D3DRS_LIGHTING, 0);
    early.restore_rs(handle);
    EXPECT_EQ(early.get_rs(D3DRS_LIGHTING), 0u);
}

TEST_F(RsManTest, RedundantSetsNeverReachTheDevice) {
    const DWORD lighting = rs->get_rs(D3DRS_LIGHTING);
    EXPECT_EQ(rs->set_rs(D3DRS_LIGHTING, lighting), lighting);
    EXPECT_EQ(sets(), 0u);
    EXPECT_EQ(rs->set_rs(D3DRS_LIGHTING, !lighting), lighting);
    EXPECT_EQ(rs->set_rs(D3DRS_LIGHTING, !lighting), static_cast<DWORD>(!lighting));
    EXPECT_EQ(sets(), 1u);
    DWORD on_device = 99;
    dev->GetRenderState(D3DRS_LIGHTING, &on_device);
    EXPECT_EQ(on_device, static_cast<DWORD>(!lighting));

    EXPECT_EQ(rs->set_tss(4, D3DTSS_COLOROP, D3DTOP_ADD), 0u);
    EXPECT_EQ(rs->get_tss(4, D3DTSS_COLOROP), 0u);
    rs->mipmap(4, TEX_FILTER_LINEAR);
    rs->mipmap(0, static_cast<TEX_FILTER_TYPE>(3));
    EXPECT_EQ(sets(), 1u);
}

TEST_F(RsManTest, MipmapAndStageHelpers) {
    rs->mipmap(1, TEX_FILTER_LINEAR_MIPMAP);
    EXPECT_EQ(rs->get_tss(1, D3DTSS_MIPFILTER), static_cast<DWORD>(D3DTEXF_LINEAR));
    EXPECT_EQ(rs->get_tss(1, D3DTSS_MINFILTER), static_cast<DWORD>(D3DTEXF_LINEAR));
    rs->mipmap(1, TEX_FILTER_POINT);
    EXPECT_EQ(rs->get_tss(1, D3DTSS_MIPFILTER), static_cast<DWORD>(D3DTEXF_NONE));
    EXPECT_EQ(rs->get_tss(1, D3DTSS_MAGFILTER), static_cast<DWORD>(D3DTEXF_POINT));
    rs->tss_color(2, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    rs->tss_alpha(2, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT);
    DWORD v = 0;
    dev->GetTextureStageState(2, D3DTSS_ALPHAARG2, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTA_CURRENT));
    EXPECT_EQ(rs->get_tss(2, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
}

TEST_F(RsManTest, SnapshotRestoreWritesOnlyDifferencesInItsRanges) {
    RSTATE snap;
    rs->capture_rs(&snap);
    rs->set_rs(D3DRS_ZENABLE, !rs->get_rs(D3DRS_ZENABLE));
    rs->set_rs(D3DRS_CULLMODE, D3DCULL_NONE);
    qcore::reset_device_call_counts(dev);
    RSTATE edited = snap;
    edited.v[3] = 12345; // below 7: never written
    edited.v[100] = 777; // 61 to 127: never written
    rs->restore_rs(&edited);
    EXPECT_EQ(sets(), 2u);
    EXPECT_EQ(rs->get_rs(D3DRS_CULLMODE), snap.v[D3DRS_CULLMODE]);
    EXPECT_NE(rs->get_rs(3), 12345u);
    EXPECT_NE(rs->get_rs(100), 777u);
    qcore::reset_device_call_counts(dev);
    rs->restore_rs(&edited);
    EXPECT_EQ(sets(), 0u);

    TSSTATE tsnap;
    rs->capture_tss(&tsnap);
    rs->set_tss(3, D3DTSS_COLOROP, D3DTOP_ADD);
    rs->restore_tss(&tsnap);
    EXPECT_EQ(rs->get_tss(3, D3DTSS_COLOROP), tsnap.v[3][D3DTSS_COLOROP]);
}

TEST_F(RsManTest, StackHandlesAndMessages) {
    qcore::MessageBoxRecorder boxes;
    const DWORD original = rs->get_rs(D3DRS_ALPHAREF);
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(rs->capture_rs(), i);
        rs->set_rs(D3DRS_ALPHAREF, static_cast<DWORD>(i));
    }
    EXPECT_EQ(rs->capture_rs(), 0);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{kTooDeep});
    rs->restore_rs(0);
    EXPECT_EQ(boxes.count(), 1u);
    rs->restore_rs(7);
    EXPECT_EQ(boxes.texts().back(), kUnpaired);
    EXPECT_EQ(rs->rs_depth, 8);
    for (int h = 8; h >= 1; --h)
        rs->restore_rs(h);
    EXPECT_EQ(rs->rs_depth, 0);
    EXPECT_EQ(rs->get_rs(D3DRS_ALPHAREF), original);

    EXPECT_EQ(rs->capture_tss(), 1);
    EXPECT_EQ(rs->capture_tss(), 2);
    rs->restore_tss(1);
    EXPECT_EQ(rs->tss_depth, 2);
    EXPECT_EQ(boxes.texts().back(), kUnpaired);
}

TEST_F(RsManTest, StandardSnapshot) {
    rs->set_cur_state_as_standard();
    EXPECT_TRUE(rs->is_cur_state_same_with_standard());
    rs->set_tss(0, D3DTSS_TEXCOORDINDEX, 1);
    EXPECT_FALSE(rs->is_cur_state_same_with_standard());
    rs->apply_standard_tss();
    EXPECT_TRUE(rs->is_cur_state_same_with_standard());
    rs->set_rs(D3DRS_FOGENABLE, 1);
    rs->apply_standard_rs();
    EXPECT_TRUE(rs->is_cur_state_same_with_standard());
}

TEST_F(RsManTest, ResetBringsBackTheDeviceDefaults) {
    const DWORD default_cull = rs->get_rs(D3DRS_CULLMODE);
    rs->set_rs(D3DRS_CULLMODE, D3DCULL_NONE);
    rs->capture_rs();
    qcore::set_desktop_mode(320, 200, D3DFMT_X8R8G8B8);
    ASSERT_EQ(device.reset_device(), 1);
    EXPECT_EQ(rs->get_rs(D3DRS_CULLMODE), default_cull);
    DWORD on_device = 0;
    dev->GetRenderState(D3DRS_CULLMODE, &on_device);
    EXPECT_EQ(on_device, default_cull);
    // The stack survives the reset.
    EXPECT_EQ(rs->rs_depth, 1);
}

} // namespace
