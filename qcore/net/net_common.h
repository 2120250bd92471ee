#pragma once
// Set-up steps the server and the client share.
#include <qcore/platform/dplay8/dplay8.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/message_box.h>

#include <vector>

namespace qcore::detail {

// The application GUID in every session description; it identifies sessions of this system.
inline constexpr GUID net_application_guid = {
    0x8eeb08fc, 0xdb32, 0x4994, {0x82, 0x1c, 0xad, 0x14, 0x51, 0x73, 0xa1, 0x8a}};

// Shows `text` when `hr` failed and passes `hr` on.
inline HRESULT net_check(HRESULT hr, const char* text) {
    if (FAILED(hr)) AfxMessageBox(text, MB_OK, 0);
    return hr;
}

// Asks the session object whether the service provider exists: first for the size, then for the list.
template <class Session> BOOL net_sp_valid(Session* dp, const GUID* sp) {
    DWORD size = 0, count = 0;
    if (dp->EnumServiceProviders(sp, nullptr, nullptr, &size, &count, 0) != DPNERR_BUFFERTOOSMALL) {
        AfxMessageBox("Failed Enumerating Service Providers", MB_OK, 0);
        return FALSE;
    }
    std::vector<DPN_SERVICE_PROVIDER_INFO> info(size / sizeof(DPN_SERVICE_PROVIDER_INFO) + 1);
    if (FAILED(dp->EnumServiceProviders(sp, nullptr, info.data(), &size, &count, 0))) {
        AfxMessageBox("Failed Enumerating Service Providers", MB_OK, 0);
        return FALSE;
    }
    return count > 0;
}

// A TCP/IP address object with no components, or the failure shown.
HRESULT net_create_address(IDirectPlay8Address** out);

// The value of a URL component ("hostname=", "port="): the text after it up to the next ';' or the end.
bool net_url_value(const CString& url, const char* key, CString& value);

} // namespace qcore::detail
