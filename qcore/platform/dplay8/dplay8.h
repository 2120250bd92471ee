#pragma once
// Client/server network sessions: the server, client and address objects with the messages their handlers
// receive. Sessions run over TCP; handlers are called on each object's own worker thread.
#include <qcore/platform/win32/com_runtime.h>

#include <cstdint>
#include <string>

typedef void* PVOID;
typedef DWORD DPNID;
typedef DWORD* PDPNID;
typedef DWORD DPNHANDLE;
typedef HRESULT(WINAPI* PFNDPNMESSAGEHANDLER)(PVOID user_context, DWORD message_type, PVOID message);

// Classes and interfaces.
inline constexpr CLSID CLSID_DirectPlay8Client = {
    0xd09de17d, 0x2583, 0x4867, {0x9d, 0x61, 0xaa, 0xcf, 0x50, 0x5a, 0x3d, 0x71}};
inline constexpr CLSID CLSID_DirectPlay8Server = {
    0xdbb18783, 0xe347, 0x422f, {0xa3, 0x7d, 0x3c, 0x9f, 0x03, 0x25, 0x06, 0xcf}};
inline constexpr CLSID CLSID_DirectPlay8Address = {
    0x4b908c1d, 0x9352, 0x42fc, {0xb0, 0xab, 0xef, 0x18, 0x02, 0x09, 0x98, 0x2c}};
inline constexpr IID IID_IDirectPlay8Client = {
    0x1d212c78, 0xca49, 0x4f8e, {0xbe, 0x49, 0x4c, 0x81, 0x8b, 0x4b, 0x1a, 0x7e}};
inline constexpr IID IID_IDirectPlay8Server = {
    0x102f872e, 0xe576, 0x4252, {0x98, 0x4c, 0x0d, 0xef, 0xd6, 0x42, 0x2e, 0x35}};
inline constexpr IID IID_IDirectPlay8Address = {
    0x1ff8d4eb, 0x9526, 0x4ab0, {0xab, 0x82, 0x81, 0x6e, 0xa5, 0x85, 0x7e, 0xb5}};
// The TCP/IP service provider, the only one there is.
inline constexpr GUID CLSID_DP8SP_TCPIP = {
    0xebfe7ba0, 0x628d, 0x11d2, {0xae, 0x0f, 0x00, 0x60, 0x97, 0xb0, 0x14, 0x11}};

// Result codes.
#define MAKE_DPNHRESULT(code) MAKE_HRESULT(1, 0x15, (code) + 0x8000)
#define DPN_OK S_OK
#define DPNERR_GENERIC E_FAIL
#define DPNERR_INVALIDPARAM E_INVALIDARG
#define DPNERR_INVALIDPOINTER E_POINTER
#define DPNERR_OUTOFMEMORY E_OUTOFMEMORY
#define DPNERR_UNSUPPORTED E_NOTIMPL
#define DPNERR_ALREADYCONNECTED MAKE_DPNHRESULT(0x60)
#define DPNERR_ALREADYINITIALIZED MAKE_DPNHRESULT(0x80)
#define DPNERR_BUFFERTOOSMALL MAKE_DPNHRESULT(0x100)
#define DPNERR_CONNECTIONLOST MAKE_DPNHRESULT(0x160)
#define DPNERR_DOESNOTEXIST MAKE_DPNHRESULT(0x180)
#define DPNERR_HOSTING MAKE_DPNHRESULT(0x250)
#define DPNERR_HOSTREJECTEDCONNECTION MAKE_DPNHRESULT(0x260)
#define DPNERR_HOSTTERMINATEDSESSION MAKE_DPNHRESULT(0x270)
#define DPNERR_INCOMPLETEADDRESS MAKE_DPNHRESULT(0x280)
#define DPNERR_INVALIDDEVICEADDRESS MAKE_DPNHRESULT(0x320)
#define DPNERR_INVALIDFLAGS MAKE_DPNHRESULT(0x340)
#define DPNERR_INVALIDHOSTADDRESS MAKE_DPNHRESULT(0x370)
#define DPNERR_INVALIDPLAYER MAKE_DPNHRESULT(0x420)
#define DPNERR_NOCONNECTION MAKE_DPNHRESULT(0x470)
#define DPNERR_NORESPONSE MAKE_DPNHRESULT(0x500)
#define DPNERR_NOTALLOWED MAKE_DPNHRESULT(0x510)
#define DPNERR_NOTHOST MAKE_DPNHRESULT(0x520)
#define DPNERR_SENDTOOLARGE MAKE_DPNHRESULT(0x590)
#define DPNERR_SESSIONFULL MAKE_DPNHRESULT(0x600)
#define DPNERR_TIMEDOUT MAKE_DPNHRESULT(0x620)
#define DPNERR_UNINITIALIZED MAKE_DPNHRESULT(0x630)
#define DPNERR_USERCANCEL MAKE_DPNHRESULT(0x640)

