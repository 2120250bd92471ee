#pragma once
// The client side of client-server messaging: finds a session by host address and name, joins it, sends
// texts and buffers to the server and learns its own address from the server.
// Derived classes that override the handler call destroy_client() in their own destructor, so that no
// handler runs while the derived part is being destroyed.
#include <qcore/core/thread_window.h>
#include <qcore/net/net_msg.h>
#include <qcore/platform/dplay8/dplay8.h>
#include <qcore/platform/win32/com_runtime.h>

#include <atomic>
#include <forward_list>
#include <mutex>
#include <string>

class CBaseClient {
public:
    // A session found by host enumeration.
    struct HOST_NODE {
        DPN_APPLICATION_DESC desc{}; // pointer members cleared
        IDirectPlay8Address* address = nullptr;
        std::u16string session_name;

        HOST_NODE() = default;
        HOST_NODE(const HOST_NODE&) = delete;
        HOST_NODE& operator=(const HOST_NODE&) = delete;
        ~HOST_NODE();
    };

    CBaseClient();
    virtual ~CBaseClient();
    CBaseClient(const CBaseClient&) = delete;
    CBaseClient& operator=(const CBaseClient&) = delete;

    // Called on the session's worker thread for every session message.
    virtual HRESULT on_msg_from_server(DWORD msg_id, void* msg);

    // Finds `session` at `host` and joins it. 1 on success; 0 with the client idle.
    int link_server(int show_errors, const char* host, const char* session, const char* user);
    void destroy_client();
    bool is_client_started() const { return dp_client != nullptr; }
    void set_notify_window(HWND wnd) { notify_wnd = wnd; }

    HRESULT send_str_to_server(const char* text);
    HRESULT send_buf_to_server(const void* buffer, DWORD size);

    void get_address_info(CString& ip_out, CString& port_out);
    CString get_str_ip() const;
    CString get_str_port() const;
    DWORD get_server_id() const;
    CString get_user_name() const { return user_name; }
    void set_user_name(const char* name) { user_name = name; }
    // The number of sessions found by the last enumeration.
    size_t host_count();

    static LRESULT CALLBACK client_thread_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

protected:
    HRESULT InitDirectPlay();
    HRESULT CreateDeviceAddress();
    HRESULT CreateHostAddress(const char* host);
    HRESULT EnumDirectPlayHosts(const char* host, const char* session);
    HRESULT ConnectToSession();
    BOOL IsServiceProviderValid(const GUID* sp);
    static HRESULT WINAPI msg_handler_at_client(PVOID context, DWORD msg_id, PVOID msg);

    CThreadWindow thread_wnd;
    IDirectPlay8Client* dp_client = nullptr;
    IDirectPlay8Address* device_address = nullptr;
    IDirectPlay8Address* host_address = nullptr;
    std::forward_list<HOST_NODE> hosts; // newest first, guarded by lock
    CRITICAL_SECTION lock;
    CString user_name;
    std::atomic<HWND> notify_wnd{nullptr};

private:
    void on_enum_response(const DPNMSG_ENUM_HOSTS_RESPONSE& response);
    void on_receive(const DPNMSG_RECEIVE& receive);

    // The session name looked for, set by link_server; guarded by lock.
    CString wanted_session;
    // What the server told this client, written on the worker thread.
    mutable std::mutex address_lock;
    CString ip;
    CString port;
    DWORD server_id = 0;
};
