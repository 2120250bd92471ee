#include <qcore/core/timer.h>
#include <qcore/data/filefun.h>
#include <qcore/platform/d3d8/d3dx/d3dx8tex.h>
#include <qcore/platform/win32/com_ref.h>

#include "texture/tex_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using qcore::test::TexFixture;
using TexMan = TexFixture;
using qcore::test::write_file_bytes;

DWORD texel(IDirect3DTexture8* t, UINT x, UINT y) {
    D3DLOCKED_RECT r{};
    if (!t || FAILED(t->LockRect(0, &r, nullptr, D3DLOCK_READONLY))) return 0;
    const DWORD v = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(r.pBits) + y * r.Pitch)[x];
    t->UnlockRect(0);
    return v;
}

class Status : public CBaseStatus {
public:
    std::vector<std::string> calls;
    void msg(const char* text, const char*) override { calls.push_back(text); }

protected:
    void show_progress(int range) override { calls.push_back("show " + std::to_string(range)); }
    void tick() override { calls.push_back("tick"); }
};

class FixedTimer : public CTimer {
public:
    double now = 0;
    double get_elapse_time() const override { return now; }
};

TEST_F(TexMan, CoreOwnsTheManagerAndFilesAreSharedByCaseInsensitiveName) {
    ASSERT_NE(core.tex_man, nullptr);
    const std::string path = image("Wall.bmp", 100, 30);
    CMyComPtr<ITexture> a = texture(path);
    std::string upper = path;
    upper.replace(upper.size() - 8, 8, "WALL.BMP");
    CMyComPtr<ITexture> b = ITexture::create_empty(&core, 1);
    b->create_tex_file(upper.c_str(), nullptr, CTexFileCreateOpt(), 1);
    ASSERT_NE(a->get_tex_file(), nullptr);
    EXPECT_EQ(a->get_tex_file(), b->get_tex_file());
    EXPECT_EQ(core.tex_man->get_files().size(), 1u);
    // Another spelling of the same path is another file: names are compared as they stand.
    CMyComPtr<ITexture> c = texture(dir.path() + "./Wall.bmp");
    EXPECT_NE(c->get_tex_file(), a->get_tex_file());

    CTexFile* f = a->get_tex_file();
    EXPECT_EQ(f->get_ref_textures().size(), 2u);
    const D3DSURFACE_DESC d = level0(a->get_current_d3tex(nullptr));
    EXPECT_EQ(d.Width, 128u);
    EXPECT_EQ(d.Height, 32u);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(f->get_mipcount(), 8); // 128 x 32 down to 1 x 1
    EXPECT_EQ(f->get_sur_desc().Width, 128u);
    EXPECT_GT(f->get_size_in_byte(), 128u * 32 * 4);
    EXPECT_EQ(core.tex_man->get_total_mem_of_tex_files(TEXFILE_ALL, 1),
              f->get_size_in_byte() + c->get_tex_file()->get_size_in_byte());
}

TEST_F(TexMan, LoadedOnlyWhileAnEnabledReferenceExists) {
    const std::string path = image("a.bmp", 16, 16);
    CMyComPtr<ITexture> off = texture(path, 0);
    CTexFile* f = off->get_tex_file();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->is_loaded(), 0);
    EXPECT_EQ(off->can_render(0), 0);
    {
        CMyComPtr<ITexture> on = texture(path, 1);
        EXPECT_EQ(f->is_loaded(), 1);
        EXPECT_EQ(on->can_render(0), 1);
        EXPECT_EQ(on->can_render(1), 0); // stage and channels unset
        std::vector<CTexFile*> list;
        core.tex_man->get_tex_files(list, TEXFILE_ENABLED, 0);
        EXPECT_EQ(list.size(), 1u);
        f->set_flag(1);
        core.tex_man->get_tex_files(list, TEXFILE_LOADED, 0);
        EXPECT_TRUE(list.empty());
        core.tex_man->get_tex_files(list, TEXFILE_LOADED, 1);
        EXPECT_EQ(list.size(), 1u);
        core.tex_man->get_tex_files(list, 4, 1);
        EXPECT_TRUE(list.empty());
        on->enable_texture(0);
        EXPECT_EQ(f->is_loaded(), 0);
        on->enable_texture(1);
        EXPECT_EQ(f->is_loaded(), 1);
    }
    // The enabled one is gone: the file stays for the other and unloads.
    EXPECT_EQ(core.tex_man->get_files().size(), 1u);
    EXPECT_EQ(f->is_loaded(), 0);
    off.reset();
    EXPECT_TRUE(core.tex_man->get_files().empty());
}

