#pragma once
// A server and clients on loopback with short session timings, message boxes recorded, and a notify
// window that counts the window messages it receives.
#include <qcore/core/thread_window.h>
#include <qcore/net/base_client.h>
#include <qcore/net/base_server.h>
#include <qcore/platform/win32/message_box.h>

#include <gtest/gtest.h>
#include <support/loopback.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace qcore::test {

class TestServer : public CBaseServer {
public:
    ~TestServer() override { destroy_server(); }
    void on_client_changed() override { ++changes; }
    // Replaces the member list and sorts it as joining members are sorted.
    void put_clients(const std::list<ADDRESS_INFO>& list) {
        std::lock_guard<std::recursive_mutex> hold(clients_lock);
        clients.clear();
        for (const ADDRESS_INFO& a : list) {
            clients.push_back(a);
            sort_clients();
        }
    }
    // The server's record of a client, found by the port the client learnt.
    bool record_of(const CString& port, ADDRESS_INFO& out) const {
        for (const ADDRESS_INFO& a : get_clients())
            if (a.port == port && !a.is_local) return out = a, true;
        return false;
    }
    std::atomic<int> changes{0};
};

class TestClient : public CBaseClient {
public:
    ~TestClient() override { destroy_client(); }
    HRESULT on_msg_from_server(DWORD msg_id, void* msg) override {
        DWORD code = 0, cmd = 0;
        const auto* r = static_cast<DPNMSG_RECEIVE*>(msg);
        if (msg_id == DPN_MSGID_RECEIVE && read_net_code(r->pReceiveData, r->dwReceiveDataSize, code) &&
            code == NETMSG_CMD && read_net_cmd(r->pReceiveData, r->dwReceiveDataSize, cmd)) {
            std::lock_guard<std::mutex> hold(lock_);
            commands_.push_back(cmd);
        }
        return CBaseClient::on_msg_from_server(msg_id, msg);
    }
    std::vector<DWORD> commands() {
        std::lock_guard<std::mutex> hold(lock_);
        return commands_;
    }

private:
    std::mutex lock_;
    std::vector<DWORD> commands_;
};

inline std::atomic<int> g_clients_changed{0};
inline std::atomic<int> g_session_end{0};

inline LRESULT CALLBACK notify_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NET_CLIENTS_CHANGED && wparam == 0 && lparam == 0) ++g_clients_changed;
    if (message == WM_NET_SESSION_END && wparam == 0 && lparam == 0) ++g_session_end;
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

class Net : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        settings.listen_address = "127.0.0.1";
        settings.default_port = free_loopback_port();
        settings.enum_retry_ms = 20;
        settings.enum_timeout_ms = 60;
        settings.keepalive_ms = 50;
        settings.idle_timeout_ms = 5000;
        set_dplay8_settings(settings);
        g_clients_changed = 0;
        g_session_end = 0;
        ASSERT_EQ(notify.create_thread_window(nullptr, "net_test_notify", notify_proc), 1);
    }
    void TearDown() override {
        set_dplay8_settings({});
        CoUninitialize();
    }

    bool has_box(const std::string& text) const {
        const auto texts = boxes.texts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    bool wait_box(const std::string& text) const {
        return pump_until([&] { return has_box(text); });
    }

    dplay8_settings settings;
    MessageBoxRecorder boxes;
    CThreadWindow notify;
};

} // namespace qcore::test
