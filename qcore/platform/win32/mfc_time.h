#pragma once
// The framework's calendar time: seconds since 1970 (UTC), shown in local time.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/types.h>

#include <ctime>

class CTime {
public:
    CTime() = default;
    CTime(time_t time) : time_(time) {}
    // Local time; dst < 0 lets the C library decide whether daylight saving applies.
    CTime(int year, int month, int day, int hour, int minute, int second, int dst = -1);

    static CTime GetCurrentTime();

    time_t GetTime() const { return time_; }
    int GetYear() const { return local().tm_year + 1900; }
    int GetMonth() const { return local().tm_mon + 1; }
    int GetDay() const { return local().tm_mday; }
    int GetHour() const { return local().tm_hour; }
    int GetMinute() const { return local().tm_min; }
    int GetSecond() const { return local().tm_sec; }
    // 1 for Sunday to 7 for Saturday.
    int GetDayOfWeek() const { return local().tm_wday + 1; }

    // strftime codes in local time (FormatGmt: in UTC); other bytes, UTF-8 included, are copied.
    CString Format(const char* format) const;
    CString FormatGmt(const char* format) const;

    friend bool operator==(const CTime& a, const CTime& b) { return a.time_ == b.time_; }
    friend bool operator!=(const CTime& a, const CTime& b) { return a.time_ != b.time_; }
    friend bool operator<(const CTime& a, const CTime& b) { return a.time_ < b.time_; }
    friend bool operator>(const CTime& a, const CTime& b) { return a.time_ > b.time_; }
    friend bool operator<=(const CTime& a, const CTime& b) { return a.time_ <= b.time_; }
    friend bool operator>=(const CTime& a, const CTime& b) { return a.time_ >= b.time_; }

private:
    struct tm local() const;
    time_t time_ = 0;
};
