#include <qcore/platform/win32/backend.h>
#include <qcore/platform/win32/clock.h>
#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/window_registry.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>

#define ERROR_INVALID_THREAD_ID 1444L

namespace qcore::detail {
namespace {

// A message sent from another thread: handled by the target thread inside its queue functions.
struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    std::promise<LRESULT> result;
};

struct Queue {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
    int quit_code = 0;
    bool wake = false;
};

struct Queues {
    std::mutex mutex;
    std::unordered_map<DWORD, std::shared_ptr<Queue>> by_thread;
};

Queues& queues() {
    static Queues* q = new Queues; // outlives threads that exit during static destruction
    return *q;
}

std::shared_ptr<Queue> find_queue(DWORD thread) {
    auto& q = queues();
    std::lock_guard lock(q.mutex);
    auto it = q.by_thread.find(thread);
    return it == q.by_thread.end() ? nullptr : it->second;
}

// Unregisters the thread's queue when the thread ends.
struct QueueHolder {
    std::shared_ptr<Queue> queue;
    DWORD thread = 0;
    ~QueueHolder() {
        if (!queue) return;
        auto& q = queues();
        std::lock_guard lock(q.mutex);
        q.by_thread.erase(thread);
    }
};
thread_local QueueHolder t_queue;
thread_local DWORD t_message_time = 0;

Queue& my_queue() {
    if (!t_queue.queue) {
        t_queue.queue = std::make_shared<Queue>();
        t_queue.thread = GetCurrentThreadId();
        auto& q = queues();
        std::lock_guard lock(q.mutex);
        q.by_thread[t_queue.thread] = t_queue.queue;
    }
    return *t_queue.queue;
}

void handle_sent_messages(Queue& q) {
    for (;;) {
        std::shared_ptr<SentMessage> s;
        {
            std::lock_guard lock(q.mutex);
            if (q.sent.empty()) return;
            s = q.sent.front();
            q.sent.pop_front();
        }
        s->result.set_value(call_window_proc(s->hwnd, s->message, s->wparam, s->lparam));
    }
}

bool in_range(UINT message, UINT lo, UINT hi) {
    return (lo == 0 && hi == 0) || (message >= lo && message <= hi);
}

bool matches(const MSG& m, HWND filter, UINT lo, UINT hi) {
    if (m.message == WM_QUIT) return true;
    if (filter == reinterpret_cast<HWND>(-1)) return m.hwnd == nullptr && in_range(m.message, lo, hi);
    if (filter && m.hwnd != filter && !IsChild(filter, m.hwnd)) return false;
    return in_range(m.message, lo, hi);
}

// One attempt to take a message: sent ones are handled, then posted, quit, and paint in that order.
bool take_message(MSG* out, HWND filter, UINT lo, UINT hi, bool remove) {
    Queue& q = my_queue();
    backend().pump();
    handle_sent_messages(q);
    {
        std::lock_guard lock(q.mutex);
        for (auto it = q.posted.begin(); it != q.posted.end();) {
            if (it->hwnd && !IsWindow(it->hwnd)) { // the window died after the post
                it = q.posted.erase(it);
                continue;
            }
            if (!matches(*it, filter, lo, hi)) {
                ++it;
                continue;
            }
            *out = *it;
            if (remove) q.posted.erase(it);
            t_message_time = out->time;
            return true;
        }
        if (q.quit) {
            *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quit_code), 0, GetTickCount(), {}};
            if (remove) q.quit = false;
            return true;
        }
    }
    present_dirty_windows();
    if (!in_range(WM_PAINT, lo, hi) || filter == reinterpret_cast<HWND>(-1)) return false;
    if (HWND h = window_needing_paint(GetCurrentThreadId(), filter)) {
        *out = MSG{h, WM_PAINT, 0, 0, GetTickCount(), {}};
        GetCursorPos(&out->pt);
        return true;
    }
    return false;
}

void wait_for_message(Queue& q) {
    std::unique_lock lock(q.mutex);
    auto ready = [&] { return q.wake || !q.posted.empty() || !q.sent.empty() || q.quit; };
    if (backend().needs_polling())
        q.cv.wait_for(lock, std::chrono::milliseconds(5), ready);
    else
        q.cv.wait(lock, ready);
    q.wake = false;
}

} // namespace

void ensure_queue() {
    my_queue();
}

bool post_to_thread(DWORD thread, const MSG& msg) {
    std::shared_ptr<Queue> q = find_queue(thread);
    if (!q) return false;
    {
        std::lock_guard lock(q->mutex);
        q->posted.push_back(msg);
    }
    q->cv.notify_all();
    return true;
}

void wake_thread(DWORD thread) {
    std::shared_ptr<Queue> q = find_queue(thread);
    if (!q) return;
    {
        std::lock_guard lock(q->mutex);
        q->wake = true;
    }
    q->cv.notify_all();
}

} // namespace qcore::detail

using namespace qcore::detail;

DWORD GetCurrentThreadId() {
    thread_local const DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
    return id;
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    MSG m{hwnd, message, wparam, lparam, GetTickCount(), {}};
    GetCursorPos(&m.pt);
    if (!hwnd) {
        ensure_queue();
        return post_to_thread(GetCurrentThreadId(), m);
    }
    const DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
    if (!thread || !post_to_thread(thread, m)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL PostThreadMessageA(DWORD thread_id, UINT message, WPARAM wparam, LPARAM lparam) {
    MSG m{nullptr, message, wparam, lparam, GetTickCount(), {}};
    GetCursorPos(&m.pt);
    if (post_to_thread(thread_id, m)) return TRUE;
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    const DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
    if (!thread) return 0;
    if (thread == GetCurrentThreadId()) return call_window_proc(hwnd, message, wparam, lparam);
    std::shared_ptr<Queue> q = find_queue(thread);
    if (!q) return 0;
    auto sent = std::make_shared<SentMessage>(SentMessage{hwnd, message, wparam, lparam, {}});
    std::future<LRESULT> result = sent->result.get_future();
    {
        std::lock_guard lock(q->mutex);
        q->sent.push_back(sent);
    }
    q->cv.notify_all();
    // While waiting, this thread still answers messages sent to its own windows (as Windows does).
    Queue* mine = find_queue(GetCurrentThreadId()).get();
    while (result.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready) {
        if (mine) handle_sent_messages(*mine);
        if (!IsWindow(hwnd)) return 0;
    }
    return result.get();
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max) {
    if (!msg) return -1;
    if (hwnd && hwnd != reinterpret_cast<HWND>(-1) && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    Queue& q = my_queue();
    while (!take_message(msg, hwnd, filter_min, filter_max, true))
        wait_for_message(q);
    return msg->message == WM_QUIT ? 0 : 1;
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove) {
    if (!msg) return FALSE;
    return take_message(msg, hwnd, filter_min, filter_max, remove & PM_REMOVE) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
    const int vk = static_cast<int>(msg->wParam);
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    int ch = 0;
    if (vk >= 'A' && vk <= 'Z')
        ch = shift ? vk : vk - 'A' + 'a';
    else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB ||
             vk == VK_ESCAPE)
        ch = vk;
    if (!ch || GetKeyState(VK_CONTROL) < 0) return FALSE;
    const UINT message = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    return PostMessageA(msg->hwnd, message, static_cast<WPARAM>(ch), msg->lParam);
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    return call_window_proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exit_code) {
    Queue& q = my_queue();
    {
        std::lock_guard lock(q.mutex);
        q.quit = true;
        q.quit_code = exit_code;
    }
    q.cv.notify_all();
}

DWORD GetMessageTime() {
    return t_message_time;
}
