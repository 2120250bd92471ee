#include <qcore/core/core.h>
#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/message_box.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

class Probe : public CLocalObj {
public:
    explicit Probe(gCore* core) : CLocalObj(core) {}
    void v_on_restore_local_objects() override {}
    void v_on_delete_local_objects() override {}
};

TEST(Core, ConstructionPointsAtItsOwnServices) {
    gCore core;
    EXPECT_EQ(core.log, &core.default_log);
    EXPECT_EQ(core.status, &core.default_status);
    EXPECT_EQ(core.dev, nullptr);
    ASSERT_NE(core.local_objs, nullptr);
    EXPECT_TRUE(core.local_objs->empty());
}

TEST(LocalObj, RegistersInOrderAndUnregistersEveryEntry) {
    gCore core;
    auto a = std::make_unique<Probe>(&core);
    Probe b(&core);
    EXPECT_EQ(*core.local_objs, (std::list<CLocalObj*>{a.get(), &b}));

    // An address registered twice is removed twice over by one destructor.
    core.local_objs->push_back(a.get());
    a.reset();
    EXPECT_EQ(*core.local_objs, (std::list<CLocalObj*>{&b}));
}

TEST(LocalObj, CopiesAreNotRegistered) {
    gCore core;
    Probe a(&core);
    {
        Probe copy(a);
        EXPECT_EQ(copy.core, &core);
        EXPECT_EQ(core.local_objs->size(), 1u);
    }
    EXPECT_EQ(*core.local_objs, (std::list<CLocalObj*>{&a}));
}

TEST(Errors, NamesAndHexForUnknownCodes) {
    EXPECT_EQ(get_err_string(S_OK), "S_OK");
    EXPECT_EQ(get_err_string(E_FAIL), "E_FAIL");
    EXPECT_EQ(get_err_string(static_cast<long>(0x8123ABCDu)), "0x8123ABCD");
    EXPECT_EQ(get_err_string(static_cast<HRESULT>(0x8123ABCDu)), "0x8123ABCD");
}

TEST(Errors, MsgErrShowsOnlyFailures) {
    qcore::MessageBoxRecorder boxes;
    MsgErr(0, "zero");
    MsgErr(1, "positive");
    CheckResult(S_FALSE, "positive");
    EXPECT_EQ(boxes.count(), 0u);

    MsgErr(E_FAIL, "CreateTexture failed");
    CheckResult(static_cast<HRESULT>(0x8123ABCDu), "x");
    const auto all = boxes.boxes();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].text, "CreateTexture failed\n\nErrCode = E_FAIL");
    EXPECT_EQ(all[0].type, MB_OK);
    EXPECT_EQ(all[1].text, "x\n\nErrCode = 0x8123ABCD");
}

TEST(CoreApp, TheLibraryHasItsApplicationObject) {
    ASSERT_NE(AfxGetApp(), nullptr);
    EXPECT_NE(dynamic_cast<CCoreApp*>(AfxGetApp()), nullptr);
    EXPECT_TRUE(qcore::module_folder().Right(1) == "/");
    EXPECT_GE(qcore::module_path().Find("libqcore.so"), 0);
}

} // namespace
