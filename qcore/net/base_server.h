#pragma once
// The server side of client-server messaging: hosts a named session, keeps the members with their
// addresses, tells each new client its own address and sends texts and commands to single clients.
// Derived classes that override the handlers call destroy_server() in their own destructor, so that no
// handler runs while the derived part is being destroyed.
#include <qcore/net/net_msg.h>
#include <qcore/platform/dplay8/dplay8.h>

#include <atomic>
#include <list>
#include <mutex>

class CBaseServer {
public:
    CBaseServer();
    virtual ~CBaseServer();
    CBaseServer(const CBaseServer&) = delete;
    CBaseServer& operator=(const CBaseServer&) = delete;

    virtual void on_server_destroyed() {}
    virtual void on_client_changed() {}
    // Called on the session's worker thread for every session message.
    virtual HRESULT on_msg_from_client(DWORD msg_id, void* msg);

    // Hosts `session_name`, ending any earlier session first. 1 on success, 0 after a message box.
    int create_server(const char* session_name);
    void destroy_server();
    bool is_server_started() const { return dp_server != nullptr; }
    void set_notify_window(HWND wnd) { notify_wnd = wnd; }

    void enum_active_clients(std::list<ADDRESS_INFO>& out);
    // The member record of `id`, or null. The pointer is valid until the member list next changes; other
    // threads read the list through get_clients().
    ADDRESS_INFO* find_client(DPNID id);
    std::list<ADDRESS_INFO> get_clients() const;
    int get_address_info(DPNID id, ADDRESS_INFO& info);
    void send_client_address_to_client(DPNID id);
    void send_msg_to_client(DPNID id, const char* text);
    void send_cmd_to_client(DPNID id, DWORD cmd);
    HRESULT send_dplay_msg(DPNID id, const void* buffer, DWORD size);

protected:
    HRESULT InitDirectPlay();
    HRESULT CreateDeviceAddress();
    HRESULT HostSession(const WCHAR* session_name);
    BOOL IsServiceProviderValid(const GUID* sp);
    static HRESULT WINAPI msg_handler_at_server(PVOID context, DWORD msg_id, PVOID msg);
    // Puts `clients` in address order (stable); the caller holds clients_lock.
    void sort_clients();

    // Kept sorted by address; changed on the session's worker thread, so always read under clients_lock.
    std::list<ADDRESS_INFO> clients;
    mutable std::recursive_mutex clients_lock;
    IDirectPlay8Server* dp_server = nullptr;
    IDirectPlay8Address* device_address = nullptr;
    IDirectPlay8Address* other_address = nullptr;
    std::atomic<HWND> notify_wnd{nullptr};

private:
    void add_client(const ADDRESS_INFO& info);
    bool remove_client(DPNID id);
    void clients_changed();
};

namespace qcore {
// The order of the member list: addresses of four numbers compare number by number, others as text.
bool address_less(const CString& a, const CString& b);
} // namespace qcore
