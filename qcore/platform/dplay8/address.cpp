#include <qcore/platform/dplay8/address.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

namespace qcore {

namespace {
std::mutex settings_lock;
dplay8_settings& current_settings() {
    static dplay8_settings s;
    return s;
}
} // namespace

void set_dplay8_settings(const dplay8_settings& settings) {
    std::lock_guard<std::mutex> hold(settings_lock);
    current_settings() = settings;
}

dplay8_settings get_dplay8_settings() {
    std::lock_guard<std::mutex> hold(settings_lock);
    return current_settings();
}

} // namespace qcore

namespace qcore::detail::dp8 {

std::u16string utf8_to_wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(std::max(n, 0)), u'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string wide_to_utf8(const std::u16string& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                            nullptr);
    return out;
}

namespace {

struct component {
    std::u16string name;
    DWORD type;
    std::vector<uint8_t> data;
};

// Characters a URL value may carry as they are; everything else is written as %XX.
bool url_plain(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
}

void url_escape(std::string& out, const std::string& value) {
    for (unsigned char c : value) {
        if (url_plain(c)) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
}

std::string guid_text(const GUID& g) {
    char text[48];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
                  g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    return text;
}

class address final : public IDirectPlay8Address {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDirectPlay8Address) {
            AddRef();
            *out = static_cast<IDirectPlay8Address*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }

    HRESULT Duplicate(IDirectPlay8Address** out) override {
        if (!out) return DPNERR_INVALIDPOINTER;
        auto* copy = new address;
        {
            std::lock_guard<std::mutex> hold(lock_);
            copy->sp_ = sp_;
            copy->has_sp_ = has_sp_;
            copy->components_ = components_;
        }
        *out = copy;
        return DPN_OK;
    }
    HRESULT SetSP(const GUID* sp) override {
        if (!sp) return DPNERR_INVALIDPOINTER;
        std::lock_guard<std::mutex> hold(lock_);
        sp_ = *sp;
        has_sp_ = true;
        return DPN_OK;
    }
    HRESULT GetSP(GUID* sp) override {
        if (!sp) return DPNERR_INVALIDPOINTER;
        std::lock_guard<std::mutex> hold(lock_);
        if (!has_sp_) return DPNERR_DOESNOTEXIST;
        *sp = sp_;
        return DPN_OK;
    }
    HRESULT AddComponent(const WCHAR* name, const void* data, DWORD size, DWORD type) override {
        if (!name || !*name || (!data && size)) return DPNERR_INVALIDPARAM;
        if (!valid_value(data, size, type)) return DPNERR_INVALIDPARAM;
        component c{name, type, {}};
        if (size) c.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        std::lock_guard<std::mutex> hold(lock_);
        for (component& old : components_) {
            if (old.name == c.name) {
                old = std::move(c);
                return DPN_OK;
            }
        }
        components_.push_back(std::move(c));
        return DPN_OK;
    }
    HRESULT GetComponentByName(const WCHAR* name, void* data, DWORD* size, DWORD* type) override {
        if (!name || !size || !type) return DPNERR_INVALIDPOINTER;
        std::lock_guard<std::mutex> hold(lock_);
        for (const component& c : components_) {
            if (c.name != name) continue;
            *type = c.type;
            const DWORD need = static_cast<DWORD>(c.data.size());
            if (!data || *size < need) {
                *size = need;
                return DPNERR_BUFFERTOOSMALL;
            }
            if (need) std::memcpy(data, c.data.data(), need);
            *size = need;
            return DPN_OK;
        }
        return DPNERR_DOESNOTEXIST;
    }
    HRESULT GetURLA(char* url, DWORD* url_len) override {
        if (!url_len) return DPNERR_INVALIDPOINTER;
        const std::string text = build_url();
        const DWORD need = static_cast<DWORD>(text.size() + 1);
        if (!url || *url_len < need) {
            *url_len = need;
            return DPNERR_BUFFERTOOSMALL;
        }
        std::memcpy(url, text.c_str(), need);
        *url_len = need;
        return DPN_OK;
    }

private:
    static bool valid_value(const void* data, DWORD size, DWORD type) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        switch (type) {
        case DPNA_DATATYPE_STRING:
            return size >= 2 && size % 2 == 0 && bytes[size - 1] == 0 && bytes[size - 2] == 0;
        case DPNA_DATATYPE_STRING_ANSI:
            return size >= 1 && bytes[size - 1] == 0;
        case DPNA_DATATYPE_DWORD:
            return size == 4;
        case DPNA_DATATYPE_GUID:
            return size == 16;
        case DPNA_DATATYPE_BINARY:
            return true;
        default:
            return false;
        }
    }

