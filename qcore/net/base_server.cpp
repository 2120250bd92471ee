#include <qcore/data/wait_window.h>
#include <qcore/net/base_server.h>
#include <qcore/net/dxutil.h>
#include <qcore/net/net_common.h>
#include <qcore/platform/win32/message.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace qcore::detail;

namespace qcore {
namespace {

// The numbers of an address text split at '.' and ' '.
std::vector<int> address_numbers(const CString& text) {
    std::vector<int> out;
    const std::string& s = text.str();
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '.' || s[i] == ' ') {
            ++i;
            continue;
        }
        const size_t end = s.find_first_of(". ", i);
        out.push_back(std::atoi(s.substr(i, end == std::string::npos ? std::string::npos : end - i).c_str()));
        i = end == std::string::npos ? s.size() : end;
    }
    return out;
}

} // namespace

bool address_less(const CString& a, const CString& b) {
    const std::vector<int> na = address_numbers(a), nb = address_numbers(b);
    if (na.size() == 4 && nb.size() == 4) return na < nb;
    return a.Compare(b) < 0;
}

} // namespace qcore

CBaseServer::CBaseServer() = default;

CBaseServer::~CBaseServer() {
    destroy_server();
}

int CBaseServer::create_server(const char* session_name) {
    CMyWaitCursor wait;
    const char* name = session_name ? session_name : "";
    std::vector<WCHAR> wide(std::strlen(name) + 1);
    DXUtil_ConvertAnsiStringToWide(wide.data(), name, static_cast<int>(wide.size()));
    destroy_server();
    const struct {
        HRESULT (CBaseServer::*step)();
        const char* failure;
    } steps[] = {{&CBaseServer::InitDirectPlay, "Failed Initializing DirectPlay"},
                 {&CBaseServer::CreateDeviceAddress, "Failed CreatingDeviceAddress"}};
    for (const auto& s : steps) {
        if (FAILED((this->*s.step)())) {
            AfxMessageBox(s.failure, MB_OK, 0);
            destroy_server();
            return 0;
        }
    }
    if (FAILED(HostSession(wide.data()))) {
        AfxMessageBox("Failed Hosting", MB_OK, 0);
        destroy_server();
        return 0;
    }
    return 1;
}

void CBaseServer::destroy_server() {
    // Closing first: once Close returns no handler runs, so nothing below races with the worker thread.
    const bool was_started = dp_server != nullptr;
    if (dp_server) dp_server->Close(0);
    for (IUnknown** p :
         {reinterpret_cast<IUnknown**>(&device_address), reinterpret_cast<IUnknown**>(&other_address),
          reinterpret_cast<IUnknown**>(&dp_server)}) {
        if (*p) (*p)->Release();
        *p = nullptr;
    }
    if (was_started) on_server_destroyed();
}

HRESULT CBaseServer::InitDirectPlay() {
    HRESULT hr = CoCreateInstance(CLSID_DirectPlay8Server, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IDirectPlay8Server, reinterpret_cast<void**>(&dp_server));
    if (FAILED(net_check(hr, "Failed Creating the IDirectPlay8Peer Object"))) return hr;
    hr = dp_server->Initialize(this, msg_handler_at_server, 0);
    if (FAILED(net_check(hr, "Failed Initializing DirectPlay"))) return hr;
    if (!IsServiceProviderValid(&CLSID_DP8SP_TCPIP))
        return net_check(E_FAIL, "Failed validating CLSID_DP8SP_TCPIP");
    return S_OK;
}

BOOL CBaseServer::IsServiceProviderValid(const GUID* sp) {
    return net_sp_valid(dp_server, sp);
}

HRESULT CBaseServer::CreateDeviceAddress() {
    return net_create_address(&device_address);
}

HRESULT CBaseServer::HostSession(const WCHAR* session_name) {
    static const WCHAR server_name[] = u"Server";
    DPN_PLAYER_INFO info{};
    info.dwSize = sizeof info;
    info.dwInfoFlags = DPNINFO_NAME;
    info.pwszName = const_cast<WCHAR*>(server_name);
    HRESULT hr = dp_server->SetServerInfo(&info, nullptr, nullptr, DPNSETSERVERINFO_SYNC);
    if (FAILED(net_check(hr, "Failed Hosting"))) return hr;
    DPN_APPLICATION_DESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DPNSESSION_CLIENT_SERVER;
    desc.guidApplication = net_application_guid;
    desc.pwszSessionName = const_cast<WCHAR*>(session_name);
    hr = dp_server->Host(&desc, &device_address, 1, nullptr, nullptr, nullptr, 0);
    return net_check(hr, "Failed Hosting");
}

HRESULT WINAPI CBaseServer::msg_handler_at_server(PVOID context, DWORD msg_id, PVOID msg) {
    return static_cast<CBaseServer*>(context)->on_msg_from_client(msg_id, msg);
}

