#include <qcore/net/dxutil.h>
#include <qcore/platform/win32/com_runtime.h>

#include <cstring>
#include <string>

namespace {

bool high_surrogate(WCHAR c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

HRESULT DXUtil_ConvertAnsiStringToWide(WCHAR* dest, const CHAR* source, int count) {
    if (!dest || !source || count == 0 || count < -1) return E_INVALIDARG;
    const int need = MultiByteToWideChar(CP_ACP, 0, source, -1, nullptr, 0);
    if (need <= 0) {
        dest[0] = 0;
        return E_FAIL;
    }
    std::u16string wide(static_cast<size_t>(need), u'\0');
    MultiByteToWideChar(CP_ACP, 0, source, -1, wide.data(), need);
    size_t n = wide.size() - 1;
    if (count != -1 && n > static_cast<size_t>(count - 1)) {
        n = static_cast<size_t>(count - 1);
        if (n > 0 && high_surrogate(wide[n - 1])) --n;
    }
    std::memcpy(dest, wide.data(), n * sizeof(WCHAR));
    dest[n] = 0;
    return S_OK;
}

HRESULT DXUtil_ConvertWideStringToAnsi(CHAR* dest, const WCHAR* source, int count) {
    if (!dest || !source || count == 0 || count < -1) return E_INVALIDARG;
    const int need = WideCharToMultiByte(CP_ACP, 0, source, -1, nullptr, 0, nullptr, nullptr);
    if (need <= 0) {
        dest[0] = 0;
        return E_FAIL;
    }
    std::string text(static_cast<size_t>(need), '\0');
    WideCharToMultiByte(CP_ACP, 0, source, -1, text.data(), need, nullptr, nullptr);
    size_t n = text.size() - 1;
    if (count != -1 && n > static_cast<size_t>(count - 1)) {
        n = static_cast<size_t>(count - 1);
        // Do not end inside a multibyte character.
        size_t start = n;
        while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
            --start;
        n = start;
    }
    std::memcpy(dest, text.data(), n);
    dest[n] = 0;
    return S_OK;
}
