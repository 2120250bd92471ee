#pragma once
// Node-tree file bytes built by hand, for tests that pin the layout or damage it.
#include <cstdint>
#include <string>

namespace qcore::test {

template <class T> std::string raw_bytes(const T& v) {
    return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

inline const std::string kPakHead("tpk\0"
                                  "1.0\0",
                                  8);

// One record: 48-byte name field, id, parent id, type, sub_type, length (that of data unless given).
inline std::string pak_record(const std::string& name, int32_t id, int32_t pid, uint16_t type, uint16_t sub,
                              const std::string& data = "", int32_t length = INT32_MIN) {
    std::string r = name.substr(0, 48);
    r.resize(48, '\0');
    const int32_t len = length == INT32_MIN ? static_cast<int32_t>(data.size()) : length;
    return r + raw_bytes(id) + raw_bytes(pid) + raw_bytes(type) + raw_bytes(sub) + raw_bytes(len) + data;
}

} // namespace qcore::test
