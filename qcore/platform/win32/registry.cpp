#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/registry.h>

#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr const char* kCpuKey = "HKLM\\hardware\\description\\system\\centralprocessor\\0";

struct Value {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::string path;
    std::map<CString, Value, qcore::NoCaseLess> values;
};

struct Registry {
    std::mutex mutex;
    std::map<CString, std::unique_ptr<Key>, qcore::NoCaseLess> keys;
    // Handles handed out: each open handle names a key path.
    std::map<HKEY, std::string> open;
    uintptr_t next_handle = 0x1000;
    std::string cpuinfo = "/proc/cpuinfo";
    bool cpu_loaded = false;
};

Registry& reg() {
    static Registry r;
    return r;
}

const char* root_name(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return "HKCR";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_USERS) return "HKU";
    return nullptr;
}

// The full path of root\sub_key with separators normalised; empty when the root is unknown.
std::string full_path(Registry& r, HKEY root, const char* sub_key) {
    std::string base;
    if (const char* name = root_name(root))
        base = name;
    else if (auto it = r.open.find(root); it != r.open.end())
        base = it->second;
    else
        return {};
    std::string sub = sub_key ? sub_key : "";
    for (char& c : sub)
        c = c == '/' ? '\\' : c;
    while (!sub.empty() && sub.front() == '\\')
        sub.erase(0, 1);
    while (!sub.empty() && sub.back() == '\\')
        sub.pop_back();
    return sub.empty() ? base : base + "\\" + sub;
}

std::string read_cpu_identifier(const std::string& source) {
    std::ifstream in(source);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("model name", 0) != 0) continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string value = line.substr(colon + 1);
        const size_t start = value.find_first_not_of(" \t");
        return start == std::string::npos ? std::string() : value.substr(start);
    }
    return {};
}

void load_cpu_key(Registry& r) {
    if (r.cpu_loaded) return;
    r.cpu_loaded = true;
    const std::string id = read_cpu_identifier(r.cpuinfo);
    if (id.empty()) return;
    auto key = std::make_unique<Key>();
    key->path = kCpuKey;
    Value v{REG_SZ, std::vector<BYTE>(id.begin(), id.end())};
    v.data.push_back(0);
    key->values["Identifier"] = std::move(v);
    r.keys[kCpuKey] = std::move(key);
}

HKEY open_handle(Registry& r, const std::string& path) {
    HKEY h = reinterpret_cast<HKEY>(r.next_handle++);
    r.open[h] = path;
    return h;
}

Key* find_key(Registry& r, HKEY handle) {
    auto it = r.open.find(handle);
    if (it == r.open.end()) return nullptr;
    auto k = r.keys.find(it->second.c_str());
    return k == r.keys.end() ? nullptr : k->second.get();
}

} // namespace

LONG RegOpenKeyExA(HKEY root, const char* sub_key, DWORD, REGSAM, HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    Registry& r = reg();
    std::lock_guard lock(r.mutex);
    load_cpu_key(r);
    const std::string path = full_path(r, root, sub_key);
    if (path.empty()) return ERROR_INVALID_HANDLE;
    if (!r.keys.count(path.c_str())) return ERROR_FILE_NOT_FOUND;
    *result = open_handle(r, path);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY root, const char* sub_key, DWORD, char*, DWORD, REGSAM, void*, HKEY* result,
                     DWORD* disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    Registry& r = reg();
    std::lock_guard lock(r.mutex);
    load_cpu_key(r);
    const std::string path = full_path(r, root, sub_key);
    if (path.empty()) return ERROR_INVALID_HANDLE;
    auto& slot = r.keys[path.c_str()];
    const bool created = !slot;
    if (created) {
        slot = std::make_unique<Key>();
        slot->path = path;
    }
    if (disposition) *disposition = created ? 1 : 2; // REG_CREATED_NEW_KEY, REG_OPENED_EXISTING_KEY
    *result = open_handle(r, path);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY handle, const char* name, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
    Registry& r = reg();
    std::lock_guard lock(r.mutex);
    Key* key = find_key(r, handle);
    if (!key) return ERROR_INVALID_HANDLE;
    auto it = key->values.find(name ? name : "");
    if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
    const Value& v = it->second;
    if (type) *type = v.type;
    const auto needed = static_cast<DWORD>(v.data.size());
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data) std::memcpy(data, v.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY handle, const char* name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    Registry& r = reg();
    std::lock_guard lock(r.mutex);
    Key* key = find_key(r, handle);
    if (!key) return ERROR_INVALID_HANDLE;
    if (!data && size) return ERROR_INVALID_PARAMETER;
    Value v{type, data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>()};
    key->values[name ? name : ""] = std::move(v);
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY root, const char* sub_key) {
    Registry& r = reg();
    std::lock_guard lock(r.mutex);
    load_cpu_key(r);
    const std::string path = full_path(r, root, sub_key);
    if (path.empty()) return ERROR_INVALID_HANDLE;
    return r.keys.erase(path.c_str()) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY handle) {
    Registry& r = reg();
    std::lock_guard lock(r.mutex);
    return r.open.erase(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

namespace qcore {
void set_cpuinfo_source(const char* path) {
    Registry& r = reg();
    std::lock_guard lock(r.mutex);
    r.keys.erase(kCpuKey);
    r.cpuinfo = path ? path : "/proc/cpuinfo";
    r.cpu_loaded = false;
}
} // namespace qcore
