#include <qcore/platform/dplay8/address.h>
#include <qcore/platform/dplay8/dplay8.h>
#include <qcore/platform/dplay8/wire.h>

#include <gtest/gtest.h>
#include <support/loopback.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

using qcore::test::free_loopback_port;
using qcore::test::pump_until;
using qcore::test::RawPeer;
using qcore::test::wire_frame;

namespace {

constexpr GUID app_guid = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};

// Records what a session object hands its handler.
struct Recorder {
    struct Entry {
        DWORD id = 0;
        DPNID player = 0;
        DWORD reason = 0;
        HRESULT result = 0;
        std::string data;
        std::u16string session;
    };
    std::mutex m;
    std::vector<Entry> entries;

    static HRESULT WINAPI handler(PVOID context, DWORD id, PVOID msg) {
        auto* self = static_cast<Recorder*>(context);
        Entry e;
        e.id = id;
        if (id == DPN_MSGID_CREATE_PLAYER) e.player = static_cast<DPNMSG_CREATE_PLAYER*>(msg)->dpnidPlayer;
        if (id == DPN_MSGID_DESTROY_PLAYER) {
            e.player = static_cast<DPNMSG_DESTROY_PLAYER*>(msg)->dpnidPlayer;
            e.reason = static_cast<DPNMSG_DESTROY_PLAYER*>(msg)->dwReason;
        }
        if (id == DPN_MSGID_RECEIVE) {
            const auto* r = static_cast<DPNMSG_RECEIVE*>(msg);
            e.player = r->dpnidSender;
            e.data.assign(reinterpret_cast<const char*>(r->pReceiveData), r->dwReceiveDataSize);
        }
        if (id == DPN_MSGID_TERMINATE_SESSION)
            e.result = static_cast<DPNMSG_TERMINATE_SESSION*>(msg)->hResultCode;
        if (id == DPN_MSGID_ENUM_HOSTS_RESPONSE) {
            const auto* r = static_cast<DPNMSG_ENUM_HOSTS_RESPONSE*>(msg);
            e.session = r->pApplicationDescription->pwszSessionName;
            e.data = qcore::detail::dp8::address_host(r->pAddressSender).value_or("");
        }
        std::lock_guard<std::mutex> hold(self->m);
        self->entries.push_back(e);
        return DPN_OK;
    }
    std::vector<Entry> of(DWORD id) {
        std::lock_guard<std::mutex> hold(m);
        std::vector<Entry> out;
        for (const Entry& e : entries)
            if (e.id == id) out.push_back(e);
        return out;
    }
    bool wait_for(DWORD id, size_t n = 1) {
        return pump_until([&] { return of(id).size() >= n; });
    }
};

template <class T> T* create(REFCLSID clsid, REFIID iid) {
    T* p = nullptr;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&p));
    return p;
}

DPN_BUFFER_DESC buffer_of(std::string& s) {
    return {static_cast<DWORD>(s.size()), reinterpret_cast<BYTE*>(s.data())};
}

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        settings.listen_address = "127.0.0.1";
        settings.default_port = free_loopback_port();
        settings.enum_retry_ms = 20;
        settings.enum_timeout_ms = 60;
        settings.handshake_timeout_ms = 300;
        settings.keepalive_ms = 30;
        settings.idle_timeout_ms = 1500;
        settings.max_pending = 8;
        settings.max_message = 4096;
        qcore::set_dplay8_settings(settings);
    }
    void TearDown() override {
        for (IUnknown* o : objects)
            o->Release();
        qcore::set_dplay8_settings({});
        CoUninitialize();
    }

    IDirectPlay8Server* host(const char16_t* name = u"test session") {
        auto* s = create<IDirectPlay8Server>(CLSID_DirectPlay8Server, IID_IDirectPlay8Server);
        objects.push_back(s);
        EXPECT_EQ(s->Initialize(&server_log, Recorder::handler, 0), DPN_OK);
        DPN_APPLICATION_DESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DPNSESSION_CLIENT_SERVER;
        desc.guidApplication = app_guid;
        desc.pwszSessionName = const_cast<WCHAR*>(name);
        EXPECT_EQ(s->Host(&desc, nullptr, 0, nullptr, nullptr, nullptr, 0), DPN_OK);
        EXPECT_TRUE(server_log.wait_for(DPN_MSGID_CREATE_PLAYER)); // the host's own player
        return s;
    }
    IDirectPlay8Client* client(Recorder& log) {
        auto* c = create<IDirectPlay8Client>(CLSID_DirectPlay8Client, IID_IDirectPlay8Client);
        objects.push_back(c);
        EXPECT_EQ(c->Initialize(&log, Recorder::handler, 0), DPN_OK);
        return c;
    }
    HRESULT join(IDirectPlay8Client* c) {
        auto address = qcore::detail::dp8::make_address("127.0.0.1", settings.default_port);
        DPN_APPLICATION_DESC desc{};
        desc.dwSize = sizeof desc;
        desc.guidApplication = app_guid;
        return c->Connect(&desc, address.get(), nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                          DPNCONNECT_SYNC);
    }
    std::vector<uint8_t> connect_payload() {
        std::vector<uint8_t> p;
        qcore::detail::dp8::put_guid(p, app_guid);
        return p;
    }

    qcore::dplay8_settings settings;
    // Handlers may run until the objects are released in TearDown: their logs live as long as the fixture.
    Recorder server_log;
    std::deque<Recorder> logs;
    std::vector<IUnknown*> objects;
};

