// Session peers are untrusted: any byte stream, cut anywhere, must be split into frames within the cap or
// refused, and every frame's payload must decode safely as what its type says it is.
#include <qcore/net/net_msg.h>
#include <qcore/platform/dplay8/wire.h>

#include <cstdint>
#include <cstdlib>

using namespace qcore::detail::dp8;

namespace {

constexpr uint32_t cap = 4096;

bool decode(frame_type type, const uint8_t* p, size_t size) {
    if (size > cap) std::abort();
    size_t pos = 0;
    switch (type) {
    case frame_type::enum_query:
    case frame_type::connect:
        get_guid(p, size, pos);
        break;
    case frame_type::enum_reply:
        if (auto s = get_session(p, size, pos); s && (pos > size || s->name.size() > max_session_name))
            std::abort();
        break;
    case frame_type::connect_ok:
        get_u32(p, size, pos);
        get_u32(p, size, pos);
        get_session(p, size, pos);
        break;
    case frame_type::connect_fail:
        get_u32(p, size, pos);
        break;
    case frame_type::data: {
        DWORD code = 0, id = 0, cmd = 0;
        CString a, b;
        qcore::read_net_code(p, size, code);
        if (qcore::read_net_text(p, size, a) && a.GetLength() > 255) std::abort();
        if (qcore::read_net_address(p, size, id, a, b) && (a.GetLength() > 63 || b.GetLength() > 15))
            std::abort();
        qcore::read_net_cmd(p, size, cmd);
        break;
    }
    default:
        break;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the size of the pieces the stream arrives in.
    const size_t step = data[0] % 64 + 1;
    ++data;
    --size;
    frame_reader whole(cap), pieces(cap);
    size_t frames_whole = 0, frames_pieces = 0;
    const bool ok_whole = whole.feed(data, size, [&](frame_type t, const uint8_t* p, size_t n) {
        ++frames_whole;
        return decode(t, p, n);
    });
    bool ok_pieces = true;
    for (size_t i = 0; i < size && ok_pieces; i += step) {
        const size_t n = std::min(step, size - i);
        ok_pieces = pieces.feed(data + i, n, [&](frame_type t, const uint8_t* p, size_t len) {
            ++frames_pieces;
            return decode(t, p, len);
        });
    }
    // However the bytes arrive, the same frames come out and the same verdict is reached.
    if (ok_whole != ok_pieces || frames_whole != frames_pieces) std::abort();
    return 0;
}