TEST_F(TexMan, ReattachingToItsOwnFileKeepsIt) {
    const std::string path = image("a.bmp", 16, 16);
    CMyComPtr<ITexture> t = texture(path);
    CTexFile* f = t->get_tex_file();
    IDirect3DTexture8* before = t->get_current_d3tex(nullptr);
    // The file's own name string is passed back in.
    t->create_tex_file(f->get_abs_tex_filename(), nullptr, CTexFileCreateOpt(), 1);
    EXPECT_EQ(t->get_tex_file(), f);
    EXPECT_EQ(t->get_current_d3tex(nullptr), before);
    EXPECT_EQ(f->get_ref_textures().size(), 1u);
    // New options that need a rebuild rebuild the same file.
    CTexFileCreateOpt small;
    small.size = CSize(8, 8);
    t->create_tex_file(f->get_abs_tex_filename(), nullptr, small, 1);
    EXPECT_EQ(t->get_tex_file(), f);
    EXPECT_EQ(level0(t->get_current_d3tex(nullptr)).Width, 8u);
    t->create_tex_file("", nullptr, small, 1);
    EXPECT_EQ(t->get_tex_file(), nullptr);
    EXPECT_TRUE(core.tex_man->get_files().empty());
}

TEST_F(TexMan, BadFilesAreLoggedAndStayUnloaded) {
    struct Row {
        std::string path;
        std::string message;
    };
    const std::string tiny = image("tiny.bmp", 4, 64);
    const std::string cut = image("cut.jpg", 64, 64);
    write_file_bytes(cut, qcore::test::read_file_bytes(cut).substr(0, 40));
    ASSERT_TRUE(filefun::create_path(dir.file("folder.bmp/").c_str()));
    // Neither a pipe without a writer nor an endless device is read (or waited for).
    const std::string pipe = dir.file("pipe.bmp"), zero = dir.file("zero.bmp");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
    const Row rows[] = {
        {tiny, ", 不支持小于8x8的贴图，请将其尺寸调整为至少8x8"},
        {cut, ", 文件读取失败！"},
        {dir.file("missing.bmp"), ", 贴图文件未找到!"},
        {dir.file("folder.bmp"), ", 贴图文件未找到!"},
        {pipe, ", not a regular file"},
        {zero, ", not a regular file"},
    };
    const std::string good = image("good.bmp", 8, 8);
    CMyComPtr<ITexture> loaded = texture(good);
    for (const Row& r : rows) {
        CMyComPtr<ITexture> t = texture(r.path);
        ASSERT_NE(t->get_tex_file(), nullptr) << r.path;
        EXPECT_EQ(t->get_tex_file()->is_loaded(), 0) << r.path;
        EXPECT_EQ(t->get_current_d3tex(nullptr), nullptr);
        EXPECT_EQ(last_log(), r.path + r.message);
        EXPECT_EQ(core.log->get_logs().back()->level, LOG_ERROR);
    }
    EXPECT_EQ(loaded->get_tex_file()->is_loaded(), 1); // nothing loaded before was lost
}

