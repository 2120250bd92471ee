#include "net_fixture.h"

#include <memory>
#include <thread>

namespace qcore::test {
namespace {

TEST_F(Net, ClientsJoinLearnTheirAddressesAndExchangeTextsAndCommands) {
    TestServer server;
    server.set_notify_window(notify.get_hwnd());
    ASSERT_EQ(server.create_server("exhibit"), 1);
    ASSERT_TRUE(server.is_server_started());
    // The server's own member comes from its local addresses and is not sent an address.
    ASSERT_TRUE(pump_until([&] { return server.get_clients().size() == 1; }));
    const ADDRESS_INFO self = server.get_clients().front();
    EXPECT_EQ(self.is_local, 1);
    EXPECT_EQ(self.ip, "127.0.0.1");
    EXPECT_EQ(self.port, CString(std::to_string(settings.default_port)));

    TestClient clients[3];
    for (int i = 0; i < 3; ++i) {
        const std::string user = "user" + std::to_string(i);
        ASSERT_EQ(clients[i].link_server(1, "127.0.0.1", "exhibit", user.c_str()), 1) << i;
        EXPECT_TRUE(clients[i].is_client_started());
        EXPECT_EQ(clients[i].get_user_name(), CString(user));
    }
    ASSERT_TRUE(pump_until([&] {
        return server.get_clients().size() == 4 && g_clients_changed == 4 &&
               std::all_of(std::begin(clients), std::end(clients),
                           [](TestClient& c) { return !c.get_str_port().IsEmpty(); });
    }));
    EXPECT_EQ(server.changes, 4);
    ADDRESS_INFO records[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(server.record_of(clients[i].get_str_port(), records[i])) << i;
        EXPECT_EQ(records[i].ip, "127.0.0.1");
        EXPECT_EQ(clients[i].get_str_ip(), "127.0.0.1");
        EXPECT_EQ(clients[i].get_server_id(), 0xFFFFFFFFu);
        CString ip, port;
        clients[i].get_address_info(ip, port);
        EXPECT_EQ(port, clients[i].get_str_port());
        EXPECT_NE(server.find_client(records[i].id), nullptr);
    }
    std::list<ADDRESS_INFO> active;
    server.enum_active_clients(active);
    EXPECT_EQ(active.size(), 4u);

    EXPECT_EQ(clients[0].send_str_to_server("你好, server"), DPN_OK);
    EXPECT_TRUE(wait_box("你好, server"));
    server.send_msg_to_client(records[1].id, "hello client one");
    EXPECT_TRUE(wait_box("hello client one"));
    server.send_cmd_to_client(records[2].id, 42);
    server.send_cmd_to_client(records[2].id, 0xFFFFFFFFu);
    EXPECT_TRUE(pump_until([&] { return clients[2].commands().size() == 2; }));
    EXPECT_EQ(clients[2].commands(), (std::vector<DWORD>{42, 0xFFFFFFFFu}));
    EXPECT_TRUE(clients[1].commands().empty());

    // A member leaving is removed and announced.
    clients[1].destroy_client();
    EXPECT_FALSE(clients[1].is_client_started());
    EXPECT_TRUE(pump_until([&] { return server.get_clients().size() == 3 && g_clients_changed == 5; }));
    EXPECT_EQ(server.find_client(records[1].id), nullptr);
    EXPECT_EQ(boxes.count(), 2u) << "unexpected boxes";
}

TEST_F(Net, ServerEndingTheSessionReturnsTheClientToIdle) {
    TestServer server;
    ASSERT_EQ(server.create_server("ending"), 1);
    TestClient client;
    client.set_notify_window(notify.get_hwnd());
    ASSERT_EQ(client.link_server(1, "127.0.0.1", "ending", "u"), 1);
    ASSERT_TRUE(pump_until([&] { return server.get_clients().size() == 2; }));
    server.destroy_server();
    EXPECT_FALSE(server.is_server_started());
    // The end arrives on the client's thread window, which tears the client down on this thread.
    EXPECT_TRUE(pump_until([&] { return !client.is_client_started() && g_session_end == 1; }));
    EXPECT_TRUE(client.get_user_name().IsEmpty());
    EXPECT_EQ(server.get_clients().size(), 2u); // the list stays as it was
    EXPECT_EQ(boxes.count(), 0u);
    // The client can join again once a new session runs.
    ASSERT_EQ(server.create_server("ending"), 1);
    EXPECT_EQ(client.link_server(1, "127.0.0.1", "ending", "u"), 1);
}

TEST_F(Net, EnumerationWithoutAnswerFailsAndLeavesTheClientIdle) {
    TestClient client;
    EXPECT_EQ(client.link_server(0, "127.0.0.1", "nobody", "u"), 0);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Failed Enumerating the Hosts"}));
    EXPECT_FALSE(client.is_client_started());
    boxes.clear();
    EXPECT_EQ(client.link_server(1, "127.0.0.1", "nobody", "u"), 0);
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{"Failed Enumerating the Hosts", "Failed enumerating host"}));
    EXPECT_FALSE(client.is_client_started());
}

