// The server and client session objects over Asio. Each object runs one worker thread that does all socket
// reading, timing and handler calls; sends write straight to the socket from the calling thread under the
// connection's write lock, so a send never waits for the worker.
#include <qcore/platform/dplay8/address.h>
#include <qcore/platform/dplay8/wire.h>

// Asio's fenced blocks use a thread fence, which GCC warns about when building for ThreadSanitizer.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wtsan"
#endif
#include <asio.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace qcore::detail::dp8 {
namespace {

using asio::ip::tcp;
using steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr DWORD max_buffers = 16;
constexpr uint32_t keepalive_wait_ms = 100;

uint32_t total_size(const DPN_BUFFER_DESC* buffers, DWORD count) {
    uint64_t total = 0;
    for (DWORD i = 0; i < count; ++i)
        total += buffers[i].dwBufferSize;
    return total > 0xFFFFFFF0u ? 0xFFFFFFF0u : static_cast<uint32_t>(total);
}

// One TCP connection of a session or an enumeration.
struct conn : std::enable_shared_from_this<conn> {
    enum class phase { pending, joined, closed };

    conn(asio::io_context& io, uint32_t max_payload) : sock(io), reader(max_payload) {}

    // Writes one frame from any thread. A frame cut short by the time-out leaves the stream unusable, so the
    // connection is shut down and the worker drops it.
    HRESULT send(frame_type type, const DPN_BUFFER_DESC* buffers, DWORD count, uint32_t wait_ms,
                 bool skip_if_busy = false) {
        std::unique_lock<std::mutex> hold(write_lock, std::defer_lock);
        if (skip_if_busy) {
            if (!hold.try_lock()) return DPN_OK;
        } else {
            hold.lock();
        }
        if (write_closed) return DPNERR_CONNECTIONLOST;
        uint8_t header[header_size];
        put_header(header, type, total_size(buffers, count));
        iovec iov[max_buffers + 1];
        iov[0] = {header, header_size};
        int n = 1;
        for (DWORD i = 0; i < count; ++i)
            if (buffers[i].dwBufferSize) iov[n++] = {buffers[i].pBufferData, buffers[i].dwBufferSize};
        const auto deadline = steady::now() + milliseconds(wait_ms);
        bool any = false;
        iovec* cur = iov;
        while (n > 0) {
            msghdr msg{};
            msg.msg_iov = cur;
            msg.msg_iovlen = static_cast<size_t>(n);
            const ssize_t r = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
            if (r > 0) {
                any = true;
                size_t left = static_cast<size_t>(r);
                while (n > 0 && left >= cur->iov_len) {
                    left -= cur->iov_len;
                    ++cur;
                    --n;
                }
                if (n > 0) {
                    cur->iov_base = static_cast<uint8_t*>(cur->iov_base) + left;
                    cur->iov_len -= left;
                }
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                const auto left = std::chrono::duration_cast<milliseconds>(deadline - steady::now()).count();
                pollfd p{fd, POLLOUT, 0};
                if (left > 0 && ::poll(&p, 1, static_cast<int>(left)) >= 0) continue;
                if (any) break_stream();
                return DPNERR_TIMEDOUT;
            }
            break_stream();
            return DPNERR_CONNECTIONLOST;
        }
        return DPN_OK;
    }
    HRESULT send(frame_type type, const std::vector<uint8_t>& payload, uint32_t wait_ms) {
        DPN_BUFFER_DESC b{static_cast<DWORD>(payload.size()), const_cast<uint8_t*>(payload.data())};
        return send(type, &b, 1, wait_ms);
    }

    // Worker thread: makes the socket usable for direct writes.
    void open() {
        asio::error_code ec;
        sock.non_blocking(true, ec);
        sock.set_option(tcp::no_delay(true), ec);
        const tcp::endpoint peer = sock.remote_endpoint(ec);
        if (!ec) {
            peer_host = peer.address().to_string();
            peer_port = peer.port();
        }
        std::lock_guard<std::mutex> hold(write_lock);
        fd = sock.native_handle();
    }
    // Worker thread only.
    void close() {
        std::lock_guard<std::mutex> hold(write_lock);
        write_closed = true;
        asio::error_code ec;
        sock.close(ec);
    }

    tcp::socket sock;
    frame_reader reader;
    std::array<uint8_t, 16384> buf{};
    phase state = phase::pending;
    steady::time_point since = steady::now(); // accepted, or last complete frame
    DPNID id = 0;
    PVOID player_context = nullptr;
    std::string peer_host;
    uint16_t peer_port = 0;
    bool terminate_received = false;

private:
    void break_stream() {
        write_closed = true;
        ::shutdown(fd, SHUT_RDWR);
    }

