#include <qcore/platform/d3d8/soft/worker_pool.h>

#include <algorithm>
#include <cstdlib>

namespace qcore::detail::soft {

namespace {
constexpr int max_workers = 64;
}

int default_worker_count() {
    if (const char* env = std::getenv("QCORE_SOFT_THREADS")) {
        const int n = std::atoi(env);
        if (n > 0) return std::min(n, max_workers);
    }
    const unsigned hw = std::thread::hardware_concurrency();
    return std::clamp(static_cast<int>(hw), 1, max_workers);
}

WorkerPool::WorkerPool(int workers) {
    workers = std::clamp(workers, 1, max_workers);
    for (int i = 1; i < workers; ++i)
        threads_.emplace_back([this, i] { work(i); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

int WorkerPool::drain(int worker, Call call, void* context, int tasks) {
    int done = 0;
    for (int task = next_.fetch_add(1, std::memory_order_relaxed); task < tasks;
         task = next_.fetch_add(1, std::memory_order_relaxed), ++done)
        call(context, task, worker);
    return done;
}

void WorkerPool::run_erased(int tasks, void* context, Call call) {
    if (tasks <= 0) return;
    if (threads_.empty() || tasks == 1) {
        for (int i = 0; i < tasks; ++i)
            call(context, i, 0);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        context_ = context;
        call_ = call;
        tasks_ = tasks;
        completed_ = 0;
        next_.store(0, std::memory_order_relaxed);
        open_ = true;
        ++generation_;
    }
    wake_.notify_all();
    const int mine = drain(0, call, context, tasks);
    // Waits for the tasks, and for workers that joined this run to leave it; workers still asleep are not
    // waited for: they find the run closed when they wake.
    std::unique_lock lock(mutex_);
    completed_ += mine;
    done_.wait(lock, [&] { return completed_ == tasks_ && joined_ == 0; });
    open_ = false;
}

void WorkerPool::work(int worker) {
    uint64_t seen = 0;
    for (;;) {
        Call call = nullptr;
        void* context = nullptr;
        int tasks = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_) return;
            seen = generation_;
            if (!open_) continue;
            ++joined_;
            call = call_, context = context_, tasks = tasks_;
        }
        const int mine = drain(worker, call, context, tasks);
        std::lock_guard lock(mutex_);
        completed_ += mine;
        --joined_;
        done_.notify_one();
    }
}

} // namespace qcore::detail::soft
