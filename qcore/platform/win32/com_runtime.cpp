#include <qcore/platform/win32/com_runtime.h>
#include <qcore/platform/win32/last_error.h>

#include <uuid/uuid.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

thread_local int init_depth = 0;

struct guid_less {
    bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

struct class_table {
    std::mutex lock;
    std::map<GUID, qcore::com_factory, guid_less> classes;
};

class_table& table() {
    static class_table t;
    return t;
}

// Decodes one UTF-8 sequence at text[i]; returns the code point or -1 for an invalid sequence.
long decode_utf8(const unsigned char* s, int len, int& i) {
    unsigned c = s[i++];
    if (c < 0x80) return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0 || c > 0xF4) return -1;
    long cp = c & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= len || (s[i] & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (s[i++] & 0x3F);
    }
    static const long min_for[] = {0, 0x80, 0x800, 0x10000};
    if (cp < min_for[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    return cp;
}

void append_utf16(std::u16string& out, long cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

void append_utf8(std::string& out, long cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool supported_code_page(UINT cp) {
    return cp == CP_ACP || cp == CP_OEMCP || cp == CP_UTF8;
}

// Copies the converted units out under the platform's sizing rules.
template <class S, class T> int deliver(const S& converted, T* out, int out_len) {
    const int n = static_cast<int>(converted.size());
    if (out_len == 0) return n;
    if (!out || out_len < n) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, converted.data(), static_cast<size_t>(n) * sizeof(T));
    return n;
}

} // namespace

HRESULT CoInitialize(LPVOID reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(LPVOID, DWORD) {
    return init_depth++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (init_depth > 0) --init_depth;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (init_depth == 0) return CO_E_NOTINITIALIZED;
    if (outer) return CLASS_E_NOAGGREGATION;
    qcore::com_factory factory;
    {
        std::lock_guard<std::mutex> hold(table().lock);
        auto it = table().classes.find(clsid);
        if (it == table().classes.end()) return REGDB_E_CLASSNOTREG;
        factory = it->second;
    }
    // The factory runs unlocked: it may create further objects.
    HRESULT hr = factory(iid, out);
    if (FAILED(hr)) *out = nullptr;
    return hr;
}

HRESULT CoCreateGuid(GUID* guid) {
    if (!guid) return E_INVALIDARG;
    uuid_t raw;
    uuid_generate_random(raw);
    // uuid_t is in network byte order; the GUID's first three fields are little-endian words.
    guid->Data1 = (DWORD(raw[0]) << 24) | (DWORD(raw[1]) << 16) | (DWORD(raw[2]) << 8) | raw[3];
    guid->Data2 = static_cast<WORD>((raw[4] << 8) | raw[5]);
    guid->Data3 = static_cast<WORD>((raw[6] << 8) | raw[7]);
    std::memcpy(guid->Data4, raw + 8, 8);
    return S_OK;
}

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int text_len, LPWSTR out, int out_len) {
    if (!text || text_len == 0 || text_len < -1 || out_len < 0 || !supported_code_page(code_page)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int len = text_len == -1 ? static_cast<int>(std::strlen(text)) + 1 : text_len;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    std::u16string converted;
    converted.reserve(static_cast<size_t>(len));
    for (int i = 0; i < len;) {
        long cp = decode_utf8(s, len, i);
        if (cp < 0) {
            if (flags & MB_ERR_INVALID_CHARS) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            cp = 0xFFFD;
        }
        append_utf16(converted, cp);
    }
    return deliver(converted, out, out_len);
}

int WideCharToMultiByte(UINT code_page, DWORD, LPCWSTR text, int text_len, LPSTR out, int out_len, LPCSTR,
                        LPBOOL used_default) {
    if (!text || text_len == 0 || text_len < -1 || out_len < 0 || !supported_code_page(code_page)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int len = text_len;
    if (len == -1) {
        len = 0;
        while (text[len])
            ++len;
        ++len;
    }
    if (used_default) *used_default = FALSE;
    std::string converted;
    converted.reserve(static_cast<size_t>(len));
    for (int i = 0; i < len; ++i) {
        long cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < len && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD; // a lone surrogate has no UTF-8 form
        }
        append_utf8(converted, cp);
    }
    return deliver(converted, out, out_len);
}

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    if (cs && !cs->lock) cs->lock = new std::recursive_mutex;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
    if (cs && cs->lock) cs->lock->lock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
    return cs && cs->lock && cs->lock->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    if (cs && cs->lock) cs->lock->unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    if (!cs) return;
    delete cs->lock;
    cs->lock = nullptr;
}

namespace qcore {

bool register_com_class(REFCLSID clsid, com_factory factory) {
    std::lock_guard<std::mutex> hold(table().lock);
    auto& classes = table().classes;
    const bool is_new = classes.find(clsid) == classes.end();
    if (factory)
        classes[clsid] = std::move(factory);
    else
        classes.erase(clsid);
    return is_new;
}

int com_init_depth() {
    return init_depth;
}

} // namespace qcore
