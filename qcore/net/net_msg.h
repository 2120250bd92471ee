#pragma once
// The application messages a server and its clients exchange, the window messages they post, and the
// record of one session member.
#include <qcore/data/guid.h>
#include <qcore/platform/dplay8/dplay8.h>
#include <qcore/platform/win32/cstring.h>

#include <cstddef>

#define NETMSG_CMD 0x1401
#define NETMSG_TEXT 0x1402
#define NETMSG_ADDRESS 0x1403

#define WM_NET_SESSION_END 1101
#define WM_NET_CLIENTS_CHANGED 1102

// Server to client: a command value.
struct NET_CMD_MSG {
    DWORD code = NETMSG_CMD;
    DWORD cmd = 0;
    DWORD reserved[2] = {0, 0};
    CGuid guid;
};

// Either direction: a zero-terminated text of at most 255 characters.
struct NET_TEXT_MSG {
    DWORD code = NETMSG_TEXT;
    char text[256] = {};
};

// Server to client: the client's own address as the server sees it.
struct NET_ADDRESS_MSG {
    DWORD code = NETMSG_ADDRESS;
    LONG server_id = -1;
    char ip[64] = {};
    char port[16] = {};
};

static_assert(sizeof(NET_CMD_MSG) == 32 && offsetof(NET_CMD_MSG, guid) == 16);
static_assert(sizeof(NET_TEXT_MSG) == 260 && offsetof(NET_TEXT_MSG, text) == 4);
static_assert(sizeof(NET_ADDRESS_MSG) == 88 && offsetof(NET_ADDRESS_MSG, ip) == 8 &&
              offsetof(NET_ADDRESS_MSG, port) == 72);

// One known session member.
struct ADDRESS_INFO {
    int is_local = 0; // 1: the address is the server's own (or could not be found)
    DPNID id = 0;
    CString ip;
    CString port;
};

namespace qcore {

// Builders: texts longer than their field are cut to fit, always zero-terminated.
NET_TEXT_MSG make_net_text(const char* text);
NET_CMD_MSG make_net_cmd(DWORD cmd);
NET_ADDRESS_MSG make_net_address(LONG server_id, const char* ip, const char* port);

// Readers of received bytes, which come from untrusted peers: false when the data is shorter than the
// message's layout. Texts end at their zero or at the end of their field, whichever comes first.
bool read_net_code(const void* data, size_t size, DWORD& code);
bool read_net_text(const void* data, size_t size, CString& text);
bool read_net_cmd(const void* data, size_t size, DWORD& cmd);
bool read_net_address(const void* data, size_t size, DWORD& server_id, CString& ip, CString& port);

} // namespace qcore