TEST_F(TexMan, MissingFilesAreReplacedBySiblingsOrFromTheTexturePath) {
    ASSERT_TRUE(filefun::create_path(dir.file("tex/").c_str()));
    const std::string jpg = image("wall.jpg", 16, 16);
    CMyComPtr<ITexture> t = texture(dir.file("wall.bmp"));
    ASSERT_NE(t->get_tex_file(), nullptr);
    EXPECT_EQ(t->get_tex_filename(), CString(jpg.c_str()));
    EXPECT_EQ(last_log(), dir.file("wall.bmp") + ", 文件未找到, 替换成: " + jpg);
    EXPECT_EQ(core.log->get_logs().back()->level, LOG_WARNING);

    const std::string in_path = image("tex/stone.png", 16, 16);
    CTexPathInfo info(dir.file("tex/").c_str(), 0);
    CMyComPtr<ITexture> u = ITexture::create_empty(&core, 1);
    u->create_tex_file(dir.file("elsewhere/stone.png").c_str(), &info, CTexFileCreateOpt(), 1);
    EXPECT_EQ(u->get_tex_filename(), CString(in_path.c_str()));
    // A bare name lies in the texture path.
    u->create_tex_file("stone.png", &info, CTexFileCreateOpt(), 1);
    EXPECT_EQ(u->get_tex_filename(), CString(in_path.c_str()));
    EXPECT_EQ(u->get_tex_file()->is_loaded(), 1);

    info.set_change_if_not_exist(0);
    CString out;
    EXPECT_EQ(info.find_substt_file(dir.file("wall.bmp").c_str(), out), 0);
}

TEST_F(TexMan, DiskChangesAreFoundAndSynced) {
    const std::string path = image("a.bmp", 16, 16, 0xff0000ffu);
    const std::string other = image("b.bmp", 16, 16);
    CMyComPtr<ITexture> t = texture(path);
    CMyComPtr<ITexture> u = texture(other);
    std::vector<CTexUpdateItem> items;
    core.tex_man->find_updated_tex_files(items);
    EXPECT_TRUE(items.empty());

    image("a.bmp", 32, 32, 0xffff0000u); // another size: changed whatever the clock's resolution
    core.tex_man->find_updated_tex_files(items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].status, FS_CHANGED);
    EXPECT_EQ(texel(t->get_current_d3tex(nullptr), 0, 0), 0xff0000ffu);
    core.tex_man->sync_updated_tex_files(device->get_dev(), items);
    EXPECT_EQ(level0(t->get_current_d3tex(nullptr)).Width, 32u);
    EXPECT_EQ(texel(t->get_current_d3tex(nullptr), 0, 0), 0xffff0000u);

    // A deleted bmp with a jpg beside it is replaced; syncing renames and rebuilds.
    items.clear();
    ASSERT_EQ(::unlink(other.c_str()), 0);
    const std::string jpg = image("b.jpg", 64, 64);
    core.tex_man->find_updated_tex_files(items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].status, FS_REPLACED);
    EXPECT_EQ(items[0].new_filename, CString(jpg.c_str()));
    core.tex_man->sync_updated_tex_files(device->get_dev(), items);
    EXPECT_EQ(u->get_tex_filename(), CString(jpg.c_str()));
    EXPECT_EQ(level0(u->get_current_d3tex(nullptr)).Width, 64u);

    // Plain deletion, and an item whose file went away before the sync.
    items.clear();
    ASSERT_EQ(::unlink(jpg.c_str()), 0);
    core.tex_man->find_updated_tex_files(items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].status, FS_DELETED);
    u.reset();
    core.tex_man->sync_updated_tex_files(device->get_dev(), items);
}

