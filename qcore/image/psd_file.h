#pragma once
// Reads the merged image of a Photoshop file (8-bit RGB, three or four channels, raw or PackBits) into
// 32-bit pixels, blue, green, red, alpha in memory, rows from the top. Layers, masks, colour-mode data and
// image resources are skipped.
//
// Untrusted input is safe: sizes are checked against the file and against 30,000 pixels per side before
// anything is allocated, a file that ends early is refused, and a PackBits run that passes the end of a row
// is clipped to the row (its remaining bytes are consumed). Only version-1 files with raw (0) or PackBits
// (1) image data are read; other compression codes are refused rather than misread.
#include <qcore/image/img_channel.h>
#include <qcore/platform/win32/types.h>

#include <cstddef>
#include <vector>

class CPsdFile {
public:
#pragma pack(push, 1)
    // The file header; big-endian in the file, host order once read.
    struct PSD_FILE_HEADER {
        char signature[4];
        WORD version;
        BYTE reserved[6];
        WORD channels;
        DWORD height;
        DWORD width;
        WORD depth;
        WORD mode;
    };
#pragma pack(pop)
    static_assert(sizeof(PSD_FILE_HEADER) == 26);

    // The format's own limit on each side.
    static constexpr DWORD max_side = 30000;

    CPsdFile();
    virtual ~CPsdFile() = default;

    // bg is a COLORREF (0x00BBGGRR), used by IMG_CHANNEL_RGB_OVER_BG only.
    bool LoadPsdFile(const char* path, IMG_CHANNEL channel, COLORREF bg);
    // The same from the bytes of a whole file in memory.
    bool LoadPsdMemory(const void* data, size_t size, IMG_CHANNEL channel, COLORREF bg);

    // A blank, zero-filled image; refuses sides outside 0..max_side.
    bool Create(int width, int height, int channels);

    int GetWidth() const {
        return static_cast<int>(header.width);
    }
    int GetHeight() const {
        return static_cast<int>(header.height);
    }
    int GetPixelBitCount() const {
        return 32;
    }
    BYTE* GetColorData() {
        return pixels.data();
    }
    const BYTE* GetColorData() const {
        return pixels.data();
    }
    void Clear() {
        std::vector<BYTE>().swap(pixels);
    }
    void GetPsdDesc(PSD_FILE_HEADER& out) const {
        out = header;
    }

    // Reads only the header of a file and converts it to host order, without validating it.
    static bool GetPsdDesc(const char* path, PSD_FILE_HEADER& out);

protected:
    // On a header still in file order.
    static bool IsMe(const PSD_FILE_HEADER& head);
    static bool ValidateFileHeader(const PSD_FILE_HEADER& head);
    static void ChangeFileHeadOrder(PSD_FILE_HEADER& head);
    // Decodes count pixels of one channel row from src (never reading at or past end) into every fourth
    // byte of dst; advances src. False on a control byte of 128 or data that ends early.
    static bool DecodePackBits(const BYTE*& src, const BYTE* end, BYTE* dst, DWORD count);

    PSD_FILE_HEADER header;
    std::vector<BYTE> pixels;

private:
    bool load(const void* data, size_t size, IMG_CHANNEL channel, COLORREF bg);
    void forget();
    bool decode(const BYTE* src, const BYTE* end, IMG_CHANNEL channel, COLORREF bg);
    void composite_over(COLORREF bg);
    void alpha_to_grey();
};