TEST_F(Session, EnumerateJoinExchangeAndLeave) {
    IDirectPlay8Server* s = host();
    Recorder& log = logs.emplace_back();
    IDirectPlay8Client* c = client(log);
    auto address = qcore::detail::dp8::make_address("127.0.0.1", settings.default_port);
    DPN_APPLICATION_DESC desc{};
    desc.dwSize = sizeof desc;
    desc.guidApplication = app_guid;
    ASSERT_EQ(
        c->EnumHosts(&desc, address.get(), nullptr, nullptr, 0, 3, 0, 0, nullptr, nullptr, DPNENUMHOSTS_SYNC),
        DPN_OK);
    const auto responses = log.of(DPN_MSGID_ENUM_HOSTS_RESPONSE);
    ASSERT_EQ(responses.size(), 3u);
    EXPECT_EQ(responses[0].session, u"test session");
    EXPECT_EQ(responses[0].data, "127.0.0.1");
    EXPECT_EQ(server_log.of(DPN_MSGID_ENUM_HOSTS_QUERY).size(), 3u);

    ASSERT_EQ(join(c), DPN_OK);
    ASSERT_TRUE(server_log.wait_for(DPN_MSGID_CREATE_PLAYER, 2));
    const DPNID id = server_log.of(DPN_MSGID_CREATE_PLAYER)[1].player;
    EXPECT_EQ(server_log.of(DPN_MSGID_INDICATE_CONNECT).size(), 1u);
    EXPECT_EQ(log.of(DPN_MSGID_CONNECT_COMPLETE).size(), 1u);

    std::string down = "to the client", up = "to the server";
    DPN_BUFFER_DESC b = buffer_of(down);
    EXPECT_EQ(s->SendTo(id, &b, 1, 200, nullptr, nullptr, DPNSEND_SYNC | DPNSEND_NOLOOPBACK), DPN_OK);
    b = buffer_of(up);
    EXPECT_EQ(c->Send(&b, 1, 0, nullptr, nullptr, DPNSEND_SYNC), DPN_OK);
    ASSERT_TRUE(log.wait_for(DPN_MSGID_RECEIVE));
    ASSERT_TRUE(server_log.wait_for(DPN_MSGID_RECEIVE));
    EXPECT_EQ(log.of(DPN_MSGID_RECEIVE)[0].data, down);
    EXPECT_EQ(server_log.of(DPN_MSGID_RECEIVE)[0].data, up);
    EXPECT_EQ(server_log.of(DPN_MSGID_RECEIVE)[0].player, id);

    IDirectPlay8Address* peer = nullptr;
    ASSERT_EQ(s->GetClientAddress(id, &peer, 0), DPN_OK);
    EXPECT_EQ(qcore::detail::dp8::address_host(peer), "127.0.0.1");
    peer->Release();
    DWORD count = 0;
    EXPECT_EQ(s->EnumPlayersAndGroups(nullptr, &count, DPNENUM_PLAYERS), DPNERR_BUFFERTOOSMALL);
    ASSERT_EQ(count, 2u);
    DPNID ids[2];
    EXPECT_EQ(s->EnumPlayersAndGroups(ids, &count, DPNENUM_PLAYERS), DPN_OK);
    EXPECT_EQ(ids[1], id);

    EXPECT_EQ(c->Close(0), DPN_OK);
    ASSERT_TRUE(server_log.wait_for(DPN_MSGID_DESTROY_PLAYER));
    EXPECT_EQ(server_log.of(DPN_MSGID_DESTROY_PLAYER)[0].reason, DPNDESTROYPLAYERREASON_NORMAL);
    EXPECT_EQ(s->GetClientAddress(id, &peer, 0), DPNERR_INVALIDPLAYER);
}