// Message ids handed to the message handlers.
#define DPN_MSGID_OFFSET 0xFFFF0000u
#define DPN_MSGID_CONNECT_COMPLETE (DPN_MSGID_OFFSET | 0x0005)
#define DPN_MSGID_CREATE_PLAYER (DPN_MSGID_OFFSET | 0x0007)
#define DPN_MSGID_DESTROY_PLAYER (DPN_MSGID_OFFSET | 0x0009)
#define DPN_MSGID_ENUM_HOSTS_QUERY (DPN_MSGID_OFFSET | 0x000A)
#define DPN_MSGID_ENUM_HOSTS_RESPONSE (DPN_MSGID_OFFSET | 0x000B)
#define DPN_MSGID_INDICATE_CONNECT (DPN_MSGID_OFFSET | 0x000E)
#define DPN_MSGID_RECEIVE (DPN_MSGID_OFFSET | 0x0011)
#define DPN_MSGID_TERMINATE_SESSION (DPN_MSGID_OFFSET | 0x0016)

// Flags. Operations complete before the call returns whether or not the synchronous flag is given.
#define DPNSEND_SYNC 0x80000000u
#define DPNSEND_NOCOPY 0x0001u
#define DPNSEND_NOCOMPLETE 0x0002u
#define DPNSEND_GUARANTEED 0x0008u
#define DPNSEND_NOLOOPBACK 0x0020u
#define DPNENUMHOSTS_SYNC 0x80000000u
#define DPNCONNECT_SYNC 0x80000000u
#define DPNSETSERVERINFO_SYNC 0x80000000u
#define DPNINFO_NAME 0x0001u
#define DPNINFO_DATA 0x0002u
#define DPNSESSION_CLIENT_SERVER 0x0001u
#define DPNENUM_PLAYERS 0x0001u
#define DPNENUM_GROUPS 0x0010u
#define DPNID_ALL_PLAYERS_GROUP 0u
#define DPNDESTROYPLAYERREASON_NORMAL 0x0001u
#define DPNDESTROYPLAYERREASON_CONNECTIONLOST 0x0002u
#define DPNDESTROYPLAYERREASON_SESSIONTERMINATED 0x0003u

// Address components.
#define DPNA_DATATYPE_STRING 0x0001u
#define DPNA_DATATYPE_DWORD 0x0002u
#define DPNA_DATATYPE_GUID 0x0003u
#define DPNA_DATATYPE_BINARY 0x0004u
#define DPNA_DATATYPE_STRING_ANSI 0x0005u
inline constexpr WCHAR DPNA_KEY_HOSTNAME[] = u"hostname";
inline constexpr WCHAR DPNA_KEY_PORT[] = u"port";
inline constexpr WCHAR DPNA_KEY_PROVIDER[] = u"provider";

struct DPN_APPLICATION_DESC {
    DWORD dwSize;
    DWORD dwFlags;
    GUID guidInstance;
    GUID guidApplication;
    DWORD dwMaxPlayers;
    DWORD dwCurrentPlayers;
    WCHAR* pwszSessionName;
    WCHAR* pwszPassword;
    PVOID pvReservedData;
    DWORD dwReservedDataSize;
    PVOID pvApplicationReservedData;
    DWORD dwApplicationReservedDataSize;
};
typedef DPN_APPLICATION_DESC* PDPN_APPLICATION_DESC;

struct DPN_PLAYER_INFO {
    DWORD dwSize;
    DWORD dwInfoFlags;
    WCHAR* pwszName;
    PVOID pvData;
    DWORD dwDataSize;
    DWORD dwPlayerFlags;
};

