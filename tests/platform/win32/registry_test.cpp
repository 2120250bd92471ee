#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/registry.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* kCpu = "Hardware\\Description\\System\\CentralProcessor\\0";

std::string query_string(HKEY root, const char* sub, const char* name, LONG* rc) {
    HKEY key = nullptr;
    *rc = RegOpenKeyExA(root, sub, 0, KEY_READ, &key);
    if (*rc != ERROR_SUCCESS) return {};
    char buf[64] = {};
    DWORD size = sizeof(buf);
    DWORD type = 0;
    *rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    return *rc == ERROR_SUCCESS && type == REG_SZ ? std::string(buf) : std::string();
}

TEST(Registry, ProcessorIdentifierComesFromCpuinfo) {
    qcore::test::TempDir dir;
    qcore::test::write_file_bytes(dir.file("cpuinfo"),
                                  "processor\t: 0\nvendor_id\t: Test\nmodel name\t: Test CPU @ 3.00GHz\n");
    qcore::set_cpuinfo_source(dir.file("cpuinfo").c_str());
    LONG rc = 0;
    EXPECT_EQ(
        query_string(HKEY_LOCAL_MACHINE, "hardware/description/system/centralprocessor/0", "identifier", &rc),
        "Test CPU @ 3.00GHz");

    qcore::set_cpuinfo_source(dir.file("missing").c_str());
    query_string(HKEY_LOCAL_MACHINE, kCpu, "Identifier", &rc);
    EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
    qcore::set_cpuinfo_source(nullptr);
}

TEST(Registry, CreateSetQueryAndSizes) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\qcore\\test", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    const char text[] = "value";
    ASSERT_EQ(RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text)),
              ERROR_SUCCESS);
    DWORD size = 2;
    char small[2];
    EXPECT_EQ(RegQueryValueExA(key, "name", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof(text));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    LONG rc = 0;
    EXPECT_EQ(query_string(HKEY_CURRENT_USER, "SOFTWARE\\QCORE\\TEST\\", "NAME", &rc), "value");
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\qcore\\test"), ERROR_SUCCESS);
    query_string(HKEY_CURRENT_USER, "Software\\qcore\\test", "Name", &rc);
    EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
}

} // namespace
