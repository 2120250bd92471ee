// qcore-net-peer PORT SESSION: joins SESSION at 127.0.0.1:PORT as a client, prints the address the server
// reports, greets the server, answers each command N with the text "got N" and exits when the server ends
// the session. Exit status 0 on that ending, 1 on any failure or after ten seconds without it.
#include <qcore/net/base_client.h>
#include <qcore/platform/win32/message.h>
#include <qcore/platform/win32/message_box.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

class PeerClient : public CBaseClient {
public:
    ~PeerClient() override { destroy_client(); }

    HRESULT on_msg_from_server(DWORD msg_id, void* msg) override {
        DWORD code = 0, cmd = 0;
        const auto* r = static_cast<DPNMSG_RECEIVE*>(msg);
        if (msg_id == DPN_MSGID_RECEIVE &&
            qcore::read_net_code(r->pReceiveData, r->dwReceiveDataSize, code) && code == NETMSG_CMD &&
            qcore::read_net_cmd(r->pReceiveData, r->dwReceiveDataSize, cmd)) {
            std::lock_guard<std::mutex> hold(lock_);
            commands_.push_back(cmd);
        }
        return CBaseClient::on_msg_from_server(msg_id, msg);
    }
    std::vector<DWORD> take_commands() {
        std::lock_guard<std::mutex> hold(lock_);
        return std::exchange(commands_, {});
    }

private:
    std::mutex lock_;
    std::vector<DWORD> commands_;
};

template <class Pred> bool pump_until(Pred done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qcore-net-peer PORT SESSION\n");
        return 1;
    }
    qcore::dplay8_settings settings;
    settings.default_port = static_cast<uint16_t>(std::atoi(argv[1]));
    settings.enum_retry_ms = 20;
    settings.enum_timeout_ms = 100;
    qcore::set_dplay8_settings(settings);
    qcore::set_message_box_handler([](const char* text, UINT) {
        std::printf("box %s\n", text);
        std::fflush(stdout);
        return IDOK;
    });
    CoInitialize(nullptr);
    int status = 1;
    {
        PeerClient client;
        if (client.link_server(1, "127.0.0.1", argv[2], "peer") &&
            pump_until([&] { return !client.get_str_port().IsEmpty(); })) {
            std::printf("address %s %s\n", client.get_str_ip().GetString(),
                        client.get_str_port().GetString());
            std::fflush(stdout);
            client.send_str_to_server("hello from peer");
            const bool ended = pump_until([&] {
                for (DWORD cmd : client.take_commands()) {
                    std::printf("cmd %u\n", cmd);
                    CString reply;
                    reply.Format("got %u", cmd);
                    client.send_str_to_server(reply);
                }
                return !client.is_client_started();
            });
            if (ended) {
                std::printf("end\n");
                status = 0;
            }
        }
    }
    CoUninitialize();
    return status;
}