TEST_F(Session, HostClosingEndsTheClientsSession) {
    IDirectPlay8Server* s = host();
    Recorder& log = logs.emplace_back();
    IDirectPlay8Client* c = client(log);
    ASSERT_EQ(join(c), DPN_OK);
    EXPECT_EQ(s->Close(0), DPN_OK);
    ASSERT_TRUE(log.wait_for(DPN_MSGID_TERMINATE_SESSION));
    EXPECT_EQ(log.of(DPN_MSGID_TERMINATE_SESSION)[0].result, DPNERR_HOSTTERMINATEDSESSION);
    std::string text = "late";
    DPN_BUFFER_DESC b = buffer_of(text);
    EXPECT_EQ(c->Send(&b, 1, 0, nullptr, nullptr, DPNSEND_SYNC), DPNERR_NOCONNECTION);
}

TEST_F(Session, CallsOutOfPlaceFailCleanly) {
    IDirectPlay8Client* idle = create<IDirectPlay8Client>(CLSID_DirectPlay8Client, IID_IDirectPlay8Client);
    objects.push_back(idle);
    DWORD size = 0, returned = 0;
    EXPECT_EQ(idle->EnumServiceProviders(nullptr, nullptr, nullptr, &size, &returned, 0),
              DPNERR_UNINITIALIZED);
    Recorder& log = logs.emplace_back();
    EXPECT_EQ(idle->Initialize(&log, Recorder::handler, 0), DPN_OK);
    EXPECT_EQ(idle->Initialize(&log, Recorder::handler, 0), DPNERR_ALREADYINITIALIZED);
    EXPECT_EQ(idle->EnumServiceProviders(&CLSID_DP8SP_TCPIP, nullptr, nullptr, &size, &returned, 0),
              DPNERR_BUFFERTOOSMALL);
    std::vector<DPN_SERVICE_PROVIDER_INFO> info(size / sizeof(DPN_SERVICE_PROVIDER_INFO) + 1);
    EXPECT_EQ(idle->EnumServiceProviders(&CLSID_DP8SP_TCPIP, nullptr, info.data(), &size, &returned, 0),
              DPN_OK);
    EXPECT_EQ(returned, 1u);
    EXPECT_TRUE(IsEqualGUID(info[0].guid, CLSID_DP8SP_TCPIP));
    EXPECT_EQ(idle->EnumServiceProviders(&app_guid, nullptr, nullptr, &size, &returned, 0),
              DPNERR_DOESNOTEXIST);

    std::string text(10, 'x');
    DPN_BUFFER_DESC b = buffer_of(text);
    EXPECT_EQ(idle->Send(&b, 1, 0, nullptr, nullptr, DPNSEND_SYNC), DPNERR_NOCONNECTION);
    // Nobody listens yet: enumeration gets no answer, connecting is refused.
    auto address = qcore::detail::dp8::make_address("127.0.0.1", settings.default_port);
    DPN_APPLICATION_DESC desc{};
    desc.dwSize = sizeof desc;
    EXPECT_EQ(idle->EnumHosts(&desc, address.get(), nullptr, nullptr, 0, 2, 0, 0, nullptr, nullptr,
                              DPNENUMHOSTS_SYNC),
              DPNERR_NORESPONSE);
    EXPECT_EQ(join(idle), DPNERR_NOCONNECTION);

    IDirectPlay8Server* s = host();
    EXPECT_EQ(s->SendTo(0x7777, &b, 1, 200, nullptr, nullptr, DPNSEND_SYNC), DPNERR_INVALIDPLAYER);
    std::string big(settings.max_message + 1, 'b');
    DPN_BUFFER_DESC large = buffer_of(big);
    EXPECT_EQ(s->SendTo(DPNID_ALL_PLAYERS_GROUP, &large, 1, 200, nullptr, nullptr, DPNSEND_SYNC),
              DPNERR_SENDTOOLARGE);
    EXPECT_EQ(s->Host(&desc, nullptr, 0, nullptr, nullptr, nullptr, 0), DPNERR_HOSTING);
}

