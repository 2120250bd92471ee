#include <qcore/platform/win32/clock.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace qcore {
namespace {

std::mutex g_source_mutex;
CounterSource g_source;

LONGLONG monotonic_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

LONGLONG read_counter() {
    std::lock_guard lock(g_source_mutex);
    return g_source ? g_source() : monotonic_ns();
}

} // namespace

CounterSource set_performance_counter_source(CounterSource source) {
    std::lock_guard lock(g_source_mutex);
    CounterSource previous = std::move(g_source);
    g_source = std::move(source);
    return previous;
}

} // namespace qcore

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!count) return FALSE;
    count->QuadPart = qcore::read_counter();
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return FALSE;
    frequency->QuadPart = 1000000000LL;
    return TRUE;
}

DWORD GetTickCount() {
    return static_cast<DWORD>(qcore::monotonic_ns() / 1000000);
}

DWORD timeGetTime() {
    return GetTickCount();
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