TEST_F(Net, SessionsAreFoundByNameOnce) {
    TestServer server;
    ASSERT_EQ(server.create_server("alpha"), 1);
    TestClient client;
    EXPECT_EQ(client.link_server(1, "127.0.0.1", "beta", "u"), 0);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Failed connect to session : beta"}));
    // With no name every session answers; the four answers of one session keep one entry.
    ASSERT_EQ(client.link_server(1, "127.0.0.1", "", "u"), 1);
    EXPECT_EQ(client.host_count(), 1u);
    client.destroy_client();
    EXPECT_EQ(client.host_count(), 0u);
    ASSERT_EQ(client.link_server(1, "127.0.0.1", "alpha", "u"), 1);
    EXPECT_EQ(client.host_count(), 1u);
}

TEST_F(Net, EnumerationResponsesWithoutNameOrDescriptionAreSafe) {
    TestClient client;
    IDirectPlay8Address* sender = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectPlay8Address, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IDirectPlay8Address, reinterpret_cast<void**>(&sender)),
              S_OK);
    DPN_APPLICATION_DESC desc{};
    desc.dwSize = sizeof desc;
    desc.guidInstance = {7, 7, 7, {7}};
    DPNMSG_ENUM_HOSTS_RESPONSE r{};
    r.dwSize = sizeof r;
    r.pAddressSender = sender;
    client.on_msg_from_server(DPN_MSGID_ENUM_HOSTS_RESPONSE, &r); // no description: ignored
    EXPECT_EQ(client.host_count(), 0u);
    r.pApplicationDescription = &desc; // a description without a session name
    client.on_msg_from_server(DPN_MSGID_ENUM_HOSTS_RESPONSE, &r);
    client.on_msg_from_server(DPN_MSGID_ENUM_HOSTS_RESPONSE, &r);
    EXPECT_EQ(client.host_count(), 1u);
    sender->Release();
}

TEST_F(Net, MembersAreOrderedByTheNumbersOfTheirAddresses) {
    TestServer server;
    std::list<ADDRESS_INFO> list;
    DPNID id = 1;
    for (const char* ip : {"10.0.0.10", "unknown", "10.0.0.9", "192.168.1.2", "10.0.0.9", "2.0.0.1"})
        list.push_back(ADDRESS_INFO{0, id++, ip, "1"});
    server.put_clients(list);
    std::vector<std::pair<std::string, DPNID>> order;
    for (const ADDRESS_INFO& a : server.get_clients())
        order.emplace_back(a.ip.str(), a.id);
    // Four numbers against four numbers compare numerically, anything else as text; equal addresses keep
    // their order.
    const std::vector<std::pair<std::string, DPNID>> want = {{"2.0.0.1", 6},     {"10.0.0.9", 3},
                                                             {"10.0.0.9", 5},    {"10.0.0.10", 1},
                                                             {"192.168.1.2", 4}, {"unknown", 2}};
    EXPECT_EQ(order, want);
    EXPECT_TRUE(address_less("10.0.0.9", "10.0.0.10"));
    EXPECT_TRUE(address_less("2.0.0.1", "10.0.0.1"));
    EXPECT_FALSE(address_less("10.0.0.10", "10.0.0.9"));
    EXPECT_TRUE(address_less("10.0.0.10", "10.0.0.9.1")); // five numbers: text order
    EXPECT_TRUE(address_less("10 0 0 9", "10.0.0.10"));
}

