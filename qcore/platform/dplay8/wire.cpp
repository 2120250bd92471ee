#include <qcore/platform/dplay8/wire.h>

namespace qcore::detail::dp8 {

void put_header(uint8_t out[header_size], frame_type type, uint32_t payload_size) {
    const uint32_t len = payload_size + 1;
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(len >> (8 * i));
    out[4] = static_cast<uint8_t>(type);
}

bool frame_reader::check_header() {
    uint32_t len = 0;
    for (int i = 0; i < 4; ++i)
        len |= uint32_t(header_[i]) << (8 * i);
    const uint8_t type = header_[4];
    if (len == 0 || len - 1 > max_payload_ || type == 0 || type > last_frame_type) return stop();
    want_ = len - 1;
    type_ = static_cast<frame_type>(type);
    return true;
}

DPN_APPLICATION_DESC session_desc::to_desc() const {
    DPN_APPLICATION_DESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = flags;
    d.guidInstance = instance;
    d.guidApplication = application;
    d.dwMaxPlayers = max_players;
    d.dwCurrentPlayers = current_players;
    d.pwszSessionName = const_cast<WCHAR*>(name.c_str());
    return d;
}

session_desc session_desc::from_desc(const DPN_APPLICATION_DESC& desc) {
    session_desc s;
    s.flags = desc.dwFlags;
    s.instance = desc.guidInstance;
    s.application = desc.guidApplication;
    s.max_players = desc.dwMaxPlayers;
    s.current_players = desc.dwCurrentPlayers;
    if (desc.pwszSessionName) {
        s.name = desc.pwszSessionName;
        if (s.name.size() > max_session_name) s.name.resize(max_session_name);
    }
    return s;
}

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put_guid(std::vector<uint8_t>& out, const GUID& g) {
    put_u32(out, g.Data1);
    out.push_back(static_cast<uint8_t>(g.Data2));
    out.push_back(static_cast<uint8_t>(g.Data2 >> 8));
    out.push_back(static_cast<uint8_t>(g.Data3));
    out.push_back(static_cast<uint8_t>(g.Data3 >> 8));
    out.insert(out.end(), g.Data4, g.Data4 + 8);
}

std::optional<uint32_t> get_u32(const uint8_t* data, size_t size, size_t& pos) {
    if (size < 4 || pos > size - 4) return std::nullopt;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(data[pos + i]) << (8 * i);
    pos += 4;
    return v;
}

std::optional<GUID> get_guid(const uint8_t* data, size_t size, size_t& pos) {
    if (size < 16 || pos > size - 16) return std::nullopt;
    const uint8_t* p = data + pos;
    GUID g{};
    g.Data1 = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    g.Data2 = static_cast<WORD>(p[4] | p[5] << 8);
    g.Data3 = static_cast<WORD>(p[6] | p[7] << 8);
    std::memcpy(g.Data4, p + 8, 8);
    pos += 16;
    return g;
}

void put_session(std::vector<uint8_t>& out, const session_desc& s) {
    put_u32(out, s.flags);
    put_guid(out, s.instance);
    put_guid(out, s.application);
    put_u32(out, s.max_players);
    put_u32(out, s.current_players);
    const size_t n = std::min(s.name.size(), max_session_name);
    put_u32(out, static_cast<uint32_t>(n));
    for (size_t i = 0; i < n; ++i) {
        out.push_back(static_cast<uint8_t>(s.name[i]));
        out.push_back(static_cast<uint8_t>(s.name[i] >> 8));
    }
}

std::optional<session_desc> get_session(const uint8_t* data, size_t size, size_t& pos) {
    session_desc s;
    auto flags = get_u32(data, size, pos);
    auto instance = get_guid(data, size, pos);
    auto application = get_guid(data, size, pos);
    auto max_players = get_u32(data, size, pos);
    auto current = get_u32(data, size, pos);
    auto len = get_u32(data, size, pos);
    if (!flags || !instance || !application || !max_players || !current || !len) return std::nullopt;
    if (*len > max_session_name || (size - pos) / 2 < *len) return std::nullopt;
    s.flags = *flags;
    s.instance = *instance;
    s.application = *application;
    s.max_players = *max_players;
    s.current_players = *current;
    s.name.resize(*len);
    for (size_t i = 0; i < *len; ++i)
        s.name[i] = static_cast<char16_t>(data[pos + 2 * i] | data[pos + 2 * i + 1] << 8);
    pos += 2 * size_t(*len);
    // A zero inside the name would end it early on the receiving side: cut it there.
    s.name.resize(std::char_traits<char16_t>::length(s.name.c_str()));
    return s;
}

} // namespace qcore::detail::dp8
