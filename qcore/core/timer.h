#pragma once
// Frame timing on the performance counter: the last frame time, an average over windows of a little more
// than half a second, and the total time. All times are milliseconds.
#include <qcore/platform/win32/types.h>

class CTimer {
public:
    CTimer();
    virtual double get_elapse_time() const { return elapse_ms; }
    // Milliseconds with as_ms set, else frames per second; 0 while disabled or before the first frame.
    virtual double get_rapid_info(int as_ms) const;
    virtual double get_average_info(int as_ms) const;
    virtual int is_deltime_valid() const { return deltime_valid; }
    virtual void record();
    virtual ~CTimer() = default;

    void record_by_input_time(double ms);
    void enable(int on);
    int is_enable() const { return enabled; }

    LONGLONG freq = 0;
    LONGLONG last_count = 0;
    int enabled = 1;
    int deltime_valid = 0;
    LONGLONG window_start = 0;
    int window_frames = 0;
    double rapid_ms = 0;
    double average_ms = 0;
    double elapse_ms = 0;

private:
    double info(double ms, int as_ms) const;
};
