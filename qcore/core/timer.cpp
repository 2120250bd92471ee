#include <qcore/core/timer.h>
#include <qcore/platform/win32/clock.h>

namespace {
LONGLONG read_counter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}
} // namespace

CTimer::CTimer() {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    freq = f.QuadPart;
}

double CTimer::info(double ms, int as_ms) const {
    if (!enabled || !deltime_valid) return 0;
    if (as_ms) return ms;
    return ms > 0 ? 1000.0 / ms : 0;
}

double CTimer::get_rapid_info(int as_ms) const {
    return info(rapid_ms, as_ms);
}

double CTimer::get_average_info(int as_ms) const {
    return info(average_ms, as_ms);
}

void CTimer::record() {
    if (!enabled) return;
    if (last_count == 0) {
        last_count = read_counter();
        window_start = last_count;
        window_frames = 0;
        return;
    }
    const LONGLONG now = read_counter();
    const LONGLONG delta = now - last_count;
    last_count = now;
    record_by_input_time(static_cast<double>(delta) * 1000.0 / static_cast<double>(freq));
    ++window_frames;
    const double window_ms = static_cast<double>(now - window_start) * 1000.0 / static_cast<double>(freq);
    if (window_ms > 500.0) {
        average_ms = window_ms / window_frames;
        window_start = now;
        window_frames = 0;
    }
}

// A host's own frame time is a measured frame as much as one that record takes.
void CTimer::record_by_input_time(double ms) {
    rapid_ms = ms;
    elapse_ms += ms;
    deltime_valid = 1;
}

void CTimer::enable(int on) {
    on = on ? 1 : 0;
    if (on == enabled) return;
    enabled = on;
    if (!on) {
        last_count = 0;
        deltime_valid = 0;
    }
}
