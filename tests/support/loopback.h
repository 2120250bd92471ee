#pragma once
// Plain loopback sockets for driving the session stand-in from tests the way a foreign or hostile peer
// would, and a wait that pumps window messages until a condition holds.
#include <qcore/platform/win32/message.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace qcore::test {

// A port on 127.0.0.1 that nothing listens on right now.
inline uint16_t free_loopback_port() {
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

// A raw TCP connection to 127.0.0.1:port, closed when it dies.
class RawPeer {
public:
    explicit RawPeer(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawPeer() { ::close(fd_); }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    bool connected() const { return connected_; }
    bool send(const std::vector<uint8_t>& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // True once the other end has closed the connection (waits up to ten seconds).
    bool closed_by_peer() {
        uint8_t buf[4096];
        for (int i = 0; i < 1000; ++i) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return true;
        }
        return false;
    }
    // Reads what arrives within a short while.
    std::vector<uint8_t> read_some() {
        std::vector<uint8_t> out;
        uint8_t buf[4096];
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, 200) > 0) {
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

// A frame of the session wire format, built independently of the library's writer.
inline std::vector<uint8_t> wire_frame(uint8_t type, const std::vector<uint8_t>& payload) {
    const uint32_t len = static_cast<uint32_t>(payload.size() + 1);
    std::vector<uint8_t> out = {uint8_t(len), uint8_t(len >> 8), uint8_t(len >> 16), uint8_t(len >> 24),
                                type};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// Pumps this thread's window messages until `done` holds; false after ten seconds.
template <class Pred> bool pump_until(Pred done) {
    for (int i = 0; i < 5000; ++i) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

} // namespace qcore::test
