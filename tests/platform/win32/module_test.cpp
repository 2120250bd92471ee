#include <qcore/platform/win32/app.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/module.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(Module, LoadsFindsNamesAndFreesALibrary) {
    HMODULE plugin = LoadLibraryA(QCORE_TEST_PLUGIN);
    ASSERT_NE(plugin, nullptr);
    auto add = reinterpret_cast<int (*)(int, int)>(GetProcAddress(plugin, "plugin_add"));
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add(2, 3), 5);
    EXPECT_EQ(GetProcAddress(plugin, "no_such_function"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    char name[4096];
    ASSERT_GT(GetModuleFileNameA(plugin, name, sizeof(name)), 0u);
    EXPECT_EQ(std::filesystem::canonical(name), std::filesystem::canonical(QCORE_TEST_PLUGIN));
    char tiny[4];
    EXPECT_EQ(GetModuleFileNameA(plugin, tiny, sizeof(tiny)), 3u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_TRUE(FreeLibrary(plugin));
    EXPECT_FALSE(FreeLibrary(plugin));

    EXPECT_EQ(LoadLibraryA("/no/such/library.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Module, NamesTheExecutableAndTheLibraryInstance) {
    char name[4096];
    ASSERT_GT(GetModuleFileNameA(nullptr, name, sizeof(name)), 0u);
    EXPECT_EQ(std::filesystem::path(name).filename(), "qcore_test_platform_win32");
    ASSERT_GT(GetModuleFileNameA(AfxGetInstanceHandle(), name, sizeof(name)), 0u);
    EXPECT_EQ(std::filesystem::canonical(name), std::filesystem::canonical(qcore::module_path().str()));
}

} // namespace