HRESULT CBaseServer::on_msg_from_client(DWORD msg_id, void* msg) {
    switch (msg_id) {
    case DPN_MSGID_CREATE_PLAYER: {
        const DPNID id = static_cast<DPNMSG_CREATE_PLAYER*>(msg)->dpnidPlayer;
        ADDRESS_INFO info{0, id, "unknown", "-1"};
        get_address_info(id, info);
        if (!info.is_local) send_client_address_to_client(id);
        add_client(info);
        clients_changed();
        break;
    }
    case DPN_MSGID_DESTROY_PLAYER:
        remove_client(static_cast<DPNMSG_DESTROY_PLAYER*>(msg)->dpnidPlayer);
        clients_changed();
        break;
    case DPN_MSGID_ENUM_HOSTS_QUERY:
    case DPN_MSGID_INDICATE_CONNECT:
        break;
    case DPN_MSGID_RECEIVE: {
        const auto* r = static_cast<DPNMSG_RECEIVE*>(msg);
        DWORD code = 0;
        CString text;
        if (!qcore::read_net_code(r->pReceiveData, r->dwReceiveDataSize, code)) break;
        if (code != NETMSG_TEXT)
            AfxMessageBox("No such msg id", MB_OK, 0);
        else if (qcore::read_net_text(r->pReceiveData, r->dwReceiveDataSize, text))
            AfxMessageBox(text, MB_OK, 0);
        break;
    }
    default: {
        CString text;
        text.Format("Unknown msg id = %x", msg_id);
        AfxMessageBox(text, MB_OK, 0);
        break;
    }
    }
    return 0;
}

void CBaseServer::add_client(const ADDRESS_INFO& info) {
    std::lock_guard<std::recursive_mutex> hold(clients_lock);
    clients.push_back(info);
    sort_clients();
}

void CBaseServer::sort_clients() {
    clients.sort(
        [](const ADDRESS_INFO& a, const ADDRESS_INFO& b) { return qcore::address_less(a.ip, b.ip); });
}

bool CBaseServer::remove_client(DPNID id) {
    std::lock_guard<std::recursive_mutex> hold(clients_lock);
    if (!find_client(id)) return false;
    clients.remove_if([id](const ADDRESS_INFO& a) { return a.id == id; });
    return true;
}

void CBaseServer::clients_changed() {
    on_client_changed();
    if (HWND wnd = notify_wnd) PostMessageA(wnd, WM_NET_CLIENTS_CHANGED, 0, 0);
}

ADDRESS_INFO* CBaseServer::find_client(DPNID id) {
    std::lock_guard<std::recursive_mutex> hold(clients_lock);
    for (ADDRESS_INFO& a : clients)
        if (a.id == id) return &a;
    return nullptr;
}

std::list<ADDRESS_INFO> CBaseServer::get_clients() const {
    std::lock_guard<std::recursive_mutex> hold(clients_lock);
    return clients;
}

int CBaseServer::get_address_info(DPNID id, ADDRESS_INFO& info) {
    if (!dp_server) return 0;
    IDirectPlay8Address* address = nullptr;
    int is_local = 0;
    if (FAILED(dp_server->GetClientAddress(id, &address, 0)) || !address) {
        DWORD count = 1;
        if (FAILED(dp_server->GetLocalHostAddresses(&address, &count, 0)) || !address) {
            info = ADDRESS_INFO{1, id, "unkown", "0"};
            return 1;
        }
        is_local = 1;
    }
    CString url;
    DWORD len = 0;
    if (address->GetURLA(nullptr, &len) != DPNERR_BUFFERTOOSMALL) {
        AfxMessageBox("error get address str", MB_OK, 0);
    } else {
        std::vector<char> text(len + 1, 0);
        if (SUCCEEDED(address->GetURLA(text.data(), &len))) url = text.data();
    }
    address->Release();
    if (url.IsEmpty()) {
        AfxMessageBox("err gt addres", MB_OK, 0);
        return 0;
    }
    info.is_local = is_local;
    info.id = id;
    if (!net_url_value(url, "hostname=", info.ip)) info.ip = "unknown";
    if (!net_url_value(url, "port=", info.port)) info.port = "0";
    return 1;
}

void CBaseServer::enum_active_clients(std::list<ADDRESS_INFO>& out) {
    if (!dp_server) return;
    std::vector<DPNID> ids;
    DWORD count = 0;
    HRESULT hr = dp_server->EnumPlayersAndGroups(nullptr, &count, DPNENUM_PLAYERS);
    if (FAILED(hr) && hr != DPNERR_BUFFERTOOSMALL) return;
    if (count == 0) {
        AfxMessageBox("client count=0", MB_OK, 0);
        return;
    }
    // Members may join between the two calls: ask again with the larger count.
    do {
        ids.resize(count);
        hr = dp_server->EnumPlayersAndGroups(ids.data(), &count, DPNENUM_PLAYERS);
    } while (hr == DPNERR_BUFFERTOOSMALL);
    if (FAILED(hr)) {
        AfxMessageBox("err enum client", MB_OK, 0);
        return;
    }
    ids.resize(count);
    for (DPNID id : ids) {
        ADDRESS_INFO info;
        if (get_address_info(id, info)) out.push_back(info);
    }
}

void CBaseServer::send_client_address_to_client(DPNID id) {
    ADDRESS_INFO info;
    if (!get_address_info(id, info) || info.is_local) return;
    const NET_ADDRESS_MSG m = qcore::make_net_address(-1, info.ip, info.port);
    send_dplay_msg(id, &m, sizeof m);
}

void CBaseServer::send_msg_to_client(DPNID id, const char* text) {
    const NET_TEXT_MSG m = qcore::make_net_text(text);
    send_dplay_msg(id, &m, sizeof m);
}

void CBaseServer::send_cmd_to_client(DPNID id, DWORD cmd) {
    const NET_CMD_MSG m = qcore::make_net_cmd(cmd);
    send_dplay_msg(id, &m, sizeof m);
}

HRESULT CBaseServer::send_dplay_msg(DPNID id, const void* buffer, DWORD size) {
    if (!dp_server) return 1;
    DPN_BUFFER_DESC b{size, static_cast<BYTE*>(const_cast<void*>(buffer))};
    return dp_server->SendTo(id, &b, 1, 200, nullptr, nullptr, DPNSEND_SYNC | DPNSEND_NOLOOPBACK);
}