    std::mutex write_lock;
    bool write_closed = false;
    int fd = -1;
};
using conn_ptr = std::shared_ptr<conn>;

// The worker thread and what both session objects share: settings, the handler and the read loop.
class endpoint {
public:
    virtual ~endpoint() = default;

protected:
    HRESULT init(PVOID context, PFNDPNMESSAGEHANDLER fn) {
        if (!fn) return DPNERR_INVALIDPARAM;
        std::lock_guard<std::mutex> hold(state_lock);
        if (io) return DPNERR_ALREADYINITIALIZED;
        cfg = get_dplay8_settings();
        user_context = context;
        handler = fn;
        closing = false;
        io = std::make_unique<asio::io_context>();
        guard.emplace(asio::make_work_guard(*io));
        worker = std::thread([this] { io->run(); });
        worker_id = worker.get_id();
        return DPN_OK;
    }
    bool initialized() {
        std::lock_guard<std::mutex> hold(state_lock);
        return io != nullptr;
    }
    bool on_worker() const { return std::this_thread::get_id() == worker_id; }

    // Ends the worker: after this no handler runs. Connections are closed by the caller afterwards.
    void stop_worker() {
        closing = true;
        guard.reset();
        io->stop();
        if (worker.joinable()) worker.join();
    }
    void end_worker() {
        std::lock_guard<std::mutex> hold(state_lock);
        guard.reset();
        io.reset();
    }

    HRESULT call(DWORD id, void* msg) { return handler(user_context, id, msg); }

    HRESULT enum_providers(const GUID* sp, DPN_SERVICE_PROVIDER_INFO* info, DWORD* info_size,
                           DWORD* returned) {
        if (!info_size || !returned) return DPNERR_INVALIDPOINTER;
        if (!initialized()) return DPNERR_UNINITIALIZED;
        if (sp && !IsEqualGUID(*sp, CLSID_DP8SP_TCPIP)) return DPNERR_DOESNOTEXIST;
        static const WCHAR name[] = u"TCP/IP";
        const DWORD need = sizeof(DPN_SERVICE_PROVIDER_INFO) + sizeof name;
        if (!info || *info_size < need) {
            *info_size = need;
            *returned = 0;
            return DPNERR_BUFFERTOOSMALL;
        }
        auto* text = reinterpret_cast<WCHAR*>(info + 1);
        std::memcpy(text, name, sizeof name);
        *info = DPN_SERVICE_PROVIDER_INFO{0, CLSID_DP8SP_TCPIP, text, nullptr, 0};
        *info_size = need;
        *returned = 1;
        return DPN_OK;
    }

    // Reads frames until the connection ends or on_frame refuses one; then on_drop, once.
    void start_read(const conn_ptr& c) {
        c->sock.async_read_some(asio::buffer(c->buf), [this, c](const asio::error_code& ec, size_t n) {
            if (c->state == conn::phase::closed) return;
            if (ec) {
                drop(c);
                return;
            }
            bool framed = false;
            const bool ok =
                c->reader.feed(c->buf.data(), n, [&](frame_type t, const uint8_t* p, size_t size) {
                    framed = true;
                    return on_frame(c, t, p, size);
                });
            if (framed) c->since = steady::now();
            if (!ok || c->state == conn::phase::closed) {
                drop(c);
                return;
            }
            start_read(c);
        });
    }
    void drop(const conn_ptr& c) {
        if (c->state == conn::phase::closed) return;
        const conn::phase was = c->state;
        c->state = conn::phase::closed;
        c->close();
        on_drop(c, was);
    }

    // Runs `fn` every keepalive interval on the worker until the worker stops.
    void every_tick(std::shared_ptr<asio::steady_timer> timer, std::function<void()> fn) {
        timer->expires_after(milliseconds(std::max<uint32_t>(cfg.keepalive_ms, 1)));
        timer->async_wait([this, timer, fn](const asio::error_code& ec) {
            if (ec) return;
            fn();
            every_tick(timer, fn);
        });
    }
    bool idle_too_long(const conn& c, steady::time_point now) const {
        const uint32_t limit =
            c.state == conn::phase::pending ? cfg.handshake_timeout_ms : cfg.idle_timeout_ms;
        return now - c.since > milliseconds(limit);
    }

    virtual bool on_frame(const conn_ptr& c, frame_type type, const uint8_t* p, size_t size) = 0;
    virtual void on_drop(const conn_ptr& c, conn::phase was) = 0;

    std::mutex state_lock;
    dplay8_settings cfg;
    std::unique_ptr<asio::io_context> io;
    std::atomic<bool> closing{false};

private:
    PVOID user_context = nullptr;
    PFNDPNMESSAGEHANDLER handler = nullptr;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> guard;
    std::thread worker;
    std::thread::id worker_id;
};

// Reference counting and interface lookup of the two session objects.
template <class Interface, const IID& Iid> class com_object : public Interface {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == Iid) {
            this->AddRef();
            *out = static_cast<Interface*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG n = --refs_;
        if (n == 0) {
            this->Close(0);
            delete this;
        }
        return n;
    }

private:
    std::atomic<ULONG> refs_{1};
};

