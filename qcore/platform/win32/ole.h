#pragma once
// Movable global memory, streams over it and the OLE picture loader, which turns a BMP or JPEG file held
// in a stream into a picture with a 32-bit bitmap.
#include <qcore/platform/win32/com.h>

#include <cstddef>

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

typedef size_t SIZE_T;

// Blocks are reached through their handle (fixed ones too); GlobalLock gives the memory and counts locks.
// Handles are checked: a stale one fails, never crashes.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL mem);
// FALSE once the last lock is gone (with no error), as in Win32.
BOOL GlobalUnlock(HGLOBAL mem);
SIZE_T GlobalSize(HGLOBAL mem);
// Null on success, the handle itself on failure.
HGLOBAL GlobalFree(HGLOBAL mem);

typedef union _ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
} ULARGE_INTEGER;

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2
#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001u)
#define STG_E_MEDIUMFULL ((HRESULT)0x80030070u)
#define STG_E_INVALIDPOINTER ((HRESULT)0x80030009u)
#define CTL_E_INVALIDPICTURE ((HRESULT)0x800A01E1u)
#define ERROR_NOT_LOCKED 158L

struct ISequentialStream : IUnknown {
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct IStream : ISequentialStream {
    virtual HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER libNewSize) = 0;
};
typedef IStream* LPSTREAM;

inline constexpr IID IID_IStream = {
    0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// A stream over a global memory block (a new empty one when hGlobal is null). With fDeleteOnRelease the
// block is freed with the stream. A stream does not grow a block that is locked.
HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, LPSTREAM* ppstm);

typedef UINT OLE_HANDLE;
typedef LONG OLE_XSIZE_HIMETRIC;
typedef LONG OLE_YSIZE_HIMETRIC;
#define PICTYPE_UNINITIALIZED (-1)
#define PICTYPE_NONE 0
#define PICTYPE_BITMAP 1

// A picture: a 32-bit bitmap it owns, with its size in hundredths of a millimetre at 96 pixels per inch.
struct IPicture : IUnknown {
    // The bitmap's handle (an HBITMAP; GDI handles fit in 32 bits), which stays the picture's.
    virtual HRESULT get_Handle(OLE_HANDLE* pHandle) = 0;
    virtual HRESULT get_Type(SHORT* pType) = 0;
    virtual HRESULT get_Width(OLE_XSIZE_HIMETRIC* pWidth) = 0;
    virtual HRESULT get_Height(OLE_YSIZE_HIMETRIC* pHeight) = 0;
};
typedef IPicture* LPPICTURE;

inline constexpr IID IID_IPicture = {
    0x7BF80980, 0xBF32, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};

// Reads lSize bytes (0: the rest of the stream) from the stream's position and decodes a BMP or JPEG file
// into a picture. CTL_E_INVALIDPICTURE for anything else or damaged data.
HRESULT OleLoadPicture(LPSTREAM lpstream, LONG lSize, BOOL fRunmode, REFIID riid, LPVOID* lplpvObj);
