#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/gdi.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/ole.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(GlobalMemory, LocksCountAndStaleHandlesFail) {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 16);
    ASSERT_NE(mem, nullptr);
    EXPECT_EQ(GlobalSize(mem), 16u);
    auto* p = static_cast<unsigned char*>(GlobalLock(mem));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[15], 0);
    p[3] = 7;
    EXPECT_EQ(GlobalLock(mem), p);
    EXPECT_TRUE(GlobalUnlock(mem));
    EXPECT_FALSE(GlobalUnlock(mem));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    EXPECT_FALSE(GlobalUnlock(mem));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
    EXPECT_EQ(static_cast<unsigned char*>(GlobalLock(mem))[3], 7);
    GlobalUnlock(mem);
    EXPECT_EQ(GlobalFree(mem), nullptr);
    EXPECT_EQ(GlobalLock(mem), nullptr);
    EXPECT_EQ(GlobalSize(mem), 0u);
    EXPECT_EQ(GlobalFree(mem), mem);
}

TEST(GlobalStream, ReadsWritesSeeksAndFreesItsBlock) {
    qcore::ComRef<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.out()), S_OK);
    ULONG n = 0;
    ASSERT_EQ(stream->Write("abcdef", 6, &n), S_OK);
    EXPECT_EQ(n, 6u);
    LARGE_INTEGER move{};
    move.QuadPart = 2;
    ULARGE_INTEGER pos{};
    ASSERT_EQ(stream->Seek(move, STREAM_SEEK_SET, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 2u);
    char buffer[8] = {};
    EXPECT_EQ(stream->Read(buffer, 8, &n), S_FALSE);
    EXPECT_EQ(n, 4u);
    EXPECT_STREQ(buffer, "cdef");
    move.QuadPart = -7;
    EXPECT_EQ(stream->Seek(move, STREAM_SEEK_END, &pos), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream->Seek(move, 9, &pos), STG_E_INVALIDFUNCTION);

    // A block of the caller's: a locked one does not grow under its lock holder.
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 4);
    qcore::ComRef<IStream> own;
    ASSERT_EQ(CreateStreamOnHGlobal(mem, FALSE, own.out()), S_OK);
    GlobalLock(mem);
    EXPECT_EQ(own->Write("12345", 5, &n), STG_E_MEDIUMFULL);
    GlobalUnlock(mem);
    EXPECT_EQ(own->Write("12345", 5, &n), S_OK);
    EXPECT_EQ(GlobalSize(mem), 5u);
    own.reset();
    EXPECT_EQ(GlobalFree(mem), nullptr);
    EXPECT_EQ(CreateStreamOnHGlobal(mem, FALSE, own.out()), E_INVALIDARG);
}

// A 2 x 2 bottom-up 24-bit BMP: bottom row blue, top row red and green.
std::vector<uint8_t> tiny_bmp() {
    std::vector<uint8_t> f = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0,  54, 0, 0, 0, 40, 0,  0, 0, 2,
                              0,   0,   0,  2, 0, 0, 0, 1, 0, 24, 0,  0, 0, 0, 0,  16, 0, 0, 0};
    f.resize(54, 0);
    for (uint8_t b : {255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0})
        f.push_back(b);
    return f;
}

HRESULT load(const std::vector<uint8_t>& bytes, LONG size, IPicture** out) {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(mem), bytes.data(), bytes.size());
    GlobalUnlock(mem);
    qcore::ComRef<IStream> stream;
    CreateStreamOnHGlobal(mem, TRUE, stream.out());
    return OleLoadPicture(stream.get(), size, TRUE, IID_IPicture, reinterpret_cast<void**>(out));
}

TEST(OlePicture, LoadsBmpFilesAndRefusesTheRest) {
    qcore::ComRef<IPicture> pic;
    ASSERT_EQ(load(tiny_bmp(), 0, pic.out()), S_OK);
    SHORT type = 0;
    pic->get_Type(&type);
    EXPECT_EQ(type, PICTYPE_BITMAP);
    OLE_HANDLE handle = 0;
    ASSERT_EQ(pic->get_Handle(&handle), S_OK);
    const auto bitmap = reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(handle));
    BITMAP bm{};
    ASSERT_TRUE(GetObject(bitmap, sizeof(bm), &bm));
    EXPECT_EQ(bm.bmWidth, 2);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    const auto* px = static_cast<const uint32_t*>(bm.bmBits);
    EXPECT_EQ(px[0], 0xFF0000u);
    EXPECT_EQ(px[1], 0x00FF00u);
    EXPECT_EQ(px[2], 0x0000FFu);
    // The picture owns its bitmap.
    pic.reset();
    EXPECT_EQ(GetObjectType(bitmap), 0u);

    const std::vector<uint8_t> bmp = tiny_bmp();
    for (size_t cut = 0; cut < bmp.size(); cut += 5)
        EXPECT_EQ(load(std::vector<uint8_t>(bmp.begin(), bmp.begin() + static_cast<long>(cut)), 0, pic.out()),
                  CTL_E_INVALIDPICTURE)
            << cut;
    // A declared size beyond the stream reads what there is; one short of it cuts the file.
    EXPECT_EQ(load(bmp, 1 << 30, pic.out()), S_OK);
    EXPECT_EQ(load(bmp, 40, pic.out()), CTL_E_INVALIDPICTURE);
    const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(load(png, 0, pic.out()), CTL_E_INVALIDPICTURE);
    void* out = nullptr;
    EXPECT_EQ(OleLoadPicture(nullptr, 0, TRUE, IID_IPicture, &out), E_INVALIDARG);
}

} // namespace