HRESULT payload_result(const uint8_t* p, size_t size) {
    size_t pos = 0;
    const auto v = get_u32(p, size, pos);
    return v ? static_cast<HRESULT>(*v) : DPNERR_CONNECTIONLOST;
}

class server final : public com_object<IDirectPlay8Server, IID_IDirectPlay8Server>, endpoint {
public:
    ~server() override { Close(0); }

    HRESULT Initialize(PVOID context, PFNDPNMESSAGEHANDLER fn, DWORD) override { return init(context, fn); }
    HRESULT EnumServiceProviders(const GUID* sp, const GUID*, DPN_SERVICE_PROVIDER_INFO* info,
                                 DWORD* info_size, DWORD* returned, DWORD) override {
        return enum_providers(sp, info, info_size, returned);
    }
    HRESULT SetServerInfo(const DPN_PLAYER_INFO* info, PVOID, DPNHANDLE*, DWORD) override {
        if (!info) return DPNERR_INVALIDPOINTER;
        if (!initialized()) return DPNERR_UNINITIALIZED;
        std::lock_guard<std::mutex> hold(lock);
        if ((info->dwInfoFlags & DPNINFO_NAME) && info->pwszName) server_name = info->pwszName;
        return DPN_OK;
    }
    HRESULT GetClientAddress(DPNID id, IDirectPlay8Address** address, DWORD) override {
        if (!address) return DPNERR_INVALIDPOINTER;
        *address = nullptr;
        conn_ptr c = find(id);
        if (!c) return DPNERR_INVALIDPLAYER;
        *address = make_address(c->peer_host, c->peer_port).detach();
        return *address ? DPN_OK : DPNERR_OUTOFMEMORY;
    }
    HRESULT GetLocalHostAddresses(IDirectPlay8Address** addresses, DWORD* count, DWORD) override {
        if (!count) return DPNERR_INVALIDPOINTER;
        std::lock_guard<std::mutex> hold(lock);
        if (!hosting) return DPNERR_NOTHOST;
        if (!addresses || *count < 1) {
            *count = 1;
            return DPNERR_BUFFERTOOSMALL;
        }
        addresses[0] = make_address(bound_host, bound_port).detach();
        *count = 1;
        return DPN_OK;
    }
    HRESULT Host(const DPN_APPLICATION_DESC* desc, IDirectPlay8Address** devices, DWORD device_count,
                 const DPN_SECURITY_DESC*, const DPN_SECURITY_CREDENTIALS*, PVOID player_context,
                 DWORD) override {
        if (!desc || (device_count && !devices)) return DPNERR_INVALIDPARAM;
        if (!initialized()) return DPNERR_UNINITIALIZED;
        if (on_worker()) return DPNERR_NOTALLOWED;
        std::unique_lock<std::mutex> hold(lock);
        if (hosting) return DPNERR_HOSTING;
        IDirectPlay8Address* device = device_count ? devices[0] : nullptr;
        const std::string host = address_host(device).value_or(cfg.listen_address);
        const uint16_t port = address_port(device).value_or(cfg.default_port);
        asio::error_code ec;
        const asio::ip::address ip = asio::ip::make_address(host, ec);
        if (ec) return DPNERR_INVALIDDEVICEADDRESS;
        auto a = std::make_unique<tcp::acceptor>(*io);
        const tcp::endpoint at(ip, port);
        a->open(at.protocol(), ec);
        if (!ec) a->set_option(tcp::acceptor::reuse_address(true), ec);
        if (!ec) a->bind(at, ec);
        if (!ec) a->listen(asio::socket_base::max_listen_connections, ec);
        if (ec) return DPNERR_INVALIDDEVICEADDRESS;
        bound_port = a->local_endpoint(ec).port();
        bound_host = ip.is_unspecified() ? std::string(ip.is_v6() ? "::1" : "127.0.0.1") : ip.to_string();
        session = session_desc::from_desc(*desc);
        CoCreateGuid(&session.instance);
        session.current_players = 1;
        host_id = next_id++;
        host_context = player_context;
        acceptor = std::move(a);
        hosting = true;
        hold.unlock();
        asio::post(*io, [this] {
            accept_next();
            every_tick(std::make_shared<asio::steady_timer>(*io), [this] { tick(); });
            DPNMSG_CREATE_PLAYER m{sizeof m, host_id, host_context};
            call(DPN_MSGID_CREATE_PLAYER, &m);
        });
        return DPN_OK;
    }
    HRESULT SendTo(DPNID id, const DPN_BUFFER_DESC* buffers, DWORD count, DWORD timeout_ms, PVOID, DPNHANDLE*,
                   DWORD flags) override {
        if ((count && !buffers) || count > max_buffers) return DPNERR_INVALIDPARAM;
        if (!initialized()) return DPNERR_UNINITIALIZED;
        if (total_size(buffers, count) > cfg.max_message) return DPNERR_SENDTOOLARGE;
        const uint32_t wait = timeout_ms ? timeout_ms : cfg.max_send_wait_ms;
        std::vector<conn_ptr> targets;
        bool to_self = false;
        {
            std::lock_guard<std::mutex> hold(lock);
            if (!hosting) return DPNERR_NOCONNECTION;
            if (id == DPNID_ALL_PLAYERS_GROUP) {
                for (auto& [pid, c] : players)
                    targets.push_back(c);
                to_self = !(flags & DPNSEND_NOLOOPBACK);
            } else if (id == host_id) {
                to_self = !(flags & DPNSEND_NOLOOPBACK);
            } else {
                auto it = players.find(id);
                if (it == players.end()) return DPNERR_INVALIDPLAYER;
                targets.push_back(it->second);
            }
        }
        if (to_self) loop_back(buffers, count);
        HRESULT result = DPN_OK;
        for (const conn_ptr& c : targets) {
            const HRESULT hr = c->send(frame_type::data, buffers, count, wait);
            if (FAILED(hr)) result = hr;
        }
        return result;
    }
    HRESULT EnumPlayersAndGroups(DPNID* ids, DWORD* count, DWORD flags) override {
        if (!count) return DPNERR_INVALIDPOINTER;
        std::lock_guard<std::mutex> hold(lock);
        if (!hosting) return DPNERR_NOCONNECTION;
        std::vector<DPNID> all;
        if (flags & DPNENUM_PLAYERS) {
            all.push_back(host_id);
            for (auto& [pid, c] : players)
                all.push_back(pid);
        }
        if (!ids || *count < all.size()) {
            *count = static_cast<DWORD>(all.size());
            return all.empty() ? DPN_OK : DPNERR_BUFFERTOOSMALL;
        }
        std::copy(all.begin(), all.end(), ids);
        *count = static_cast<DWORD>(all.size());
        return DPN_OK;
    }
    HRESULT Close(DWORD) override {
        if (!initialized()) return DPNERR_UNINITIALIZED;
        if (on_worker()) return DPNERR_NOTALLOWED;
        stop_worker();
        std::map<DPNID, conn_ptr> joined;
        {
            std::lock_guard<std::mutex> hold(lock);
            joined.swap(players);
            hosting = false;
        }
        for (auto& [id, c] : joined) {
            c->send(frame_type::terminate, nullptr, 0, keepalive_wait_ms);
            c->state = conn::phase::closed;
            c->close();
        }
        for (const conn_ptr& c : pending)
            c->close();
        pending.clear();
        joined.clear();
        acceptor.reset();
        end_worker();
        return DPN_OK;
    }

private:
    conn_ptr find(DPNID id) {
        std::lock_guard<std::mutex> hold(lock);
        auto it = players.find(id);
        return it == players.end() ? nullptr : it->second;
    }