struct DPN_SERVICE_PROVIDER_INFO {
    DWORD dwFlags;
    GUID guid;
    WCHAR* pwszName;
    PVOID pvReserved;
    DWORD dwReserved;
};

struct DPN_BUFFER_DESC {
    DWORD dwBufferSize;
    BYTE* pBufferData;
};

struct DPN_SECURITY_DESC;
struct DPN_SECURITY_CREDENTIALS;
struct IDirectPlay8Address;

struct DPNMSG_CONNECT_COMPLETE {
    DWORD dwSize;
    DPNHANDLE hAsyncOp;
    PVOID pvUserContext;
    HRESULT hResultCode;
    PVOID pvApplicationReplyData;
    DWORD dwApplicationReplyDataSize;
};

struct DPNMSG_CREATE_PLAYER {
    DWORD dwSize;
    DPNID dpnidPlayer;
    PVOID pvPlayerContext;
};

struct DPNMSG_DESTROY_PLAYER {
    DWORD dwSize;
    DPNID dpnidPlayer;
    PVOID pvPlayerContext;
    DWORD dwReason;
};

struct DPNMSG_ENUM_HOSTS_QUERY {
    DWORD dwSize;
    IDirectPlay8Address* pAddressSender;
    IDirectPlay8Address* pAddressDevice;
    PVOID pvReceivedData;
    DWORD dwReceivedDataSize;
    DWORD dwMaxResponseDataSize;
    PVOID pvResponseData;
    DWORD dwResponseDataSize;
    PVOID pvResponseContext;
};

struct DPNMSG_ENUM_HOSTS_RESPONSE {
    DWORD dwSize;
    IDirectPlay8Address* pAddressSender;
    IDirectPlay8Address* pAddressDevice;
    const DPN_APPLICATION_DESC* pApplicationDescription;
    PVOID pvResponseData;
    DWORD dwResponseDataSize;
    PVOID pvUserContext;
    DWORD dwRoundTripLatencyMS;
};

struct DPNMSG_INDICATE_CONNECT {
    DWORD dwSize;
    PVOID pvUserConnectData;
    DWORD dwUserConnectDataSize;
    PVOID pvReplyData;
    DWORD dwReplyDataSize;
    PVOID pvReplyContext;
    PVOID pvPlayerContext;
    IDirectPlay8Address* pAddressPlayer;
    IDirectPlay8Address* pAddressDevice;
};

struct DPNMSG_RECEIVE {
    DWORD dwSize;
    DPNID dpnidSender;
    PVOID pvPlayerContext;
    BYTE* pReceiveData;
    DWORD dwReceiveDataSize;
    DPNHANDLE hBufferHandle;
};

struct DPNMSG_TERMINATE_SESSION {
    DWORD dwSize;
    HRESULT hResultCode;
    PVOID pvTerminateData;
    DWORD dwTerminateDataSize;
};

// A network address: a service provider and named components, written as a URL
// ("x-directplay:/provider=%7B...%7D;hostname=127.0.0.1;port=2302").
struct IDirectPlay8Address : IUnknown {
    virtual HRESULT Duplicate(IDirectPlay8Address** out) = 0;
    virtual HRESULT SetSP(const GUID* sp) = 0;
    virtual HRESULT GetSP(GUID* sp) = 0;
    // Strings are wide and their size counts the terminating zero, in bytes.
    virtual HRESULT AddComponent(const WCHAR* name, const void* data, DWORD data_size, DWORD data_type) = 0;
    // DPNERR_BUFFERTOOSMALL with the size needed when `data` is null or *data_size too small.
    virtual HRESULT GetComponentByName(const WCHAR* name, void* data, DWORD* data_size, DWORD* data_type) = 0;
    // The URL; DPNERR_BUFFERTOOSMALL with the length needed (counting the zero) when the buffer is short.
    virtual HRESULT GetURLA(char* url, DWORD* url_len) = 0;
};
typedef IDirectPlay8Address* PDIRECTPLAY8ADDRESS;

