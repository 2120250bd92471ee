#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/ini.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

using qcore::MessageBoxRecorder;
using qcore::test::read_file_bytes;
using qcore::test::TempDir;
using qcore::test::write_file_bytes;

namespace {

TEST(CFile, ModesHaveTheFrameworkValues) {
    EXPECT_EQ(CFile::modeRead, 0x0000u);
    EXPECT_EQ(CFile::modeWrite, 0x0001u);
    EXPECT_EQ(CFile::modeReadWrite, 0x0002u);
    EXPECT_EQ(CFile::shareDenyWrite, 0x0020u);
    EXPECT_EQ(CFile::modeCreate, 0x1000u);
    EXPECT_EQ(CFile::modeNoTruncate, 0x2000u);
    EXPECT_EQ(CFile::typeBinary, 0x8000u);
    EXPECT_EQ(CFile::end, 2u);
    EXPECT_EQ(CFileException::endOfFile, 14);
}

TEST(CFile, ReadsWritesSeeksAndTurnsBackslashesIntoSlashes) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    const std::string win_path = dir.path() + "sub\\data.bin";
    CFile f;
    ASSERT_TRUE(f.Open(win_path.c_str(), CFile::modeCreate | CFile::modeReadWrite | CFile::typeBinary));
    EXPECT_EQ(f.GetFilePath(), CString(win_path.c_str()));
    EXPECT_EQ(f.GetFileName(), "data.bin");
    f.Write("hello world", 11);
    EXPECT_EQ(f.GetLength(), 11u);
    EXPECT_EQ(f.GetPosition(), 11u);
    EXPECT_EQ(f.Seek(-5, CFile::end), 6u);
    char buf[16] = {};
    EXPECT_EQ(f.Read(buf, sizeof buf), 5u);
    EXPECT_STREQ(buf, "world");
    EXPECT_EQ(f.Read(buf, 4), 0u);
    EXPECT_EQ(f.Seek(2, CFile::begin), 2u);
    EXPECT_EQ(f.Seek(2, CFile::current), 4u);
    f.Flush();
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(read_file_bytes(dir.file("sub/data.bin")), "hello world");

    ASSERT_TRUE(f.Open(win_path.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite));
    EXPECT_EQ(f.GetLength(), 11u);
    f.Close();
    ASSERT_TRUE(f.Open(win_path.c_str(), CFile::modeCreate | CFile::modeWrite));
    EXPECT_EQ(f.GetLength(), 0u);
}

TEST(CFile, OpenFailuresFillTheExceptionAndReportTheStandardText) {
    TempDir dir;
    CFile f;
    CFileException e;
    const std::string missing = dir.file("missing.tpk");
    EXPECT_FALSE(f.Open(missing.c_str(), CFile::modeRead, &e));
    EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(e.m_lOsError, 2);
    EXPECT_EQ(e.m_strFileName, CString(missing.c_str()));

    MessageBoxRecorder boxes;
    EXPECT_EQ(e.ReportError(), IDOK);
    EXPECT_FALSE(f.Open(dir.path().c_str(), CFile::modeRead, &e));
    EXPECT_EQ(e.m_cause, CFileException::accessDenied);
    e.ReportError();
    EXPECT_FALSE(f.Open(dir.file("a/b/c").c_str(), CFile::modeCreate | CFile::modeWrite, &e));
    e.ReportError();
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{missing + " was not found.",
                                                       "Access to " + dir.path() + " was denied.",
                                                       dir.file("a/b/c") + " contains an invalid path."}));
    EXPECT_EQ(CFileException(CFileException::diskFull).GetErrorMessage(),
              "Disk full while accessing an unnamed file.");
    char small[8];
    EXPECT_TRUE(CFileException(CFileException::badSeek, -1, "x").GetErrorMessage(small, sizeof small));
    EXPECT_STREQ(small, "Seek fa");
    EXPECT_THROW(CFile(missing.c_str(), CFile::modeRead), CFileException);
}

// A named pipe would keep every opener waiting for its other end: files, copies and settings refuse it at
// once (a reader that waited would hang this test).
TEST(CFile, PipesAreRefusedWithoutWaiting) {
    TempDir dir;
    const std::string pipe = dir.file("pipe.tpk");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    CFile f;
    CFileException e;
    EXPECT_FALSE(f.Open(pipe.c_str(), CFile::modeRead, &e));
    EXPECT_EQ(e.m_cause, CFileException::accessDenied);
    EXPECT_FALSE(f.Open(pipe.c_str(), CFile::modeCreate | CFile::modeWrite, &e));
    EXPECT_FALSE(f.Open(pipe.c_str(), CFile::modeReadWrite, &e));
    EXPECT_FALSE(CopyFileA(pipe.c_str(), dir.file("copy").c_str(), FALSE));
    EXPECT_FALSE(std::filesystem::exists(dir.file("copy")));
    char value[16] = "";
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "none", value, sizeof value, pipe.c_str()), 4u);
    EXPECT_STREQ(value, "none");
    // An ordinary file still opens in blocking mode.
    write_file_bytes(dir.file("plain"), "abc");
    ASSERT_TRUE(f.Open(dir.file("plain").c_str(), CFile::modeRead, &e));
    char got[4] = {};
    EXPECT_EQ(f.Read(got, 3), 3u);
    EXPECT_STREQ(got, "abc");
}

TEST(CFile, IoErrorsThrow) {
    TempDir dir;
    write_file_bytes(dir.file("ro"), "abc");
    CFile f(dir.file("ro").c_str(), CFile::modeRead);
    try {
        f.Write("x", 1);
        FAIL() << "writing a read-only file must throw";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::invalidFile);
        EXPECT_EQ(e.m_strFileName, CString(dir.file("ro").c_str()));
    }
    try {
        f.Seek(-10, CFile::begin);
        FAIL() << "seeking before the start must throw";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::badSeek);
    }
    f.Close();
    char c;
    EXPECT_THROW(f.Read(&c, 1), CFileException);
    if (std::filesystem::exists("/dev/full")) {
        CFile full("/dev/full", CFile::modeWrite);
        try {
            full.Write("x", 1);
            FAIL() << "a full disk must throw";
        } catch (const CFileException& e) {
            EXPECT_EQ(e.m_cause, CFileException::diskFull);
        }
    }
}

TEST(SafeFileWriter, ReplacesTheTargetOnlyOnCommit) {
    TempDir dir;
    const std::string target = dir.file("out.bin");
    write_file_bytes(target, "old");
    {
        qcore::SafeFileWriter w;
        ASSERT_TRUE(w.open(target.c_str()));
        w.file().Write("new data", 8);
        EXPECT_EQ(read_file_bytes(target), "old");
    }
    EXPECT_EQ(read_file_bytes(target), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    qcore::SafeFileWriter w;
    ASSERT_TRUE(w.open(target.c_str()));
    w.file().Write("new data", 8);
    ASSERT_TRUE(w.commit());
    EXPECT_EQ(read_file_bytes(target), "new data");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_FALSE(w.commit());
    CFileException e;
    EXPECT_FALSE(w.open(dir.file("no/dir/x").c_str(), &e));
    EXPECT_EQ(e.m_strFileName, CString(dir.file("no/dir/x").c_str()));
}

} // namespace