    void loop_back(const DPN_BUFFER_DESC* buffers, DWORD count) {
        auto data = std::make_shared<std::vector<uint8_t>>();
        for (DWORD i = 0; i < count; ++i)
            data->insert(data->end(), buffers[i].pBufferData,
                         buffers[i].pBufferData + buffers[i].dwBufferSize);
        asio::post(*io, [this, data] {
            DPNMSG_RECEIVE m{sizeof m, host_id, host_context, data->data(), static_cast<DWORD>(data->size()),
                             0};
            call(DPN_MSGID_RECEIVE, &m);
        });
    }

    void accept_next() {
        acceptor->async_accept([this](const asio::error_code& ec, tcp::socket s) {
            if (ec == asio::error::operation_aborted || closing) return;
            if (ec) {
                // Out of descriptors or the like: try again shortly instead of spinning.
                auto t = std::make_shared<asio::steady_timer>(*io, milliseconds(50));
                t->async_wait([this, t](const asio::error_code& e) {
                    if (!e) accept_next();
                });
                return;
            }
            if (pending.size() >= cfg.max_pending) {
                asio::error_code ignore;
                s.close(ignore);
            } else {
                auto c = std::make_shared<conn>(*io, cfg.max_message);
                c->sock = std::move(s);
                c->open();
                pending.insert(c);
                start_read(c);
            }
            accept_next();
        });
    }

    void tick() {
        const auto now = steady::now();
        std::vector<conn_ptr> late;
        for (const conn_ptr& c : pending)
            if (idle_too_long(*c, now)) late.push_back(c);
        std::vector<conn_ptr> joined;
        {
            std::lock_guard<std::mutex> hold(lock);
            for (auto& [id, c] : players)
                joined.push_back(c);
        }
        for (const conn_ptr& c : joined) {
            if (idle_too_long(*c, now))
                late.push_back(c);
            else
                c->send(frame_type::keepalive, nullptr, 0, keepalive_wait_ms, true);
        }
        for (const conn_ptr& c : late)
            drop(c);
    }

