#pragma once
// The address object and helpers the session objects share to make and read addresses.
#include <qcore/platform/dplay8/dplay8.h>
#include <qcore/platform/win32/com_ref.h>

#include <optional>
#include <string>

namespace qcore::detail::dp8 {

HRESULT create_address(REFIID iid, void** out);
// A TCP/IP address naming `host` (UTF-8) and `port`.
ComRef<IDirectPlay8Address> make_address(const std::string& host, uint16_t port);
// The host name of an address as UTF-8, if it has one.
std::optional<std::string> address_host(IDirectPlay8Address* address);
std::optional<uint16_t> address_port(IDirectPlay8Address* address);

std::u16string utf8_to_wide(const std::string& text);
std::string wide_to_utf8(const std::u16string& text);

} // namespace qcore::detail::dp8
