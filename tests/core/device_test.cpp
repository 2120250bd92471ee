#include <qcore/core/device.h>
#include <qcore/core/rs_man.h>
#include <qcore/platform/d3d8/device_hooks.h>
#include <qcore/platform/win32/ini.h>
#include <qcore/platform/win32/paths.h>
#include <qcore/platform/win32/win32.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include <unistd.h>

#include "core/device_fixture.h"
#include "support/process_recorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qcore::test::DeviceFixture;

const char* const kBadDesktop = "请将您的显示模式设置为16或32位色模式，否则Quorvantix无法运行!";
const char* const kAllFailed =
    "初始化Quorvantix失败！可能是以下的原因之一：\n\n1. "
    "显存不足，请关闭其他会占用显存的软件，如3dsmax，Quorvantix，三维游戏等，然后再试一次。"
    "\n\n2. 需要升级或重新安装显卡驱动。";

// A local object that records the walks, as render targets and fonts see them.
class Recorder : public CLocalObj {
public:
    Recorder(gCore* core, std::vector<std::string>* log, std::string name)
        : CLocalObj(core), log_(log), name_(std::move(name)) {}
    void v_on_restore_local_objects() override { log_->push_back("restore " + name_); }
    void v_on_delete_local_objects() override { log_->push_back("delete " + name_); }

private:
    std::vector<std::string>* log_;
    std::string name_;
};

class Status : public CBaseStatus {
public:
    std::vector<std::string> calls;
    void msg(const char* text, const char*) override { calls.push_back(text); }

protected:
    void show_progress(int range) override { calls.push_back("show " + std::to_string(range)); }
    void tick() override { calls.push_back("tick"); }
};

TEST_F(DeviceFixture, RefusesEightAndTwentyFourBitDesktops) {
    for (D3DFORMAT format : {D3DFMT_R8G8B8, D3DFMT_P8}) {
        qcore::set_desktop_mode(1024, 768, format);
        CDevice dev(&core);
        qcore::MessageBoxRecorder boxes;
        EXPECT_EQ(dev.create_windowed_device(window(), D3DFMT_D16, 320, 240), 0);
        EXPECT_EQ(boxes.texts(), std::vector<std::string>{kBadDesktop});
        EXPECT_EQ(dev.get_dev(), nullptr);
        EXPECT_EQ(dev.is_corrupt(), 0);
    }
    for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8}) {
        qcore::set_desktop_mode(1024, 768, format);
        CDevice dev(&core);
        EXPECT_EQ(dev.create_windowed_device(window(), D3DFMT_D16, 320, 240), 1);
        EXPECT_EQ(dev.get_cp().pp.BackBufferFormat, format);
    }
}

TEST_F(DeviceFixture, FallbackOrderStopsAtTheFirstSuccess) {
    std::vector<std::pair<DWORD, D3DFORMAT>> tries;
    int fail = 4;
    qcore::set_create_device_filter([&](const qcore::CreateDeviceRequest& r) {
        tries.emplace_back(r.behavior, r.pp.AutoDepthStencilFormat);
        return fail-- > 0 ? D3DERR_NOTAVAILABLE : D3D_OK;
    });
    CDevice dev(&core);
    ASSERT_EQ(dev.create_windowed_device(window(), D3DFMT_D16, 320, 240), 1);
    const std::vector<std::pair<DWORD, D3DFORMAT>> expected = {{0x40, D3DFMT_D24S8},
                                                               {0x80, D3DFMT_D24S8},
                                                               {0x20, D3DFMT_D24S8},
                                                               {0x40, D3DFMT_D16},
                                                               {0x80, D3DFMT_D16}};
    EXPECT_EQ(tries, expected);
    EXPECT_EQ(dev.get_cp().behavior, 0x80u);
    EXPECT_EQ(dev.get_cp().pp.AutoDepthStencilFormat, D3DFMT_D16);
    EXPECT_EQ(dev.get_vp_mode(), "mix vp");
    EXPECT_EQ(dev.get_device_type(), "HAL");
    EXPECT_NE(dev.get_rs_man(), nullptr);
}