    bool on_frame(const conn_ptr& c, frame_type type, const uint8_t* p, size_t size) override {
        if (c->state == conn::phase::joined) {
            switch (type) {
            case frame_type::data: {
                DPNMSG_RECEIVE m{
                    sizeof m, c->id, c->player_context, const_cast<uint8_t*>(p), static_cast<DWORD>(size), 0};
                call(DPN_MSGID_RECEIVE, &m);
                return true;
            }
            case frame_type::keepalive:
                return true;
            case frame_type::terminate:
                c->terminate_received = true;
                return false;
            default:
                return false;
            }
        }
        size_t pos = 0;
        const auto app = get_guid(p, size, pos);
        if (!app) return false;
        const GUID wanted = session.application;
        const bool matches = IsEqualGUID(*app, wanted) || IsEqualGUID(*app, GUID{});
        if (type == frame_type::enum_query) {
            if (!matches) return false;
            auto sender = make_address(c->peer_host, c->peer_port);
            auto device = make_address(bound_host, bound_port);
            DPNMSG_ENUM_HOSTS_QUERY q{};
            q.dwSize = sizeof q;
            q.pAddressSender = sender.get();
            q.pAddressDevice = device.get();
            q.pvReceivedData = size > pos ? const_cast<uint8_t*>(p + pos) : nullptr;
            q.dwReceivedDataSize = static_cast<DWORD>(size - pos);
            if (FAILED(call(DPN_MSGID_ENUM_HOSTS_QUERY, &q))) return false;
            std::vector<uint8_t> reply;
            put_session(reply, current_session());
            c->send(frame_type::enum_reply, reply, keepalive_wait_ms);
            return false;
        }
        if (type != frame_type::connect) return false;
        return join(c, matches, p + pos, size - pos);
    }

    session_desc current_session() {
        std::lock_guard<std::mutex> hold(lock);
        session_desc s = session;
        s.current_players = static_cast<DWORD>(players.size() + 1);
        return s;
    }

    bool refuse(const conn_ptr& c, HRESULT why) {
        std::vector<uint8_t> payload;
        put_u32(payload, static_cast<uint32_t>(why));
        c->send(frame_type::connect_fail, payload, keepalive_wait_ms);
        return false;
    }

    bool join(const conn_ptr& c, bool matches, const uint8_t* data, size_t size) {
        if (!matches) return refuse(c, DPNERR_DOESNOTEXIST);
        {
            std::lock_guard<std::mutex> hold(lock);
            const size_t limit = session.max_players
                                     ? std::min<size_t>(session.max_players, cfg.max_players + 1)
                                     : size_t(cfg.max_players) + 1;
            if (players.size() + 1 >= limit) return refuse(c, DPNERR_SESSIONFULL);
        }
        auto player = make_address(c->peer_host, c->peer_port);
        auto device = make_address(bound_host, bound_port);
        DPNMSG_INDICATE_CONNECT ic{};
        ic.dwSize = sizeof ic;
        ic.pvUserConnectData = size ? const_cast<uint8_t*>(data) : nullptr;
        ic.dwUserConnectDataSize = static_cast<DWORD>(size);
        ic.pAddressPlayer = player.get();
        ic.pAddressDevice = device.get();
        if (FAILED(call(DPN_MSGID_INDICATE_CONNECT, &ic))) return refuse(c, DPNERR_HOSTREJECTEDCONNECTION);
        session_desc s;
        {
            std::lock_guard<std::mutex> hold(lock);
            c->id = next_id++;
            players[c->id] = c;
            s = session;
            s.current_players = static_cast<DWORD>(players.size() + 1);
        }
        pending.erase(c);
        c->player_context = ic.pvPlayerContext;
        c->state = conn::phase::joined;
        c->since = steady::now();
        std::vector<uint8_t> ok;
        put_u32(ok, c->id);
        put_u32(ok, host_id);
        put_session(ok, s);
        c->send(frame_type::connect_ok, ok, cfg.max_send_wait_ms);
        DPNMSG_CREATE_PLAYER m{sizeof m, c->id, c->player_context};
        call(DPN_MSGID_CREATE_PLAYER, &m);
        return true;
    }

    void on_drop(const conn_ptr& c, conn::phase was) override {
        pending.erase(c);
        if (was != conn::phase::joined) return;
        {
            std::lock_guard<std::mutex> hold(lock);
            players.erase(c->id);
        }
        DPNMSG_DESTROY_PLAYER m{sizeof m, c->id, c->player_context,
                                c->terminate_received ? DPNDESTROYPLAYERREASON_NORMAL
                                                      : DPNDESTROYPLAYERREASON_CONNECTIONLOST};
        call(DPN_MSGID_DESTROY_PLAYER, &m);
    }

