#pragma once
// The session wire format: every frame is a little-endian 32-bit length (of what follows), a type byte and
// the payload. Peers are untrusted: lengths are capped before anything is allocated.
#include <qcore/platform/dplay8/dplay8.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace qcore::detail::dp8 {

enum class frame_type : uint8_t {
    enum_query = 1,   // application GUID
    enum_reply = 2,   // session description
    connect = 3,      // application GUID, then the connect data
    connect_ok = 4,   // client id, host id, session description
    connect_fail = 5, // result code
    data = 6,         // one application message
    terminate = 7,    // the sender ends the session
    keepalive = 8,
};
inline constexpr uint8_t last_frame_type = 8;
inline constexpr size_t header_size = 5;

// The header of a frame of `payload_size` bytes.
void put_header(uint8_t out[header_size], frame_type type, uint32_t payload_size);

// Cuts a byte stream into frames. A zero length, an unknown type or a payload over the cap puts the reader
// into its failed state for good; buffered bytes grow only as data arrives, never to an announced length.
class frame_reader {
public:
    explicit frame_reader(uint32_t max_payload) : max_payload_(max_payload) {}

    // Calls on_frame(frame_type, const uint8_t* payload, size_t size) for each complete frame; the payload
    // lives until on_frame returns. on_frame returns false to stop reading. False once the stream is bad or
    // reading was stopped.
    template <class F> bool feed(const uint8_t* data, size_t size, F&& on_frame) {
        while (!failed_ && size > 0) {
            if (have_ < header_size) {
                const size_t take = std::min(size, header_size - have_);
                std::memcpy(header_ + have_, data, take);
                have_ += take;
                data += take;
                size -= take;
                if (have_ < header_size) break;
                if (!check_header()) return false;
                payload_.clear();
            }
            // Whole payload in the input and nothing buffered: hand it over in place.
            const size_t missing = want_ - payload_.size();
            if (payload_.empty() && size >= missing) {
                have_ = 0;
                if (!on_frame(type_, data, missing)) return stop();
                data += missing;
                size -= missing;
                continue;
            }
            const size_t take = std::min(size, missing);
            payload_.insert(payload_.end(), data, data + take);
            data += take;
            size -= take;
            if (payload_.size() < want_) break;
            have_ = 0;
            if (!on_frame(type_, payload_.data(), payload_.size())) return stop();
        }
        return !failed_;
    }

    bool failed() const { return failed_; }
    // True while part of a frame is buffered.
    bool partial() const { return have_ > 0; }

private:
    bool check_header();
    bool stop() {
        failed_ = true;
        return false;
    }

    uint32_t max_payload_;
    uint8_t header_[header_size]{};
    size_t have_ = 0;
    size_t want_ = 0;
    frame_type type_ = frame_type::data;
    std::vector<uint8_t> payload_;
    bool failed_ = false;
};

// The part of an application description that travels: flags, GUIDs, counts and the session name.
struct session_desc {
    DWORD flags = 0;
    GUID instance{};
    GUID application{};
    DWORD max_players = 0;
    DWORD current_players = 0;
    std::u16string name;

    // Pointer members point into this object.
    DPN_APPLICATION_DESC to_desc() const;
    static session_desc from_desc(const DPN_APPLICATION_DESC& desc);
};

inline constexpr size_t max_session_name = 1024;

void put_session(std::vector<uint8_t>& out, const session_desc& s);
// Reads a description at `pos`, advancing it; nullopt when truncated or the name is too long.
std::optional<session_desc> get_session(const uint8_t* data, size_t size, size_t& pos);

void put_u32(std::vector<uint8_t>& out, uint32_t v);
void put_guid(std::vector<uint8_t>& out, const GUID& g);
std::optional<uint32_t> get_u32(const uint8_t* data, size_t size, size_t& pos);
std::optional<GUID> get_guid(const uint8_t* data, size_t size, size_t& pos);

} // namespace qcore::detail::dp8
