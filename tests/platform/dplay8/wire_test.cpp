#include <qcore/platform/dplay8/address.h>
#include <qcore/platform/dplay8/wire.h>

#include <gtest/gtest.h>
#include <support/loopback.h>

#include <string>

using namespace qcore::detail::dp8;
using qcore::test::wire_frame;

namespace {

struct frame {
    int type;
    std::vector<uint8_t> payload;
    bool operator==(const frame&) const = default;
};

// Feeds `bytes` in pieces of `step` and collects the frames; `ok` is the reader's last answer.
std::vector<frame> read_all(const std::vector<uint8_t>& bytes, size_t step, bool& ok, uint32_t cap = 1000) {
    frame_reader r(cap);
    std::vector<frame> out;
    ok = true;
    for (size_t i = 0; i < bytes.size() && ok; i += step) {
        const size_t n = std::min(step, bytes.size() - i);
        ok = r.feed(bytes.data() + i, n, [&](frame_type t, const uint8_t* p, size_t size) {
            out.push_back({int(t), std::vector<uint8_t>(p, p + size)});
            return true;
        });
    }
    return out;
}

TEST(FrameReader, SplitsAStreamTheSameWayHoweverItArrives) {
    std::vector<uint8_t> stream;
    const std::vector<frame> want = {{6, {1, 2, 3}}, {8, {}}, {6, std::vector<uint8_t>(700, 0x5a)}, {7, {}}};
    for (const frame& f : want) {
        auto bytes = wire_frame(uint8_t(f.type), f.payload);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    for (size_t step : {size_t(1), size_t(2), size_t(5), size_t(6), size_t(333), stream.size()}) {
        bool ok = false;
        EXPECT_EQ(read_all(stream, step, ok), want) << "step " << step;
        EXPECT_TRUE(ok);
    }
    // Every cut of the stream yields exactly the frames wholly inside it.
    size_t whole = 0, end = 0;
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        if (whole < want.size() && cut == end + header_size + want[whole].payload.size()) end = cut, ++whole;
        bool ok = false;
        const auto got = read_all(std::vector<uint8_t>(stream.begin(), stream.begin() + long(cut)), 7, ok);
        EXPECT_EQ(got.size(), whole) << "cut " << cut;
    }
}

TEST(FrameReader, RefusesBadHeadersForGood) {
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> bad = {
        {"zero length", {0, 0, 0, 0, 6}},
        {"over the cap", wire_frame(6, std::vector<uint8_t>(1001, 1))},
        {"hostile length", {0xff, 0xff, 0xff, 0xff, 6}},
        {"type zero", wire_frame(0, {})},
        {"unknown type", wire_frame(9, {1})},
    };
    for (const auto& [name, bytes] : bad) {
        frame_reader r(1000);
        int frames = 0;
        auto count = [&](frame_type, const uint8_t*, size_t) { return ++frames, true; };
        EXPECT_FALSE(r.feed(bytes.data(), bytes.size(), count)) << name;
        EXPECT_TRUE(r.failed()) << name;
        const auto good = wire_frame(6, {1});
        EXPECT_FALSE(r.feed(good.data(), good.size(), count)) << name;
        EXPECT_EQ(frames, 0) << name;
    }
    // A frame exactly at the cap is fine.
    bool ok = false;
    EXPECT_EQ(read_all(wire_frame(6, std::vector<uint8_t>(1000, 1)), 64, ok).size(), 1u);
    EXPECT_TRUE(ok);
}

TEST(SessionDesc, RoundTripsAndRefusesEveryTruncation) {
    session_desc s;
    s.flags = DPNSESSION_CLIENT_SERVER;
    s.instance = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    s.application = {0xabcdef01, 0x1234, 0x5678, {1, 1, 2, 3, 5, 8, 13, 21}};
    s.max_players = 9;
    s.current_players = 3;
    s.name = u"会话 one";
    std::vector<uint8_t> bytes;
    put_session(bytes, s);
    size_t pos = 0;
    auto back = get_session(bytes.data(), bytes.size(), pos);
    ASSERT_TRUE(back);
    EXPECT_EQ(pos, bytes.size());
    EXPECT_EQ(back->name, s.name);
    EXPECT_TRUE(IsEqualGUID(back->instance, s.instance));
    EXPECT_TRUE(IsEqualGUID(back->application, s.application));
    EXPECT_EQ(back->current_players, 3u);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        pos = 0;
        EXPECT_FALSE(get_session(bytes.data(), cut, pos)) << cut;
    }
    // A name length beyond the limit is refused before anything is read.
    std::vector<uint8_t> hostile(bytes.begin(), bytes.begin() + 48);
    put_u32(hostile, 0xffffffffu);
    pos = 0;
    EXPECT_FALSE(get_session(hostile.data(), hostile.size(), pos));
}

TEST(Address, UrlComponentsAndTheBufferSizeProtocol) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IDirectPlay8Address* a = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectPlay8Address, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IDirectPlay8Address, reinterpret_cast<void**>(&a)),
              S_OK);
    EXPECT_EQ(a->SetSP(&CLSID_DP8SP_TCPIP), DPN_OK);
    const WCHAR host[] = u"host;name";
    EXPECT_EQ(a->AddComponent(DPNA_KEY_HOSTNAME, host, sizeof host, DPNA_DATATYPE_STRING), DPN_OK);
    const DWORD port = 2400;
    EXPECT_EQ(a->AddComponent(DPNA_KEY_PORT, &port, sizeof port, DPNA_DATATYPE_DWORD), DPN_OK);
    // Malformed values are refused: a wide string without its zero, a DWORD of the wrong size.
    EXPECT_EQ(a->AddComponent(DPNA_KEY_HOSTNAME, host, 4, DPNA_DATATYPE_STRING), DPNERR_INVALIDPARAM);
    EXPECT_EQ(a->AddComponent(DPNA_KEY_PORT, &port, 2, DPNA_DATATYPE_DWORD), DPNERR_INVALIDPARAM);

    DWORD len = 0;
    ASSERT_EQ(a->GetURLA(nullptr, &len), DPNERR_BUFFERTOOSMALL);
    std::string url(len, '\0');
    DWORD short_len = len - 1;
    EXPECT_EQ(a->GetURLA(url.data(), &short_len), DPNERR_BUFFERTOOSMALL);
    ASSERT_EQ(a->GetURLA(url.data(), &len), DPN_OK);
    EXPECT_STREQ(
        url.c_str(),
        "x-directplay:/provider=%7BEBFE7BA0-628D-11D2-AE0F-006097B01411%7D;hostname=host%3Bname;port=2400");

    IDirectPlay8Address* copy = nullptr;
    ASSERT_EQ(a->Duplicate(&copy), DPN_OK);
    a->Release();
    EXPECT_EQ(address_host(copy), "host;name");
    EXPECT_EQ(address_port(copy), 2400);
    copy->Release();
    CoUninitialize();
}

} // namespace
