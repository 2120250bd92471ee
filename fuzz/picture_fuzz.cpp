// Feeds arbitrary bytes to the OLE picture loader through a global-memory stream, then scales and mirrors
// what it gives: it must refuse or decode, never crash or over-allocate.
#include <qcore/image/bitmapfun.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/ole.h>

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!mem) return 0;
    if (size) std::memcpy(GlobalLock(mem), data, size);
    GlobalUnlock(mem);
    qcore::ComRef<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(mem, TRUE, stream.out()))) {
        GlobalFree(mem);
        return 0;
    }
    qcore::ComRef<IPicture> pic;
    if (FAILED(OleLoadPicture(stream.get(), 0, TRUE, IID_IPicture, reinterpret_cast<void**>(pic.out()))))
        return 0;
    CBitmap* bitmap = bitmapfun::get_bitmap_from_ipic(pic.get());
    if (!bitmap) return 0;
    bitmapfun::flip_bitmap_hor(*bitmap);
    bitmapfun::flip_bitmap_ver(*bitmap);
    CBitmap scaled;
    bitmapfun::scale_bitmap(*bitmap, scaled, 16, 12, 1);
    return 0;
}