    std::mutex lock; // guards what callers and the worker share: the session and its players
    bool hosting = false;
    session_desc session;
    std::u16string server_name;
    DPNID host_id = 0;
    DPNID next_id = 0x00100001;
    PVOID host_context = nullptr;
    std::string bound_host;
    uint16_t bound_port = 0;
    std::map<DPNID, conn_ptr> players;
    // Worker thread only (and Close after the worker has stopped).
    std::unique_ptr<tcp::acceptor> acceptor;
    std::set<conn_ptr> pending;
};

// Waits on the calling thread for an operation the worker finishes.
struct op_wait {
    void finish(HRESULT hr) {
        std::lock_guard<std::mutex> hold(m);
        if (done) return;
        done = true;
        result = hr;
        cv.notify_all();
    }
    HRESULT wait(const std::atomic<bool>& cancel) {
        std::unique_lock<std::mutex> hold(m);
        while (!done) {
            if (cancel) return DPNERR_USERCANCEL;
            cv.wait_for(hold, milliseconds(20));
        }
        return result;
    }
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    HRESULT result = DPN_OK;
};

class client final : public com_object<IDirectPlay8Client, IID_IDirectPlay8Client>, endpoint {
public:
    ~client() override { Close(0); }

    HRESULT Initialize(PVOID context, PFNDPNMESSAGEHANDLER fn, DWORD) override { return init(context, fn); }
    HRESULT EnumServiceProviders(const GUID* sp, const GUID*, DPN_SERVICE_PROVIDER_INFO* info,
                                 DWORD* info_size, DWORD* returned, DWORD) override {
        return enum_providers(sp, info, info_size, returned);
    }

    HRESULT EnumHosts(PDPN_APPLICATION_DESC desc, IDirectPlay8Address* host, IDirectPlay8Address* device,
                      PVOID, DWORD, DWORD enum_count, DWORD retry_ms, DWORD timeout_ms, PVOID user_context,
                      DPNHANDLE*, DWORD) override {
        if (!desc || !host) return DPNERR_INVALIDPARAM;
        if (!initialized()) return DPNERR_UNINITIALIZED;
        if (on_worker()) return DPNERR_NOTALLOWED;
        const auto target = address_host(host);
        if (!target || target->empty()) return DPNERR_INCOMPLETEADDRESS;
        auto run = std::make_shared<enum_run>();
        run->host = *target;
        run->port = address_port(host).value_or(cfg.default_port);
        run->count = enum_count ? enum_count : std::max<uint32_t>(cfg.enum_count, 1);
        run->retry = milliseconds(retry_ms ? retry_ms : cfg.enum_retry_ms);
        run->timeout = milliseconds(timeout_ms ? timeout_ms : cfg.enum_timeout_ms);
        run->user_context = user_context;
        if (device) device->Duplicate(run->device.out());
        put_guid(run->query, desc->guidApplication);
        asio::post(*io, [this, run] { probe(run, 0); });
        return run->wait.wait(closing);
    }

    HRESULT Connect(const DPN_APPLICATION_DESC* desc, IDirectPlay8Address* host, IDirectPlay8Address*,
                    const DPN_SECURITY_DESC*, const DPN_SECURITY_CREDENTIALS*, const void* user_data,
                    DWORD user_data_size, PVOID async_context, DPNHANDLE*, DWORD) override {
        if (!desc || !host || (user_data_size && !user_data)) return DPNERR_INVALIDPARAM;
        if (!initialized()) return DPNERR_UNINITIALIZED;
        if (on_worker()) return DPNERR_NOTALLOWED;
        if (user_data_size > cfg.max_message - 16) return DPNERR_SENDTOOLARGE;
        const auto target = address_host(host);
        if (!target || target->empty()) return DPNERR_INCOMPLETEADDRESS;
        {
            std::lock_guard<std::mutex> hold(lock);
            if (connecting || session_conn) return DPNERR_ALREADYCONNECTED;
            connecting = true;
        }
        auto attempt = std::make_shared<connect_run>();
        attempt->host = *target;
        attempt->port = address_port(host).value_or(cfg.default_port);
        attempt->context = async_context;
        put_guid(attempt->hello, desc->guidApplication);
        if (user_data_size) {
            const auto* b = static_cast<const uint8_t*>(user_data);
            attempt->hello.insert(attempt->hello.end(), b, b + user_data_size);
        }
        asio::post(*io, [this, attempt] { start_connect(attempt); });
        const HRESULT hr = attempt->wait.wait(closing);
        std::lock_guard<std::mutex> hold(lock);
        connecting = false;
        return hr;
    }

    HRESULT Send(const DPN_BUFFER_DESC* buffers, DWORD count, DWORD timeout_ms, PVOID, DPNHANDLE*,
                 DWORD) override {
        if ((count && !buffers) || count > max_buffers) return DPNERR_INVALIDPARAM;
        if (!initialized()) return DPNERR_UNINITIALIZED;
        if (total_size(buffers, count) > cfg.max_message) return DPNERR_SENDTOOLARGE;
        conn_ptr c;
        {
            std::lock_guard<std::mutex> hold(lock);
            c = session_conn;
        }
        if (!c) return DPNERR_NOCONNECTION;
        return c->send(frame_type::data, buffers, count, timeout_ms ? timeout_ms : cfg.max_send_wait_ms);
    }