TEST_F(DeviceFixture, AllSixFailingGivesTheLongMessage) {
    int calls = 0;
    qcore::set_create_device_filter([&](const qcore::CreateDeviceRequest&) {
        ++calls;
        return D3DERR_OUTOFVIDEOMEMORY;
    });
    CDevice dev(&core);
    qcore::MessageBoxRecorder boxes;
    EXPECT_EQ(dev.create_windowed_device(window(), D3DFMT_D16, 320, 240), 0);
    EXPECT_EQ(calls, 6);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{kAllFailed});
    EXPECT_EQ(dev.get_dev(), nullptr);
    EXPECT_EQ(dev.get_rs_man(), nullptr);
}

TEST_F(DeviceFixture, ResetsWithoutADeviceDoNothing) {
    CDevice never(&core);
    EXPECT_EQ(never.reset_device(), 0);
    EXPECT_EQ(never.reset_aa(0), 0);
    EXPECT_EQ(never.reset_aa(2), 0);
    qcore::fail_next_create_device_calls(6);
    CDevice failed(&core);
    qcore::MessageBoxRecorder boxes;
    ASSERT_EQ(failed.create_windowed_device(window(), D3DFMT_D16, 320, 240), 0);
    EXPECT_EQ(failed.reset_device(), 0);
    EXPECT_EQ(failed.reset_aa(0), 0);
    EXPECT_EQ(failed.reset_aa(2), 0);
    EXPECT_EQ(failed.is_corrupt(), 0);
    EXPECT_EQ(boxes.count(), 1u);
    // A second try after the failure works and keeps one Direct3D object.
    EXPECT_EQ(failed.create_windowed_device(window(), D3DFMT_D16, 320, 240), 1);
}

TEST_F(DeviceFixture, CreatedOnceWithTheParametersTheDeviceFilledIn) {
    CDevice dev(&core);
    ASSERT_EQ(dev.create_windowed_device(window(), D3DFMT_D16, 0, 0), 1);
    // A 0 by 0 request takes the window's client size.
    EXPECT_EQ(dev.get_bbuf_width(), 320);
    EXPECT_EQ(dev.get_bbuf_height(), 240);
    IDirect3DDevice8* first = dev.get_dev();
    const size_t registered = core.local_objs->size();
    qcore::MessageBoxRecorder boxes;
    EXPECT_EQ(dev.create_windowed_device(window(), D3DFMT_D16, 64, 64), 0);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"device already created"});
    EXPECT_EQ(dev.get_dev(), first);
    EXPECT_EQ(core.local_objs->size(), registered);
    EXPECT_EQ(dev.get_bbuf_width(), 320);
}

// A local object whose callbacks destroy objects of the list: itself or another one.
class Destroyer : public CLocalObj {
public:
    Destroyer(gCore* core, std::vector<std::string>* log, std::string name, CLocalObj** victim)
        : CLocalObj(core), log_(log), name_(std::move(name)), victim_(victim) {}
    void v_on_restore_local_objects() override { act("restore"); }
    void v_on_delete_local_objects() override { act("delete"); }

private:
    void act(const char* walk) {
        log_->push_back(std::string(walk) + " " + name_);
        CLocalObj* doomed = *victim_;
        *victim_ = nullptr;
        delete doomed; // may be this object: nothing of it is used afterwards
    }
    std::vector<std::string>* log_;
    std::string name_;
    CLocalObj** victim_;
};

TEST_F(DeviceFixture, WalksSurviveObjectsDestroyedByACallback) {
    CDevice dev(&core);
    ASSERT_EQ(dev.create_windowed_device(window(), D3DFMT_D16, 64, 64), 1);
    std::vector<std::string> walk;
    CLocalObj* victim = nullptr;
    CLocalObj* self = nullptr;
    auto* killer = new Destroyer(&core, &walk, "killer", &victim);
    victim = new Recorder(&core, &walk, "victim");
    self = new Destroyer(&core, &walk, "self", &self);
    Recorder tail(&core, &walk, "tail");
    dev.DeleteLocalObjects();
    EXPECT_EQ(walk, (std::vector<std::string>{"delete killer", "delete self", "delete tail"}));
    walk.clear();
    dev.RestoreLocalObjects();
    EXPECT_EQ(walk, (std::vector<std::string>{"restore killer", "restore tail"}));
    delete killer;
}