// Hosts one client-server session. Close ends it; no handler runs once Close has returned.
struct IDirectPlay8Server : IUnknown {
    virtual HRESULT Initialize(PVOID user_context, PFNDPNMESSAGEHANDLER handler, DWORD flags) = 0;
    virtual HRESULT EnumServiceProviders(const GUID* sp, const GUID* application,
                                         DPN_SERVICE_PROVIDER_INFO* info, DWORD* info_size, DWORD* returned,
                                         DWORD flags) = 0;
    virtual HRESULT SetServerInfo(const DPN_PLAYER_INFO* info, PVOID async_context, DPNHANDLE* async_handle,
                                  DWORD flags) = 0;
    virtual HRESULT GetClientAddress(DPNID id, IDirectPlay8Address** address, DWORD flags) = 0;
    virtual HRESULT GetLocalHostAddresses(IDirectPlay8Address** addresses, DWORD* count, DWORD flags) = 0;
    virtual HRESULT Host(const DPN_APPLICATION_DESC* desc, IDirectPlay8Address** devices, DWORD device_count,
                         const DPN_SECURITY_DESC* security, const DPN_SECURITY_CREDENTIALS* credentials,
                         PVOID player_context, DWORD flags) = 0;
    virtual HRESULT SendTo(DPNID id, const DPN_BUFFER_DESC* buffers, DWORD buffer_count, DWORD timeout_ms,
                           PVOID async_context, DPNHANDLE* async_handle, DWORD flags) = 0;
    virtual HRESULT EnumPlayersAndGroups(DPNID* ids, DWORD* count, DWORD flags) = 0;
    virtual HRESULT Close(DWORD flags) = 0;
};

// Finds sessions and joins one. Close leaves it; no handler runs once Close has returned.
struct IDirectPlay8Client : IUnknown {
    virtual HRESULT Initialize(PVOID user_context, PFNDPNMESSAGEHANDLER handler, DWORD flags) = 0;
    virtual HRESULT EnumServiceProviders(const GUID* sp, const GUID* application,
                                         DPN_SERVICE_PROVIDER_INFO* info, DWORD* info_size, DWORD* returned,
                                         DWORD flags) = 0;
    // Queries the host `enum_count` times, `retry_ms` apart, and waits `timeout_ms` after the last query
    // (0: the defaults); DPNERR_NORESPONSE when no host answered.
    virtual HRESULT EnumHosts(PDPN_APPLICATION_DESC desc, IDirectPlay8Address* host,
                              IDirectPlay8Address* device, PVOID user_data, DWORD user_data_size,
                              DWORD enum_count, DWORD retry_ms, DWORD timeout_ms, PVOID user_context,
                              DPNHANDLE* async_handle, DWORD flags) = 0;
    virtual HRESULT Connect(const DPN_APPLICATION_DESC* desc, IDirectPlay8Address* host,
                            IDirectPlay8Address* device, const DPN_SECURITY_DESC* security,
                            const DPN_SECURITY_CREDENTIALS* credentials, const void* user_data,
                            DWORD user_data_size, PVOID async_context, DPNHANDLE* async_handle,
                            DWORD flags) = 0;
    // A time-out of 0 waits at most the configured longest send wait.
    virtual HRESULT Send(const DPN_BUFFER_DESC* buffers, DWORD buffer_count, DWORD timeout_ms,
                         PVOID async_context, DPNHANDLE* async_handle, DWORD flags) = 0;
    virtual HRESULT Close(DWORD flags) = 0;
};

namespace qcore {

// How sessions are run. Objects take the settings current when they are initialised.
struct dplay8_settings {
    uint16_t default_port = 2302;
    // Where a host accepts sessions when its device address names no host.
    std::string listen_address = "0.0.0.0";
    uint32_t enum_count = 4;       // when EnumHosts is given 0
    uint32_t enum_retry_ms = 1500; // when EnumHosts is given 0
    uint32_t enum_timeout_ms = 1500;
    uint32_t connect_timeout_ms = 5000;
    // A connection that has not enumerated or joined within this time is dropped.
    uint32_t handshake_timeout_ms = 5000;
    // Both ends of a session send a heartbeat this often and drop the other end after silence this long.
    uint32_t keepalive_ms = 1000;
    uint32_t idle_timeout_ms = 10000;
    uint32_t max_send_wait_ms = 10000; // the wait of a send with time-out 0
    uint32_t max_message = 1u << 20;   // largest message a session carries, in bytes
    uint32_t max_pending = 64;         // connections not yet joined, per host
    uint32_t max_players = 256;        // joined clients, per host
};

void set_dplay8_settings(const dplay8_settings& settings);
dplay8_settings get_dplay8_settings();

} // namespace qcore