TEST_F(Session, HostilePeersAreDroppedWhileMembersKeepWorking) {
    IDirectPlay8Server* s = host();
    Recorder& log = logs.emplace_back();
    IDirectPlay8Client* member = client(log);
    ASSERT_EQ(join(member), DPN_OK);
    ASSERT_TRUE(server_log.wait_for(DPN_MSGID_CREATE_PLAYER, 2));
    const DPNID id = server_log.of(DPN_MSGID_CREATE_PLAYER)[1].player;

    std::vector<uint8_t> half = wire_frame(3, connect_payload());
    half.resize(half.size() / 2);
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
        {"oversized length prefix", {0xff, 0xff, 0xff, 0x7f, 6}},
        {"unknown frame type", wire_frame(42, {1, 2, 3})},
        {"data before joining", wire_frame(6, {1, 2, 3})},
        {"connect shorter than its layout", wire_frame(3, {1, 2})},
        {"half a frame", half},
        {"nothing at all", {}},
    };
    int sent = 0;
    for (const auto& [name, bytes] : cases) {
        RawPeer peer(settings.default_port);
        ASSERT_TRUE(peer.connected()) << name;
        if (!bytes.empty()) {
            ASSERT_TRUE(peer.send(bytes)) << name;
        }
        EXPECT_TRUE(peer.closed_by_peer()) << name;
        std::string text = std::string("still here after ") + name;
        DPN_BUFFER_DESC b = buffer_of(text);
        EXPECT_EQ(s->SendTo(id, &b, 1, 200, nullptr, nullptr, DPNSEND_SYNC), DPN_OK) << name;
        ASSERT_TRUE(log.wait_for(DPN_MSGID_RECEIVE, size_t(++sent))) << name;
    }
    EXPECT_EQ(server_log.of(DPN_MSGID_CREATE_PLAYER).size(), 2u);
    EXPECT_TRUE(server_log.of(DPN_MSGID_DESTROY_PLAYER).empty());
}

TEST_F(Session, AFloodOfConnectionsIsBoundedAndPasses) {
    host();
    std::vector<std::unique_ptr<RawPeer>> flood;
    for (uint32_t i = 0; i < settings.max_pending + 6; ++i)
        flood.push_back(std::make_unique<RawPeer>(settings.default_port));
    // Those over the limit are closed at once, the others when their hand-shake time is up.
    for (auto& p : flood)
        EXPECT_TRUE(p->closed_by_peer());
    Recorder& log = logs.emplace_back();
    EXPECT_EQ(join(client(log)), DPN_OK);
}

TEST_F(Session, PlayerLimitRefusesFurtherClients) {
    settings.max_players = 1;
    qcore::set_dplay8_settings(settings);
    host();
    Recorder& a = logs.emplace_back();
    Recorder& b = logs.emplace_back();
    EXPECT_EQ(join(client(a)), DPN_OK);
    EXPECT_EQ(join(client(b)), DPNERR_SESSIONFULL);
}

TEST_F(Session, AMemberThatFallsSilentIsDropped) {
    host();
    RawPeer peer(settings.default_port);
    ASSERT_TRUE(peer.send(wire_frame(3, connect_payload())));
    const std::vector<uint8_t> reply = peer.read_some();
    ASSERT_GE(reply.size(), 5u);
    EXPECT_EQ(reply[4], 4); // joined
    ASSERT_TRUE(server_log.wait_for(DPN_MSGID_CREATE_PLAYER, 2));
    // Half of a data frame, then silence: no complete frame arrives, so the member times out.
    ASSERT_TRUE(peer.send({20, 0, 0, 0, 6, 'a', 'b'}));
    ASSERT_TRUE(server_log.wait_for(DPN_MSGID_DESTROY_PLAYER));
    EXPECT_EQ(server_log.of(DPN_MSGID_DESTROY_PLAYER)[0].reason, DPNDESTROYPLAYERREASON_CONNECTIONLOST);
    EXPECT_TRUE(peer.closed_by_peer());
}

} // namespace
