#pragma once
// High-resolution counter, tick counts and sleeping, on the monotonic clock. Tests may replace the counter.
#include <qcore/platform/win32/types.h>

#include <functional>

BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
DWORD GetTickCount();
DWORD timeGetTime();
void Sleep(DWORD milliseconds);

namespace qcore {
// The counter QueryPerformanceCounter reads, in ticks of QueryPerformanceFrequency (nanoseconds).
// Returns the previous source; an empty function restores the monotonic clock.
using CounterSource = std::function<LONGLONG()>;
CounterSource set_performance_counter_source(CounterSource source);
} // namespace qcore