TEST_F(TexMan, StrategyChangesRecreateTexturesInTheNewFormat) {
    CMyComPtr<ITexture> on = texture(image("a.bmp", 64, 64));
    CMyComPtr<ITexture> off = texture(image("b.bmp", 64, 64), 0);
    CTexStrategy s = core.tex_man->get_strategy();
    s.set_format(TEX_TYPE_NORMAL, D3DFMT_R5G6B5);
    s.set_auto_size_factor(1);
    CTexStrategy before = core.tex_man->get_strategy();
    ASSERT_EQ(core.tex_man->apply_new_strategy(nullptr, &s, core.status), 1);
    EXPECT_EQ(core.tex_man->get_strategy().is_same(&s), 1);
    EXPECT_EQ(level0(on->get_current_d3tex(nullptr)).Format, D3DFMT_A8R8G8B8); // no device: stored only

    ASSERT_EQ(core.tex_man->apply_new_strategy(device->get_dev(), &s, nullptr), 1);
    const D3DSURFACE_DESC d = level0(on->get_current_d3tex(nullptr));
    EXPECT_EQ(d.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(d.Width, 32u);
    EXPECT_EQ(off->get_tex_file()->is_loaded(), 0); // disabled files stay unloaded
    EXPECT_EQ(off->get_tex_file()->get_create_opt().auto_size_factor, 1);
    off->enable_texture(1);
    EXPECT_EQ(level0(off->get_current_d3tex(nullptr)).Format, D3DFMT_R5G6B5);
    Status status;
    core.tex_man->apply_new_strategy(device->get_dev(), &before, &status);
    EXPECT_EQ(status.calls,
              (std::vector<std::string>{"show 2", "Reloading textures", "tick", "tick", "show 0"}));
    EXPECT_EQ(level0(off->get_current_d3tex(nullptr)).Width, 64u);
}

TEST_F(TexMan, ColourAdjustmentIsAppliedToEveryLevel) {
    CTexFileCreateOpt o;
    o.enable_col_adj = 1;
    o.color_adj.brightness.set_all(160.0f);
    o.size = CSize(24, 24); // below the nearest power of two: 16 x 16, rows narrower than any padding
    CMyComPtr<ITexture> t = texture(image("a.bmp", 16, 16, 0xff102030u), 1, o);
    IDirect3DTexture8* tex = t->get_current_d3tex(nullptr);
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(texel(tex, 15, 15), 0xff304050u);
    ASSERT_GT(tex->GetLevelCount(), 1u);
    D3DLOCKED_RECT r{};
    ASSERT_EQ(tex->LockRect(1, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<const DWORD*>(r.pBits), 0xff304050u);
    tex->UnlockRect(1);
}

TEST_F(TexMan, AnimatedTexturesPickFramesOverTimeAndKeepFailedFramesInPlace) {
    image("f0.bmp", 16, 16, 0xff000001u);
    image("f2.bmp", 16, 16, 0xff000003u);
    const std::string atx = dir.file("anim.atx");
    write_file_bytes(atx, "[QVX_ATX_SETTING]\nver=1\nfile_count=3\nfile0=f0.bmp\ntime0=100\nfile1=f1.bmp\n"
                          "time1=100\nfile2=f2.bmp\ntime2=100\n");
    qcore::MessageBoxRecorder boxes;
    CMyComPtr<ITexture> t = texture(atx);
    EXPECT_EQ(boxes.count(), 1u); // the missing frame is listed
    CTexFile* f = t->get_tex_file();
    ASSERT_EQ(f->is_loaded(), 3);
    EXPECT_EQ(f->get_d3d_texs()[1].tex, nullptr);
    EXPECT_EQ(f->get_mipcount(), 5);
    t->get_atx_pars().elapse_offset = 0;
    t->get_atx_pars().elapse_scale = 1.0f;
    FixedTimer timer;
    timer.now = 250;
    EXPECT_EQ(texel(t->get_current_d3tex(&timer), 0, 0), 0xff000003u);
    timer.now = 150; // the failed frame: the first stands in
    EXPECT_EQ(texel(t->get_current_d3tex(&timer), 0, 0), 0xff000001u);
    timer.now = 30.0 * 24 * 3600 * 1000 + 210; // a month of uptime: 2592000210 % 300 = 210
    EXPECT_EQ(texel(t->get_current_d3tex(&timer), 0, 0), 0xff000003u);
    EXPECT_EQ(texel(t->get_current_d3tex(nullptr), 0, 0), 0xff000001u);
}

TEST_F(TexMan, TexturesSurviveDeviceResetsAndDraw) {
    CMyComPtr<ITexture> t = texture(image("a.bmp", 16, 16, 0xff00ff00u));
    ASSERT_EQ(device->reset_device(), 1);
    IDirect3DTexture8* tex = t->get_current_d3tex(nullptr);
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(texel(tex, 3, 3), 0xff00ff00u);
    EXPECT_EQ(device->get_dev()->SetTexture(0, tex), D3D_OK);
    device->get_dev()->SetTexture(0, nullptr);
}

TEST(TexManTeardown, ReferencesReleasedAfterTheCoreAreSafe) {
    CMyComPtr<ITexture> t;
    {
        gCore core;
        t = ITexture::create_empty(&core, 0);
        t->create_tex_file("/nowhere/a.bmp", nullptr, CTexFileCreateOpt(), 0);
        ASSERT_NE(t->get_tex_file(), nullptr);
    }
    EXPECT_EQ(t->get_tex_file(), nullptr);
    t.reset();
}

} // namespace
