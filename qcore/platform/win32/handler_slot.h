#pragma once
// One installable handler (a std::function) that any thread may replace or call.
#include <mutex>
#include <utility>

namespace qcore::detail {

template <class Handler> class HandlerSlot {
public:
    // Installs `handler` and returns the previous one.
    Handler exchange(Handler handler) {
        std::lock_guard lock(mutex_);
        std::swap(handler_, handler);
        return handler;
    }
    // A copy, so that the handler runs without the lock held.
    Handler get() const {
        std::lock_guard lock(mutex_);
        return handler_;
    }

private:
    mutable std::mutex mutex_;
    Handler handler_;
};

} // namespace qcore::detail
