#include <qcore/platform/win32/mfc_time.h>

#include <string>

namespace {

CString format_tm(const char* format, const struct tm* parts) {
    if (!format || !*format || !parts) return CString();
    // strftime gives 0 both for "too small" and for an empty result: grow a few times, then give up.
    std::string out(64 + 4 * std::char_traits<char>::length(format), '\0');
    for (int attempt = 0; attempt < 6; ++attempt) {
        const size_t n = std::strftime(out.data(), out.size(), format, parts);
        if (n > 0) return CString(out.substr(0, n));
        out.resize(out.size() * 4);
    }
    return CString();
}

} // namespace

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int dst) {
    struct tm parts {};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = dst;
    const time_t t = std::mktime(&parts);
    time_ = t == static_cast<time_t>(-1) ? 0 : t;
}

CTime CTime::GetCurrentTime() {
    return CTime(std::time(nullptr));
}

struct tm CTime::local() const {
    struct tm parts {};
    localtime_r(&time_, &parts);
    return parts;
}

CString CTime::Format(const char* format) const {
    struct tm parts {};
    return format_tm(format, localtime_r(&time_, &parts));
}

CString CTime::FormatGmt(const char* format) const {
    struct tm parts {};
    return format_tm(format, gmtime_r(&time_, &parts));
}
