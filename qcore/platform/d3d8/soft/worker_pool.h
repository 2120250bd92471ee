#pragma once
// A fixed set of worker threads kept alive between draws; the calling thread works as worker 0 and each
// run returns only when every task is done, so no work outlives the call that issued it.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace qcore::detail::soft {

class WorkerPool {
public:
    explicit WorkerPool(int workers = 1);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int size() const { return static_cast<int>(threads_.size()) + 1; }

    // Calls fn(task, worker) for every task in [0, tasks); worker is in [0, size()).
    template <class Fn> void run(int tasks, Fn&& fn) {
        auto trampoline = [](void* context, int task, int worker) {
            (*static_cast<Fn*>(context))(task, worker);
        };
        run_erased(tasks, &fn, trampoline);
    }

private:
    using Call = void (*)(void*, int, int);
    void run_erased(int tasks, void* context, Call call);
    void work(int worker);
    // Runs tasks of the current run until none is left; returns how many it ran.
    int drain(int worker, Call call, void* context, int tasks);

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    uint64_t generation_ = 0;
    bool stop_ = false;
    bool open_ = false; // a run is in progress: waking workers may join it
    int joined_ = 0;    // workers inside the current run
    int completed_ = 0; // tasks of the current run finished
    void* context_ = nullptr;
    Call call_ = nullptr;
    int tasks_ = 0;
    std::atomic<int> next_{0};
};

// Worker count from QCORE_SOFT_THREADS, else the machine's hardware threads.
int default_worker_count();

} // namespace qcore::detail::soft