TEST_F(DeviceFixture, DesktopSizeAndNoDepthBuffer) {
    qcore::set_desktop_mode(800, 600, D3DFMT_X8R8G8B8);
    CDevice dev(&core);
    ASSERT_EQ(dev.create_windowed_device(window(), D3DFMT_UNKNOWN, -1, 240), 1);
    EXPECT_EQ(dev.get_bbuf_width(), 800);
    EXPECT_EQ(dev.get_bbuf_height(), 600);
    EXPECT_EQ(dev.have_zbuf(), 0);
    EXPECT_EQ(dev.get_stencil_bitcount(), 0);

    CDevice with_depth(&core);
    ASSERT_EQ(with_depth.create_windowed_device(window(), D3DFMT_D24S8, 64, 64), 1);
    EXPECT_EQ(with_depth.have_zbuf(), 1);
    EXPECT_EQ(with_depth.get_stencil_bitcount(), 8);
}

TEST_F(DeviceFixture, ResetWalksLocalObjectsInRegistrationOrder) {
    CDevice dev(&core);
    ASSERT_EQ(dev.create_windowed_device(window(), D3DFMT_D16, 320, 240), 1);
    std::vector<std::string> walk;
    Recorder a(&core, &walk, "a"), b(&core, &walk, "b");
    Status status;
    core.status = &status;
    qcore::set_desktop_mode(640, 480, D3DFMT_R5G6B5);
    ASSERT_EQ(dev.reset_device(), 1);
    core.status = &core.default_status;
    EXPECT_EQ(walk, (std::vector<std::string>{"delete a", "delete b", "restore a", "restore b"}));
    // The render-state manager is the first local object.
    EXPECT_EQ(status.calls, (std::vector<std::string>{"show 3", "Deleting local objects...", "tick", "tick",
                                                      "tick", "show 0", "show 3", "Reloading...", "tick",
                                                      "tick", "tick", "show 0"}));
    EXPECT_EQ(dev.get_bbuf_width(), 640);
    EXPECT_EQ(dev.get_cp().pp.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(dev.is_corrupt(), 0);
}

TEST_F(DeviceFixture, FailedResetStillRestoresAndKeepsTheParameters) {
    CDevice dev(&core);
    ASSERT_EQ(dev.create_windowed_device(window(), D3DFMT_D16, 320, 240), 1);
    std::vector<std::string> walk;
    Recorder a(&core, &walk, "a");
    int corrupt_inside = -1;
    qcore::set_reset_filter([&](IDirect3DDevice8*, const D3DPRESENT_PARAMETERS&) {
        corrupt_inside = dev.is_corrupt();
        return D3DERR_INVALIDCALL;
    });
    const CREATE_PARS before = dev.get_cp();
    qcore::set_desktop_mode(640, 480, D3DFMT_X8R8G8B8);
    qcore::MessageBoxRecorder boxes;
    EXPECT_EQ(dev.reset_device(), 0);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Reset Err !!! You can save your work and exit !"});
    EXPECT_EQ(walk, (std::vector<std::string>{"delete a", "restore a"}));
    EXPECT_EQ(corrupt_inside, 2);
    EXPECT_EQ(dev.is_corrupt(), 0);
    EXPECT_EQ(dev.get_cp().pp.BackBufferWidth, before.pp.BackBufferWidth);
}

TEST_F(DeviceFixture, ResetAntialiasing) {
    CDevice dev(&core);
    ASSERT_EQ(dev.create_windowed_device(window(), D3DFMT_D24S8, 320, 240), 1);
    std::vector<std::string> walk;
    Recorder a(&core, &walk, "a");
    qcore::MessageBoxRecorder boxes;
    EXPECT_EQ(dev.reset_aa(D3DMULTISAMPLE_NONE), 1);
    EXPECT_TRUE(walk.empty());
    EXPECT_EQ(dev.reset_aa(D3DMULTISAMPLE_3_SAMPLES), 0);
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_TRUE(walk.empty());
    EXPECT_EQ(dev.reset_aa(D3DMULTISAMPLE_4_SAMPLES), 1);
    EXPECT_EQ(dev.get_cur_aa(), 4);
    EXPECT_EQ(walk, (std::vector<std::string>{"delete a", "restore a"}));

    qcore::fail_next_reset_calls(1, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(dev.reset_aa(D3DMULTISAMPLE_2_SAMPLES), 0);
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{"Err Reset Antialiase!\n\nErrCode = D3DERR_OUTOFVIDEOMEMORY"});
    EXPECT_EQ(dev.get_cur_aa(), 4);
}

TEST_F(DeviceFixture, CorruptCounterUnderflowIsReported) {
    CDevice dev(&core);
    qcore::MessageBoxRecorder boxes;
    dev.end_corrupt();
    EXPECT_EQ(dev.is_corrupt(), -1);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"err end corrupt"});
}

