#include <qcore/net/net_common.h>
#include <qcore/platform/win32/com_runtime.h>

namespace qcore::detail {

HRESULT net_create_address(IDirectPlay8Address** out) {
    HRESULT hr = CoCreateInstance(CLSID_DirectPlay8Address, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IDirectPlay8Address, reinterpret_cast<void**>(out));
    if (FAILED(net_check(hr, "Failed Creating the IDirectPlay8Address Object"))) return hr;
    return net_check((*out)->SetSP(&CLSID_DP8SP_TCPIP), "Failed Setting the Service Provider");
}

bool net_url_value(const CString& url, const char* key, CString& value) {
    const int at = url.Find(key);
    if (at < 0) return false;
    const int start = at + static_cast<int>(std::strlen(key));
    const int end = url.Find(';', start);
    value = end < 0 ? url.Mid(start) : url.Mid(start, end - start);
    return true;
}

} // namespace qcore::detail
