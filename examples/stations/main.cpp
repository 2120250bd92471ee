// stations: a server and a client station in one process talk over loopback. The server sends the client
// a command, the client answers with a text. Session handlers run on worker threads and hand what they
// receive to the user-interface thread by posting window messages; all answering is done there.
#include "example_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

constexpr UINT WM_HEARD_TEXT = WM_APP + 1;    // lparam: a std::string* the receiver deletes
constexpr UINT WM_HEARD_COMMAND = WM_APP + 2; // wparam: the command

HWND g_station_window = nullptr;

// The server: texts from clients go to the window instead of message boxes.
class ServerStation : public CBaseServer {
public:
    ~ServerStation() override { destroy_server(); }

    HRESULT on_msg_from_client(DWORD msg_id, void* msg) override {
        CString text;
        if (msg_id == DPN_MSGID_RECEIVE) {
            const auto* r = static_cast<DPNMSG_RECEIVE*>(msg);
            if (qcore::read_net_text(r->pReceiveData, r->dwReceiveDataSize, text))
                PostMessageA(g_station_window, WM_HEARD_TEXT, 0,
                             reinterpret_cast<LPARAM>(new std::string(text.GetString())));
            return 0;
        }
        return CBaseServer::on_msg_from_client(msg_id, msg);
    }
};

// The client: commands from the server go to the window.
class ClientStation : public CBaseClient {
public:
    ~ClientStation() override { destroy_client(); }

    HRESULT on_msg_from_server(DWORD msg_id, void* msg) override {
        DWORD code = 0, cmd = 0;
        const auto* r = static_cast<DPNMSG_RECEIVE*>(msg);
        if (msg_id == DPN_MSGID_RECEIVE &&
            qcore::read_net_code(r->pReceiveData, r->dwReceiveDataSize, code) && code == NETMSG_CMD &&
            qcore::read_net_cmd(r->pReceiveData, r->dwReceiveDataSize, cmd))
            PostMessageA(g_station_window, WM_HEARD_COMMAND, cmd, 0);
        return CBaseClient::on_msg_from_server(msg_id, msg);
    }
};

ClientStation* g_client = nullptr;
int g_clients_joined = 0;
std::string g_reply;

// The user-interface thread's side of both stations.
LRESULT CALLBACK station_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_NET_CLIENTS_CHANGED:
        ++g_clients_joined;
        return 0;
    case WM_HEARD_COMMAND: {
        std::printf("client heard command %u\n", static_cast<unsigned>(wparam));
        CString answer;
        answer.Format("got %u", static_cast<unsigned>(wparam));
        g_client->send_str_to_server(answer);
        return 0;
    }
    case WM_HEARD_TEXT: {
        const auto* text = reinterpret_cast<std::string*>(lparam);
        g_reply = *text;
        delete text;
        std::printf("server heard \"%s\"\n", g_reply.c_str());
        return 0;
    }
    default:
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

// A loopback port nobody listens on now.
uint16_t free_loopback_port() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    uint16_t port = 0;
    if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (s >= 0) close(s);
    return port;
}

// The first member that is not the server itself.
bool remote_member(const CBaseServer& server, ADDRESS_INFO& member) {
    for (const ADDRESS_INFO& a : server.get_clients())
        if (!a.is_local) {
            member = a;
            return true;
        }
    return false;
}

// Delivers window messages until done() holds or ten seconds have passed.
template <class Done> bool pump_until(Done done) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(2)) {
        if (!peek_and_pump()) return false;
        if (done()) return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    example::Options options;
    if (!example::parse_options(argc, argv, options, "stations [--sdl]") ||
        !example::start_window_system(options))
        return 2;
    qcore::dplay8_settings settings;
    settings.default_port = free_loopback_port();
    settings.listen_address = "127.0.0.1";
    settings.enum_retry_ms = 20;
    settings.enum_timeout_ms = 200;
    qcore::set_dplay8_settings(settings);
    CoInitialize(nullptr);

    int status = 1;
    {
        CThreadWindow window;
        if (!window.create_thread_window(nullptr, "qcore_stations", station_proc)) return 1;
        g_station_window = window.get_hwnd();

        ServerStation server;
        server.set_notify_window(g_station_window);
        ClientStation client;
        g_client = &client;
        ADDRESS_INFO member;
        if (server.create_server("example session") &&
            client.link_server(1, "127.0.0.1", "example session", "station b") &&
            pump_until([&] { return g_clients_joined > 0 && remote_member(server, member); })) {
            std::printf("server sees client %s:%s\n", member.ip.GetString(), member.port.GetString());
            server.send_cmd_to_client(member.id, 7);
            if (pump_until([] { return !g_reply.empty(); }) && g_reply == "got 7") status = 0;
        }
        client.destroy_client();
        server.destroy_server();
        g_client = nullptr;
        g_station_window = nullptr;
    }
    CoUninitialize();
    return status;
}
