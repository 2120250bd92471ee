// Text messages from a server to a client on loopback, one way and there and back, through the messaging
// classes and through a plain Asio TCP program sending the same 260-byte messages with a length prefix.
#include <qcore/net/base_client.h>
#include <qcore/net/base_server.h>

#include "ratio_reporter.h"

#include <asio.hpp>
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int batch = 1000;

uint16_t free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// 32-bit counters: their waits go straight to the futex.
void wait_at_least(std::atomic<uint32_t>& counter, uint32_t n) {
    for (uint32_t v = counter.load(); v < n; v = counter.load())
        counter.wait(v);
}

bool is_text(void* msg) {
    const auto* r = static_cast<DPNMSG_RECEIVE*>(msg);
    DWORD code = 0;
    return qcore::read_net_code(r->pReceiveData, r->dwReceiveDataSize, code) && code == NETMSG_TEXT;
}

class BenchServer : public CBaseServer {
public:
    ~BenchServer() override { destroy_server(); }
    HRESULT on_msg_from_client(DWORD id, void* msg) override {
        if (id == DPN_MSGID_RECEIVE && is_text(msg)) {
            ++replies;
            replies.notify_all();
            return 0;
        }
        return CBaseServer::on_msg_from_client(id, msg);
    }
    std::atomic<uint32_t> replies{0};
};

class BenchClient : public CBaseClient {
public:
    ~BenchClient() override { destroy_client(); }
    HRESULT on_msg_from_server(DWORD id, void* msg) override {
        if (id == DPN_MSGID_RECEIVE && is_text(msg)) {
            if (echo)
                send_buf_to_server(static_cast<DPNMSG_RECEIVE*>(msg)->pReceiveData, sizeof(NET_TEXT_MSG));
            ++received;
            received.notify_all();
            return 0;
        }
        return CBaseClient::on_msg_from_server(id, msg);
    }
    std::atomic<uint32_t> received{0};
    std::atomic<bool> echo{false};
};

// A session with one joined client.
struct QcoreSession {
    QcoreSession() {
        CoInitialize(nullptr);
        qcore::dplay8_settings s;
        s.listen_address = "127.0.0.1";
        s.default_port = free_port();
        s.enum_retry_ms = 20;
        s.enum_timeout_ms = 50;
        qcore::set_dplay8_settings(s);
        server.create_server("bench");
        client.link_server(1, "127.0.0.1", "bench", "bench");
        while (id == 0) {
            for (const ADDRESS_INFO& a : server.get_clients())
                if (!a.is_local) id = a.id;
            std::this_thread::yield();
        }
    }
    ~QcoreSession() { CoUninitialize(); }
    BenchServer server;
    BenchClient client;
    DPNID id = 0;
};

void net_one_way_qcore(benchmark::State& state) {
    QcoreSession s;
    uint32_t sent = 0;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i)
            s.server.send_msg_to_client(s.id, "a text message of the kind a presenting station sends");
        sent += batch;
        wait_at_least(s.client.received, sent);
    }
    state.SetItemsProcessed(int64_t(sent));
}

void net_round_trip_qcore(benchmark::State& state) {
    QcoreSession s;
    s.client.echo = true;
    uint32_t sent = 0;
    for (auto _ : state) {
        s.server.send_msg_to_client(s.id, "a text message of the kind a presenting station sends");
        wait_at_least(s.server.replies, ++sent);
    }
    state.SetItemsProcessed(int64_t(sent));
}

// The plain program: a connected pair of Asio sockets; the receiving side reads frames on its own thread.
struct AsioPair {
    using tcp = asio::ip::tcp;
    explicit AsioPair(bool echo_back)
        : echo(echo_back), acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
        receiver = tcp::socket(io);
        sender.connect(acceptor.local_endpoint());
        acceptor.accept(receiver);
        sender.set_option(tcp::no_delay(true));
        receiver.set_option(tcp::no_delay(true));
        read();
        worker = std::thread([this] { io.run(); });
    }
    ~AsioPair() {
        io.stop();
        worker.join();
    }
    void read() {
        asio::async_read(receiver, asio::buffer(frame), [this](const asio::error_code& ec, size_t) {
            if (ec) return;
            if (echo) asio::write(receiver, asio::buffer(frame));
            ++received;
            received.notify_all();
            read();
        });
    }
    void send() {
        uint8_t out[4 + sizeof(NET_TEXT_MSG)];
        const uint32_t len = sizeof(NET_TEXT_MSG);
        std::memcpy(out, &len, 4);
        const NET_TEXT_MSG m = qcore::make_net_text("a text message of the kind a presenting station sends");
        std::memcpy(out + 4, &m, sizeof m);
        asio::write(sender, asio::buffer(out));
    }
    void read_reply() { asio::read(sender, asio::buffer(reply)); }

    bool echo;
    asio::io_context io;
    asio::io_context sender_io;
    tcp::acceptor acceptor;
    tcp::socket sender{sender_io};
    tcp::socket receiver{io};
    std::array<uint8_t, 4 + sizeof(NET_TEXT_MSG)> frame{}, reply{};
    std::atomic<uint32_t> received{0};
    std::thread worker;
};

void net_one_way_asio(benchmark::State& state) {
    AsioPair p(false);
    uint32_t sent = 0;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i)
            p.send();
        sent += batch;
        wait_at_least(p.received, sent);
    }
    state.SetItemsProcessed(int64_t(sent));
}

void net_round_trip_asio(benchmark::State& state) {
    AsioPair p(true);
    uint32_t sent = 0;
    for (auto _ : state) {
        p.send();
        p.read_reply();
        ++sent;
    }
    state.SetItemsProcessed(int64_t(sent));
}

BENCHMARK(net_one_way_qcore)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(net_one_way_asio)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(net_round_trip_qcore)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(net_round_trip_asio)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Messages per second of each pair, ours over the peer's.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
            const auto it = r.counters.find("items_per_second");
            if (it != r.counters.end()) rates_[r.run_name.function_name] = it->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void print_ratios() const {
        std::printf("\nqcore / asio messages per second:\n");
        const struct {
            const char *ours, *peer;
            double target;
        } pairs[] = {{"net_one_way_qcore", "net_one_way_asio", 0.5},
                     {"net_round_trip_qcore", "net_round_trip_asio", 0.7}};
        for (const auto& p : pairs) {
            const auto a = rates_.find(p.ours), b = rates_.find(p.peer);
            if (a == rates_.end() || b == rates_.end() || b->second <= 0) continue;
            const double ratio = a->second / b->second;
            std::printf("  %-22s %8.0f / %8.0f = %.2f (target >= %.1f)%s\n", p.ours, a->second, b->second,
                        ratio, p.target, ratio >= p.target ? "" : " under target");
        }
    }

private:
    std::map<std::string, double> rates_;
};

} // namespace

int main(int argc, char** argv) {
    RateReporter reporter;
    return qcore::bench::run_and_summarise(argc, argv, reporter);
}
