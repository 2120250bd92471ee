#include "net_fixture.h"

#include <cstdio>
#include <future>
#include <string>
#include <sys/wait.h>

namespace qcore::test {
namespace {

// Runs the peer program with its output collected.
struct PeerProcess {
    std::string output;
    int status = -1;
};

PeerProcess run_peer(uint16_t port, const char* session) {
    const std::string command =
        std::string(QCORE_BIN_DIR) + "/qcore-net-peer " + std::to_string(port) + " " + session;
    PeerProcess p;
    FILE* f = ::popen(command.c_str(), "r");
    if (!f) return p;
    char buf[256];
    while (std::fgets(buf, sizeof buf, f))
        p.output += buf;
    p.status = ::pclose(f);
    return p;
}

TEST_F(Net, AClientInAnotherProcessJoinsAndAnswersCommands) {
    TestServer server;
    ASSERT_EQ(server.create_server("two processes"), 1);
    auto peer =
        std::async(std::launch::async, [&] { return run_peer(settings.default_port, "'two processes'"); });
    ASSERT_TRUE(wait_box("hello from peer"));
    ADDRESS_INFO record;
    ASSERT_TRUE(pump_until([&] { return server.get_clients().size() == 2; }));
    for (const ADDRESS_INFO& a : server.get_clients())
        if (!a.is_local) record = a;
    server.send_cmd_to_client(record.id, 7);
    server.send_msg_to_client(record.id, "from the server");
    EXPECT_TRUE(wait_box("got 7"));
    server.destroy_server();
    const PeerProcess done = peer.get();
    EXPECT_TRUE(WIFEXITED(done.status) && WEXITSTATUS(done.status) == 0) << done.output;
    for (const std::string& line : {"address 127.0.0.1 " + record.port.str() + "\n", std::string("cmd 7\n"),
                                    std::string("box from the server\n"), std::string("end\n")})
        EXPECT_NE(done.output.find(line), std::string::npos) << line << " in\n" << done.output;
}

} // namespace
} // namespace qcore::test