    std::string build_url() const {
        std::lock_guard<std::mutex> hold(lock_);
        std::string url = "x-directplay:/";
        bool first = true;
        auto sep = [&] {
            if (!first) url += ';';
            first = false;
        };
        if (has_sp_) {
            sep();
            url += "provider=";
            url_escape(url, guid_text(sp_));
        }
        for (const component& c : components_) {
            sep();
            url_escape(url, wide_to_utf8(c.name));
            url += '=';
            url += value_text(c);
        }
        return url;
    }

    static std::string value_text(const component& c) {
        std::string out;
        switch (c.type) {
        case DPNA_DATATYPE_STRING: {
            std::u16string w(c.data.size() / 2 - 1, u'\0');
            std::memcpy(w.data(), c.data.data(), w.size() * 2);
            url_escape(out, wide_to_utf8(std::u16string(w.c_str())));
            break;
        }
        case DPNA_DATATYPE_STRING_ANSI:
            url_escape(out, std::string(reinterpret_cast<const char*>(c.data.data())));
            break;
        case DPNA_DATATYPE_DWORD: {
            uint32_t v;
            std::memcpy(&v, c.data.data(), 4);
            out = std::to_string(v);
            break;
        }
        case DPNA_DATATYPE_GUID: {
            GUID g;
            std::memcpy(&g, c.data.data(), 16);
            url_escape(out, guid_text(g));
            break;
        }
        default:
            url_escape(out, std::string(c.data.begin(), c.data.end()));
            break;
        }
        return out;
    }

    std::atomic<ULONG> refs_{1};
    mutable std::mutex lock_;
    GUID sp_{};
    bool has_sp_ = false;
    std::vector<component> components_;
};

[[maybe_unused]] bool registered = [] {
    register_com_class(CLSID_DirectPlay8Address, create_address);
    return true;
}();

} // namespace

HRESULT create_address(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    auto* a = new address;
    const HRESULT hr = a->QueryInterface(iid, out);
    a->Release();
    return hr;
}

ComRef<IDirectPlay8Address> make_address(const std::string& host, uint16_t port) {
    ComRef<IDirectPlay8Address> a;
    if (FAILED(create_address(IID_IDirectPlay8Address, reinterpret_cast<void**>(a.out())))) return a;
    a->SetSP(&CLSID_DP8SP_TCPIP);
    const std::u16string wide = utf8_to_wide(host);
    a->AddComponent(DPNA_KEY_HOSTNAME, wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(WCHAR)),
                    DPNA_DATATYPE_STRING);
    const DWORD p = port;
    a->AddComponent(DPNA_KEY_PORT, &p, sizeof p, DPNA_DATATYPE_DWORD);
    return a;
}

std::optional<std::string> address_host(IDirectPlay8Address* address) {
    if (!address) return std::nullopt;
    DWORD size = 0, type = 0;
    if (address->GetComponentByName(DPNA_KEY_HOSTNAME, nullptr, &size, &type) != DPNERR_BUFFERTOOSMALL)
        return std::nullopt;
    std::vector<uint8_t> data(size);
    if (FAILED(address->GetComponentByName(DPNA_KEY_HOSTNAME, data.data(), &size, &type)))
        return std::nullopt;
    if (type == DPNA_DATATYPE_STRING_ANSI) return std::string(reinterpret_cast<const char*>(data.data()));
    if (type != DPNA_DATATYPE_STRING) return std::nullopt;
    std::u16string w(size / 2, u'\0');
    std::memcpy(w.data(), data.data(), w.size() * 2);
    return wide_to_utf8(std::u16string(w.c_str()));
}

std::optional<uint16_t> address_port(IDirectPlay8Address* address) {
    if (!address) return std::nullopt;
    DWORD port = 0, size = sizeof port, type = 0;
    if (FAILED(address->GetComponentByName(DPNA_KEY_PORT, &port, &size, &type)) ||
        type != DPNA_DATATYPE_DWORD || port > 0xFFFF)
        return std::nullopt;
    return static_cast<uint16_t>(port);
}

} // namespace qcore::detail::dp8