    HRESULT Close(DWORD) override {
        if (!initialized()) return DPNERR_UNINITIALIZED;
        if (on_worker()) return DPNERR_NOTALLOWED;
        closing = true;
        conn_ptr c;
        {
            std::lock_guard<std::mutex> hold(lock);
            c = std::move(session_conn);
        }
        stop_worker();
        if (c) {
            c->send(frame_type::terminate, nullptr, 0, keepalive_wait_ms);
            c->state = conn::phase::closed;
            c->close();
            c.reset();
        }
        end_worker();
        return DPN_OK;
    }

private:
    struct enum_run {
        std::string host;
        uint16_t port = 0;
        uint32_t count = 0;
        milliseconds retry{0}, timeout{0};
        PVOID user_context = nullptr;
        ComRef<IDirectPlay8Address> device;
        std::vector<uint8_t> query;
        bool answered = false;
        op_wait wait;
    };
    struct connect_run {
        std::string host;
        uint16_t port = 0;
        PVOID context = nullptr;
        std::vector<uint8_t> hello;
        op_wait wait;
    };

    // One query of an enumeration; the next one starts when this one's time is up.
    void probe(const std::shared_ptr<enum_run>& run, uint32_t index) {
        if (closing) return;
        auto c = std::make_shared<conn>(*io, cfg.max_message);
        auto timer = std::make_shared<asio::steady_timer>(*io);
        timer->expires_after(index + 1 < run->count ? run->retry : run->timeout);
        auto sent = std::make_shared<steady::time_point>();
        auto resolver = std::make_shared<tcp::resolver>(*io);
        resolver->async_resolve(
            run->host, std::to_string(run->port),
            [this, run, c, sent, resolver](const asio::error_code& ec, tcp::resolver::results_type found) {
                if (ec || c->state == conn::phase::closed) return;
                asio::async_connect(c->sock, found,
                                    [this, run, c, sent](const asio::error_code& e, const tcp::endpoint&) {
                                        if (e || c->state == conn::phase::closed) return;
                                        c->open();
                                        *sent = steady::now();
                                        c->send(frame_type::enum_query, run->query, keepalive_wait_ms);
                                        read_reply(run, c, sent);
                                    });
            });
        timer->async_wait([this, run, c, timer, resolver, index](const asio::error_code& ec) {
            if (ec) return;
            resolver->cancel();
            c->state = conn::phase::closed;
            c->close();
            if (index + 1 < run->count)
                probe(run, index + 1);
            else
                run->wait.finish(run->answered ? DPN_OK : DPNERR_NORESPONSE);
        });
    }

    void read_reply(const std::shared_ptr<enum_run>& run, const conn_ptr& c,
                    const std::shared_ptr<steady::time_point>& sent) {
        c->sock.async_read_some(
            asio::buffer(c->buf), [this, run, c, sent](const asio::error_code& ec, size_t n) {
                if (ec || c->state == conn::phase::closed) return;
                bool done = false;
                c->reader.feed(c->buf.data(), n, [&](frame_type t, const uint8_t* p, size_t size) {
                    done = true;
                    size_t pos = 0;
                    const auto s = t == frame_type::enum_reply ? get_session(p, size, pos) : std::nullopt;
                    if (s) answer(*run, *c, *s, *sent);
                    return false;
                });
                if (done || c->reader.failed()) {
                    c->state = conn::phase::closed;
                    c->close();
                    return;
                }
                read_reply(run, c, sent);
            });
    }

    void answer(enum_run& run, const conn& c, const session_desc& s, steady::time_point sent) {
        run.answered = true;
        auto sender = make_address(c.peer_host, c.peer_port);
        DPN_APPLICATION_DESC desc = s.to_desc();
        DPNMSG_ENUM_HOSTS_RESPONSE r{};
        r.dwSize = sizeof r;
        r.pAddressSender = sender.get();
        r.pAddressDevice = run.device.get();
        r.pApplicationDescription = &desc;
        r.pvUserContext = run.user_context;
        r.dwRoundTripLatencyMS =
            static_cast<DWORD>(std::chrono::duration_cast<milliseconds>(steady::now() - sent).count());
        call(DPN_MSGID_ENUM_HOSTS_RESPONSE, &r);
    }

