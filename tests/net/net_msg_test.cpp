#include <qcore/net/dxutil.h>
#include <qcore/net/net_msg.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> bytes_of(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    return std::vector<uint8_t>(b, b + n);
}

TEST(NetMsg, LayoutsAreByteForByte) {
    const NET_CMD_MSG cmd = qcore::make_net_cmd(0x01020304);
    std::vector<uint8_t> want_cmd(32, 0);
    want_cmd[0] = 0x01, want_cmd[1] = 0x14, want_cmd[4] = 0x04, want_cmd[5] = 0x03, want_cmd[6] = 0x02;
    want_cmd[7] = 0x01;
    EXPECT_EQ(bytes_of(&cmd, sizeof cmd), want_cmd);

    const NET_TEXT_MSG text = qcore::make_net_text("hi");
    std::vector<uint8_t> want_text(260, 0);
    want_text[0] = 0x02, want_text[1] = 0x14, want_text[4] = 'h', want_text[5] = 'i';
    EXPECT_EQ(bytes_of(&text, sizeof text), want_text);

    const NET_ADDRESS_MSG address = qcore::make_net_address(-1, "10.0.0.9", "2302");
    std::vector<uint8_t> want_address(88, 0);
    want_address[0] = 0x03, want_address[1] = 0x14;
    std::memset(want_address.data() + 4, 0xff, 4);
    std::memcpy(want_address.data() + 8, "10.0.0.9", 8);
    std::memcpy(want_address.data() + 72, "2302", 4);
    EXPECT_EQ(bytes_of(&address, sizeof address), want_address);
}

TEST(NetMsg, SendersCutTextsToTheirFields) {
    const std::string long_text(400, 'x');
    EXPECT_EQ(std::strlen(qcore::make_net_text(long_text.c_str()).text), 255u);
    const NET_ADDRESS_MSG a = qcore::make_net_address(1, long_text.c_str(), long_text.c_str());
    EXPECT_EQ(std::strlen(a.ip), 63u);
    EXPECT_EQ(std::strlen(a.port), 15u);
    EXPECT_EQ(qcore::make_net_text(nullptr).text[0], 0);
}

TEST(NetMsg, ReadersRefuseEveryShortLengthAndStopAtTheFieldEnd) {
    NET_ADDRESS_MSG a = qcore::make_net_address(9, "1.2.3.4", "80");
    NET_TEXT_MSG t = qcore::make_net_text("text");
    NET_CMD_MSG c = qcore::make_net_cmd(5);
    DWORD id = 0, cmd = 0, code = 0;
    CString ip, port, text;
    for (size_t n = 0; n < sizeof a; ++n)
        EXPECT_FALSE(qcore::read_net_address(&a, n, id, ip, port)) << n;
    for (size_t n = 0; n < sizeof t; ++n)
        EXPECT_FALSE(qcore::read_net_text(&t, n, text)) << n;
    for (size_t n = 0; n < sizeof c; ++n)
        EXPECT_FALSE(qcore::read_net_cmd(&c, n, cmd)) << n;
    EXPECT_FALSE(qcore::read_net_code(&c, 3, code));
    EXPECT_FALSE(qcore::read_net_code(nullptr, 8, code));

    ASSERT_TRUE(qcore::read_net_address(&a, sizeof a, id, ip, port));
    EXPECT_EQ(id, 9u);
    EXPECT_EQ(ip, "1.2.3.4");
    EXPECT_EQ(port, "80");
    // Fields filled to the end without a zero: the text stops one short of the field.
    std::memset(a.ip, 'i', sizeof a.ip);
    std::memset(a.port, 'p', sizeof a.port);
    std::memset(t.text, 't', sizeof t.text);
    ASSERT_TRUE(qcore::read_net_address(&a, sizeof a, id, ip, port));
    EXPECT_EQ(ip, CString(std::string(63, 'i')));
    EXPECT_EQ(port, CString(std::string(15, 'p')));
    ASSERT_TRUE(qcore::read_net_text(&t, sizeof t, text));
    EXPECT_EQ(text, CString(std::string(255, 't')));
    ASSERT_TRUE(qcore::read_net_cmd(&c, sizeof c, cmd));
    EXPECT_EQ(cmd, 5u);
}

TEST(DXUtil, ConvertsBothWaysAndCutsAtCharacterBoundaries) {
    WCHAR wide[16];
    ASSERT_EQ(DXUtil_ConvertAnsiStringToWide(wide, "展厅 A", -1), S_OK);
    EXPECT_EQ(std::u16string(wide), u"展厅 A");
    char text[16];
    ASSERT_EQ(DXUtil_ConvertWideStringToAnsi(text, wide, -1), S_OK);
    EXPECT_STREQ(text, "展厅 A");

    ASSERT_EQ(DXUtil_ConvertAnsiStringToWide(wide, "abcdef", 4), S_OK);
    EXPECT_EQ(std::u16string(wide), u"abc");
    // Each of these characters takes three bytes: five bytes of room hold one of them.
    ASSERT_EQ(DXUtil_ConvertWideStringToAnsi(text, u"展厅", 6), S_OK);
    EXPECT_STREQ(text, "展");
    // A character outside the basic plane takes two wide units: one unit of room holds none of it.
    ASSERT_EQ(DXUtil_ConvertAnsiStringToWide(wide, "\xF0\x9F\x98\x80", 2), S_OK);
    EXPECT_EQ(wide[0], 0);

    EXPECT_EQ(DXUtil_ConvertAnsiStringToWide(nullptr, "a", 4), E_INVALIDARG);
    EXPECT_EQ(DXUtil_ConvertAnsiStringToWide(wide, nullptr, 4), E_INVALIDARG);
    EXPECT_EQ(DXUtil_ConvertWideStringToAnsi(text, u"a", 0), E_INVALIDARG);
}

} // namespace
