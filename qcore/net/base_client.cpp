#include <qcore/data/wait_window.h>
#include <qcore/net/base_client.h>
#include <qcore/net/dxutil.h>
#include <qcore/net/net_common.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/app.h>
#include <qcore/platform/win32/message.h>

#include <vector>

using namespace qcore::detail;

namespace {

// Holds a critical section for a scope.
class cs_hold {
public:
    explicit cs_hold(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~cs_hold() { LeaveCriticalSection(&cs_); }
    cs_hold(const cs_hold&) = delete;
    cs_hold& operator=(const cs_hold&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

template <class T> void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

CString to_ansi(const WCHAR* text) {
    if (!text) return CString();
    const size_t n = std::char_traits<char16_t>::length(text);
    std::vector<char> out(n * 3 + 1);
    DXUtil_ConvertWideStringToAnsi(out.data(), text, static_cast<int>(out.size()));
    return CString(out.data());
}

} // namespace

CBaseClient::HOST_NODE::~HOST_NODE() {
    release(address);
}

CBaseClient::CBaseClient() : ip("127.0.0.1") {
    InitializeCriticalSection(&lock);
}

CBaseClient::~CBaseClient() {
    destroy_client();
    thread_wnd.destroy_thread_window();
    DeleteCriticalSection(&lock);
}

int CBaseClient::link_server(int show_errors, const char* host, const char* session, const char* user) {
    CMyWaitCursor wait;
    // The old session ends before the window is replaced, so its worker never sees the window change; an
    // end-of-session message still queued for the old window dies with it.
    destroy_client();
    CWnd* main = AfxGetMainWnd();
    thread_wnd.create_thread_window(main ? main->GetSafeHwnd() : nullptr, "client_thread",
                                    client_thread_proc);
    const char* failure = nullptr;
    CString text;
    if (FAILED(InitDirectPlay())) {
        failure = "Failed Initializing DirectPlay";
    } else if (FAILED(CreateDeviceAddress())) {
        failure = "Failed CreatingDeviceAddress";
    } else if (FAILED(EnumDirectPlayHosts(host ? host : "", session ? session : ""))) {
        failure = "Failed enumerating host";
    } else if (FAILED(ConnectToSession())) {
        text.Format("Failed connect to session : %s", session ? session : "");
        failure = text;
    }
    if (failure) {
        if (show_errors) AfxMessageBox(failure, MB_OK, 0);
        destroy_client();
        return 0;
    }
    user_name = user;
    return 1;
}

void CBaseClient::destroy_client() {
    user_name.Empty();
    // Once Close returns no handler runs: the host list and the objects below are ours alone.
    if (dp_client) dp_client->Close(0);
    {
        cs_hold hold(lock);
        hosts.clear();
    }
    release(device_address);
    release(host_address);
    release(dp_client);
}

HRESULT CBaseClient::InitDirectPlay() {
    HRESULT hr = CoCreateInstance(CLSID_DirectPlay8Client, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IDirectPlay8Client, reinterpret_cast<void**>(&dp_client));
    if (FAILED(net_check(hr, "Failed Creating the IDirectPlay8Client Object"))) return hr;
    hr = dp_client->Initialize(this, msg_handler_at_client, 0);
    if (FAILED(net_check(hr, "Failed Initializing DirectPlay"))) return hr;
    if (!IsServiceProviderValid(&CLSID_DP8SP_TCPIP))
        return net_check(E_FAIL, "Failed validating CLSID_DP8SP_TCPIP");
    return S_OK;
}

BOOL CBaseClient::IsServiceProviderValid(const GUID* sp) {
    return net_sp_valid(dp_client, sp);
}

HRESULT CBaseClient::CreateDeviceAddress() {
    return net_create_address(&device_address);
}

HRESULT CBaseClient::CreateHostAddress(const char* host) {
    WCHAR wide[64];
    DXUtil_ConvertAnsiStringToWide(wide, host, 64);
    HRESULT hr = net_create_address(&host_address);
    if (FAILED(hr)) return hr;
    const DWORD size = static_cast<DWORD>((std::char_traits<char16_t>::length(wide) + 1) * sizeof(WCHAR));
    hr = host_address->AddComponent(DPNA_KEY_HOSTNAME, wide, size, DPNA_DATATYPE_STRING);
    return net_check(hr, "Failed Adding Hostname to Host Address");
}

HRESULT CBaseClient::EnumDirectPlayHosts(const char* host, const char* session) {
    HRESULT hr = CreateHostAddress(host);
    if (FAILED(net_check(hr, "Failed Creating Host Address"))) return hr;
    {
        cs_hold hold(lock);
        wanted_session = session;
    }
    DPN_APPLICATION_DESC desc{};
    desc.dwSize = sizeof desc;
    desc.guidApplication = net_application_guid;
    hr = dp_client->EnumHosts(&desc, host_address, device_address, nullptr, 0, 4, 0, 0, nullptr, nullptr,
                              DPNENUMHOSTS_SYNC);
    return net_check(hr, "Failed Enumerating the Hosts");
}

HRESULT CBaseClient::ConnectToSession() {
    IDirectPlay8Address* address = nullptr;
    {
        cs_hold hold(lock);
        if (hosts.empty()) return E_FAIL;
        const HRESULT hr = hosts.front().address->Duplicate(&address);
        if (FAILED(hr)) return hr;
    }
    // Connecting runs outside the lock: the response handler takes it on the worker thread meanwhile.
    DPN_APPLICATION_DESC desc{};
    desc.dwSize = sizeof desc;
    desc.guidApplication = net_application_guid;
    const HRESULT hr = dp_client->Connect(&desc, address, device_address, nullptr, nullptr, nullptr, 0,
                                          nullptr, nullptr, DPNCONNECT_SYNC);
    address->Release();
    return hr;
}

HRESULT WINAPI CBaseClient::msg_handler_at_client(PVOID context, DWORD msg_id, PVOID msg) {
    return static_cast<CBaseClient*>(context)->on_msg_from_server(msg_id, msg);
}

HRESULT CBaseClient::on_msg_from_server(DWORD msg_id, void* msg) {
    switch (msg_id) {
    case DPN_MSGID_ENUM_HOSTS_RESPONSE:
        on_enum_response(*static_cast<DPNMSG_ENUM_HOSTS_RESPONSE*>(msg));
        break;
    case DPN_MSGID_RECEIVE:
        on_receive(*static_cast<DPNMSG_RECEIVE*>(msg));
        break;
    case DPN_MSGID_TERMINATE_SESSION:
        if (HWND wnd = thread_wnd.get_hwnd())
            PostMessageA(wnd, WM_NET_SESSION_END, 0, reinterpret_cast<LPARAM>(this));
        if (HWND wnd = notify_wnd) PostMessageA(wnd, WM_NET_SESSION_END, 0, 0);
        break;
    default:
        break;
    }
    return 0;
}

void CBaseClient::on_enum_response(const DPNMSG_ENUM_HOSTS_RESPONSE& response) {
    const DPN_APPLICATION_DESC* desc = response.pApplicationDescription;
    if (!desc || !response.pAddressSender) return;
    const CString name = to_ansi(desc->pwszSessionName);
    cs_hold hold(lock);
    if (!wanted_session.IsEmpty() && name != wanted_session) return;
    for (const HOST_NODE& h : hosts)
        if (IsEqualGUID(h.desc.guidInstance, desc->guidInstance)) return;
    IDirectPlay8Address* address = nullptr;
    if (FAILED(response.pAddressSender->Duplicate(&address))) return;
    HOST_NODE& node = hosts.emplace_front();
    node.address = address;
    node.desc = *desc;
    node.desc.pwszSessionName = nullptr;
    node.desc.pwszPassword = nullptr;
    node.desc.pvReservedData = nullptr;
    node.desc.dwReservedDataSize = 0;
    node.desc.pvApplicationReservedData = nullptr;
    node.desc.dwApplicationReservedDataSize = 0;
    if (desc->pwszSessionName) node.session_name = desc->pwszSessionName;
}

void CBaseClient::on_receive(const DPNMSG_RECEIVE& receive) {
    DWORD code = 0;
    if (!qcore::read_net_code(receive.pReceiveData, receive.dwReceiveDataSize, code)) return;
    if (code == NETMSG_TEXT) {
        CString text;
        if (qcore::read_net_text(receive.pReceiveData, receive.dwReceiveDataSize, text))
            AfxMessageBox(text, MB_OK, 0);
    } else if (code == NETMSG_ADDRESS) {
        DWORD id = 0;
        CString new_ip, new_port;
        if (!qcore::read_net_address(receive.pReceiveData, receive.dwReceiveDataSize, id, new_ip, new_port))
            return;
        std::lock_guard<std::mutex> hold(address_lock);
        ip = new_ip;
        port = new_port;
        server_id = id;
    }
}

LRESULT CALLBACK CBaseClient::client_thread_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NET_SESSION_END && lparam) reinterpret_cast<CBaseClient*>(lparam)->destroy_client();
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

HRESULT CBaseClient::send_str_to_server(const char* text) {
    const NET_TEXT_MSG m = qcore::make_net_text(text);
    return send_buf_to_server(&m, sizeof m);
}

HRESULT CBaseClient::send_buf_to_server(const void* buffer, DWORD size) {
    if (!dp_client) return net_check(DPNERR_NOCONNECTION, "Failed Sending Data");
    DPN_BUFFER_DESC b{size, static_cast<BYTE*>(const_cast<void*>(buffer))};
    return net_check(dp_client->Send(&b, 1, 0, nullptr, nullptr, DPNSEND_SYNC | DPNSEND_NOLOOPBACK),
                     "Failed Sending Data");
}

void CBaseClient::get_address_info(CString& ip_out, CString& port_out) {
    if (!dp_client || !device_address) return;
    std::lock_guard<std::mutex> hold(address_lock);
    ip_out = ip;
    port_out = port;
}

CString CBaseClient::get_str_ip() const {
    std::lock_guard<std::mutex> hold(address_lock);
    return ip;
}

CString CBaseClient::get_str_port() const {
    std::lock_guard<std::mutex> hold(address_lock);
    return port;
}

DWORD CBaseClient::get_server_id() const {
    std::lock_guard<std::mutex> hold(address_lock);
    return server_id;
}

size_t CBaseClient::host_count() {
    cs_hold hold(lock);
    return static_cast<size_t>(std::distance(hosts.begin(), hosts.end()));
}
