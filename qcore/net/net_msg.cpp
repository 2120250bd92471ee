#include <qcore/net/net_msg.h>

#include <algorithm>
#include <bit>
#include <cstring>

// The messages travel as their in-memory records.
static_assert(std::endian::native == std::endian::little);

namespace qcore {
namespace {

template <size_t N> void put_text(char (&field)[N], const char* text) {
    if (!text) return;
    const size_t n = strnlen(text, N - 1);
    std::memcpy(field, text, n);
    field[n] = 0;
}

CString field_text(const uint8_t* field, size_t size) {
    const size_t n = strnlen(reinterpret_cast<const char*>(field), size - 1);
    return CString(reinterpret_cast<const char*>(field), static_cast<int>(n));
}

} // namespace

NET_TEXT_MSG make_net_text(const char* text) {
    NET_TEXT_MSG m;
    put_text(m.text, text);
    return m;
}

NET_CMD_MSG make_net_cmd(DWORD cmd) {
    NET_CMD_MSG m;
    m.cmd = cmd;
    return m;
}

NET_ADDRESS_MSG make_net_address(LONG server_id, const char* ip, const char* port) {
    NET_ADDRESS_MSG m;
    m.server_id = server_id;
    put_text(m.ip, ip);
    put_text(m.port, port);
    return m;
}

bool read_net_code(const void* data, size_t size, DWORD& code) {
    if (!data || size < sizeof(DWORD)) return false;
    std::memcpy(&code, data, sizeof code);
    return true;
}

bool read_net_text(const void* data, size_t size, CString& text) {
    if (!data || size < sizeof(NET_TEXT_MSG)) return false;
    const auto* p = static_cast<const uint8_t*>(data);
    text = field_text(p + offsetof(NET_TEXT_MSG, text), sizeof(NET_TEXT_MSG::text));
    return true;
}

bool read_net_cmd(const void* data, size_t size, DWORD& cmd) {
    if (!data || size < sizeof(NET_CMD_MSG)) return false;
    std::memcpy(&cmd, static_cast<const uint8_t*>(data) + offsetof(NET_CMD_MSG, cmd), sizeof cmd);
    return true;
}

bool read_net_address(const void* data, size_t size, DWORD& server_id, CString& ip, CString& port) {
    if (!data || size < sizeof(NET_ADDRESS_MSG)) return false;
    const auto* p = static_cast<const uint8_t*>(data);
    std::memcpy(&server_id, p + offsetof(NET_ADDRESS_MSG, server_id), sizeof server_id);
    ip = field_text(p + offsetof(NET_ADDRESS_MSG, ip), sizeof(NET_ADDRESS_MSG::ip));
    port = field_text(p + offsetof(NET_ADDRESS_MSG, port), sizeof(NET_ADDRESS_MSG::port));
    return true;
}

} // namespace qcore