TEST_F(Net, ShortUnterminatedAndForeignMessagesAreHandledSafely) {
    TestServer idle_server;
    EXPECT_EQ(idle_server.send_dplay_msg(5, "x", 1), 1); // never started: nothing sent
    TestClient idle_client;
    EXPECT_TRUE(FAILED(idle_client.send_str_to_server("nobody listens")));
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Failed Sending Data"}));
    boxes.clear();

    TestServer server;
    ASSERT_EQ(server.create_server("edges"), 1);
    TestClient client;
    ASSERT_EQ(client.link_server(1, "127.0.0.1", "edges", "u"), 1);
    // The client may learn its address before the server's member list takes it in: wait for both.
    ADDRESS_INFO record;
    ASSERT_TRUE(pump_until(
        [&] { return !client.get_str_port().IsEmpty() && server.record_of(client.get_str_port(), record); }));

    // To the server: a command is not a text; a text shorter than its layout is ignored; a text without
    // its zero stops at the end of its field.
    const NET_CMD_MSG cmd = make_net_cmd(3);
    EXPECT_EQ(client.send_buf_to_server(&cmd, sizeof cmd), DPN_OK);
    EXPECT_TRUE(wait_box("No such msg id"));
    const DWORD bare = NETMSG_TEXT;
    EXPECT_EQ(client.send_buf_to_server(&bare, sizeof bare), DPN_OK);
    NET_TEXT_MSG full;
    std::fill(std::begin(full.text), std::end(full.text), 'a');
    EXPECT_EQ(client.send_buf_to_server(&full, sizeof full), DPN_OK);
    EXPECT_TRUE(wait_box(std::string(255, 'a')));
    EXPECT_EQ(client.send_str_to_server(std::string(300, 'b').c_str()), DPN_OK);
    EXPECT_TRUE(wait_box(std::string(255, 'b')));

    // To the client: an address message cut short changes nothing.
    const CString port = client.get_str_port();
    NET_ADDRESS_MSG address = make_net_address(7, "10.1.2.3", "99");
    EXPECT_EQ(server.send_dplay_msg(record.id, &address, 80), DPN_OK);
    server.send_msg_to_client(record.id, "after the short one");
    EXPECT_TRUE(wait_box("after the short one"));
    EXPECT_EQ(client.get_str_port(), port);
    EXPECT_EQ(client.get_str_ip(), "127.0.0.1");
    EXPECT_EQ(server.send_dplay_msg(record.id, &address, sizeof address), DPN_OK);
    EXPECT_TRUE(pump_until([&] { return client.get_str_port() == "99"; }));
    EXPECT_EQ(client.get_str_ip(), "10.1.2.3");
    EXPECT_EQ(client.get_server_id(), 7u);
    EXPECT_EQ(boxes.count(), 4u);
}

TEST_F(Net, TheMemberListCanBeReadWhileMembersJoinAndLeave) {
    TestServer server;
    ASSERT_EQ(server.create_server("busy"), 1);
    std::atomic<bool> stop{false};
    std::atomic<size_t> reads{0};
    std::thread reader([&] {
        while (!stop) {
            for (const ADDRESS_INFO& a : server.get_clients())
                if (a.ip.IsEmpty()) ADD_FAILURE();
            ++reads;
        }
    });
    for (int round = 0; round < 2; ++round) {
        auto clients = std::make_unique<TestClient[]>(3);
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(clients[i].link_server(1, "127.0.0.1", "busy", "u"), 1);
        EXPECT_TRUE(pump_until([&] { return server.get_clients().size() == 4; }));
        clients.reset();
        EXPECT_TRUE(pump_until([&] { return server.get_clients().size() == 1; }));
    }
    stop = true;
    reader.join();
    EXPECT_GT(reads, 0u);
}

} // namespace
} // namespace qcore::test