    void start_connect(const std::shared_ptr<connect_run>& run) {
        if (closing) return;
        auto c = std::make_shared<conn>(*io, cfg.max_message);
        auto timer = std::make_shared<asio::steady_timer>(*io, milliseconds(cfg.connect_timeout_ms));
        timer->async_wait([run, c](const asio::error_code& ec) {
            if (ec || c->state != conn::phase::pending) return;
            c->state = conn::phase::closed;
            c->close();
            run->wait.finish(DPNERR_TIMEDOUT);
        });
        auto resolver = std::make_shared<tcp::resolver>(*io);
        resolver->async_resolve(
            run->host, std::to_string(run->port),
            [this, run, c, timer, resolver](const asio::error_code& ec, tcp::resolver::results_type found) {
                if (c->state != conn::phase::pending) return;
                if (ec) return fail_connect(run, c, DPNERR_NOCONNECTION);
                asio::async_connect(c->sock, found,
                                    [this, run, c, timer](const asio::error_code& e, const tcp::endpoint&) {
                                        if (c->state != conn::phase::pending) return;
                                        if (e) return fail_connect(run, c, DPNERR_NOCONNECTION);
                                        c->open();
                                        connect_attempt = run;
                                        connect_timer = timer;
                                        pending_conn = c;
                                        c->send(frame_type::connect, run->hello, cfg.connect_timeout_ms);
                                        start_read(c);
                                    });
            });
    }

    void fail_connect(const std::shared_ptr<connect_run>& run, const conn_ptr& c, HRESULT why) {
        c->state = conn::phase::closed;
        c->close();
        run->wait.finish(why);
    }

    bool on_frame(const conn_ptr& c, frame_type type, const uint8_t* p, size_t size) override {
        if (c->state == conn::phase::pending) {
            auto run = std::move(connect_attempt);
            if (connect_timer) connect_timer->cancel();
            connect_timer.reset();
            pending_conn.reset();
            if (!run) return false;
            if (type == frame_type::connect_fail) {
                run->wait.finish(payload_result(p, size));
                return false;
            }
            size_t pos = 0;
            const auto my_id = get_u32(p, size, pos);
            const auto host = get_u32(p, size, pos);
            const auto s = get_session(p, size, pos);
            if (type != frame_type::connect_ok || !my_id || !host || !s) {
                run->wait.finish(DPNERR_CONNECTIONLOST);
                return false;
            }
            c->id = *my_id;
            c->state = conn::phase::joined;
            c->since = steady::now();
            {
                std::lock_guard<std::mutex> hold(lock);
                session_conn = c;
            }
            every_tick(std::make_shared<asio::steady_timer>(*io), [this, c] { tick(c); });
            DPNMSG_CONNECT_COMPLETE m{sizeof m, 0, run->context, DPN_OK, nullptr, 0};
            call(DPN_MSGID_CONNECT_COMPLETE, &m);
            run->wait.finish(DPN_OK);
            return true;
        }
        switch (type) {
        case frame_type::data: {
            DPNMSG_RECEIVE m{sizeof m, 0, nullptr, const_cast<uint8_t*>(p), static_cast<DWORD>(size), 0};
            call(DPN_MSGID_RECEIVE, &m);
            return true;
        }
        case frame_type::keepalive:
            return true;
        case frame_type::terminate:
            c->terminate_received = true;
            return false;
        default:
            return false;
        }
    }

    void tick(const conn_ptr& c) {
        if (c->state != conn::phase::joined) return;
        if (idle_too_long(*c, steady::now()))
            drop(c);
        else
            c->send(frame_type::keepalive, nullptr, 0, keepalive_wait_ms, true);
    }

    void on_drop(const conn_ptr& c, conn::phase was) override {
        if (was == conn::phase::pending) {
            if (auto run = std::move(connect_attempt)) run->wait.finish(DPNERR_NOCONNECTION);
            if (connect_timer) connect_timer->cancel();
            connect_timer.reset();
            pending_conn.reset();
            return;
        }
        {
            std::lock_guard<std::mutex> hold(lock);
            if (session_conn == c) session_conn.reset();
        }
        if (closing) return;
        DPNMSG_TERMINATE_SESSION m{
            sizeof m, c->terminate_received ? DPNERR_HOSTTERMINATEDSESSION : DPNERR_CONNECTIONLOST, nullptr,
            0};
        call(DPN_MSGID_TERMINATE_SESSION, &m);
    }

    std::mutex lock; // guards the session connection, which senders read
    conn_ptr session_conn;
    bool connecting = false;
    // Worker thread only.
    std::shared_ptr<connect_run> connect_attempt;
    std::shared_ptr<asio::steady_timer> connect_timer;
    conn_ptr pending_conn;
};

template <class T, class I> HRESULT create(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    auto* obj = new T;
    const HRESULT hr = obj->QueryInterface(iid, out);
    static_cast<I*>(obj)->Release();
    return hr;
}

[[maybe_unused]] const bool registered = [] {
    register_com_class(CLSID_DirectPlay8Server, create<server, IDirectPlay8Server>);
    register_com_class(CLSID_DirectPlay8Client, create<client, IDirectPlay8Client>);
    return true;
}();

} // namespace
} // namespace qcore::detail::dp8