TEST(SystemInfo, CpuTypeFromTheRegistry) {
    qcore::test::TempDir dir;
    qcore::test::write_file_bytes(dir.file("cpuinfo"), "model name\t: Example Processor 9000\n");
    qcore::set_cpuinfo_source(dir.file("cpuinfo").c_str());
    EXPECT_STREQ(GetCpuType(), "Example Processor 9000");
    qcore::set_cpuinfo_source(dir.file("none").c_str());
    EXPECT_STREQ(GetCpuType(), "未知Cpu");
    qcore::set_cpuinfo_source(nullptr);
}

TEST(SystemInfo, VideoMemoryFromTheIniOrTheDefault) {
    qcore::test::TempDir dir;
    qcore::set_windows_folder(dir.path().c_str());
    EXPECT_EQ(get_total_video_mem_in_bytes(), 32000000);
    WritePrivateProfileStringA("video_card", "total_mem", "268435456",
                               (dir.path() + "vcardinfo.ini").c_str());
    EXPECT_EQ(get_total_video_mem_in_bytes(), 268435456);
    WritePrivateProfileStringA("video_card", "total_mem", "17179869184",
                               (dir.path() + "vcardinfo.ini").c_str());
    EXPECT_EQ(get_total_video_mem_in_bytes(), INT_MAX);
    qcore::set_windows_folder(nullptr);
}

TEST(SystemInfo, CpuFrequencyText) {
    const std::string text = GetCpuMainFrequency();
    EXPECT_NE(text.find(" MHz"), std::string::npos);
    EXPECT_NE(text.find('.'), std::string::npos);
}

} // namespace

namespace {

// Sets an environment variable for the scope of a test; the started program inherits it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SystemInfo, VideoCardProgramWritesTheIniItIsReadFrom) {
    qcore::test::TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.path() + "config");
    ScopedEnv tmp("TMPDIR", dir.path());
    std::filesystem::create_directories(dir.path() + "config/qcore");
    invoke_vcard_info_app();
    // The copy runs from this user's own folder, which nobody else can write.
    const std::string own = dir.path() + "qcore-" + std::to_string(::geteuid()) + "/";
    EXPECT_TRUE(std::filesystem::exists(own + "vcard.exe"));
    EXPECT_EQ(std::filesystem::status(own).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    // The program runs on its own; give it time to start and write.
    const std::string ini = dir.path() + "config/qcore/vcardinfo.ini";
    for (int i = 0; i < 400 && !std::filesystem::exists(ini); ++i)
        Sleep(25);
    const int bytes = get_total_video_mem_in_bytes();
    EXPECT_NE(bytes, 32000000);
    EXPECT_GT(bytes, 0);
}

TEST(SystemInfo, VideoCardProgramRunsOnlyTheCopyItMade) {
    qcore::test::TempDir dir;
    ScopedEnv tmp("TMPDIR", dir.path());
    qcore::test::ProcessRecorder processes;
    const std::string own = dir.path() + "qcore-" + std::to_string(::geteuid());
    // A folder others can write to is not used.
    std::filesystem::create_directory(own);
    std::filesystem::permissions(own, std::filesystem::perms::all);
    invoke_vcard_info_app();
    EXPECT_TRUE(processes.started.empty());
    // A failed copy runs nothing, whatever lies where the copy should be.
    std::filesystem::permissions(own, std::filesystem::perms::owner_all);
    std::filesystem::create_directories(own + "/vcard.exe/planted");
    invoke_vcard_info_app();
    EXPECT_TRUE(processes.started.empty());
    // Shared temporary folder leftovers are never run.
    std::filesystem::remove_all(own + "/vcard.exe");
    qcore::test::write_file_bytes(dir.path() + "vcard.exe", "#!/bin/sh\n");
    invoke_vcard_info_app();
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0], std::vector<std::string>{own + "/vcard.exe"});
}

} // namespace
