#include "wsq/lanes.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace quorvel::wsq {
namespace {

// Passes of one image follow each other within microseconds: a helper that has just finished
// waits this long awake before it sleeps, so the next pass does not wait for the scheduler.
constexpr auto kAwake = std::chrono::microseconds(200);

// A pause of a spinning thread that leaves the core to its sibling and is not a system call
// (a yield was, and made a helper arrive late for short passes).
inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

// One caller's parts. Lives on the caller's stack; helpers reach it only through the pool's
// queue and only while `active` counts them.
struct Job {
    void (*part)(const void*, int);
    const void* context;
    int parts;
    std::atomic<int> next{0};
    std::atomic<int> active{0};  // helpers working on it
    int seats = 0;               // helpers that may still join (under the pool's lock)
    std::exception_ptr failure;  // the first exception a part threw (under the pool's lock)
};

class Pool {
public:
    const pid_t owner = getpid();
    Pool* const previous;  // a forked parent's pool, kept reachable

    explicit Pool(Pool* before) : previous(before) {}

    void run(Job& job, int helpers);

private:
    void serve();
    void work(Job& job);
    int grow(int helpers);

    std::mutex lock_;
    std::condition_variable wake_, done_;
    std::deque<Job*> queue_;
    std::atomic<int> queued_{0};
    int threads_ = 0;
};

// Takes parts until none is left; an exception ends this thread's share and is kept.
void Pool::work(Job& job) {
    try {
        for (int i; (i = job.next.fetch_add(1, std::memory_order_relaxed)) < job.parts;)
            job.part(job.context, i);
    } catch (...) {
        job.next.store(job.parts, std::memory_order_relaxed);
        std::lock_guard guard(lock_);
        if (!job.failure) job.failure = std::current_exception();
    }
}

void Pool::serve() {
    for (;;) {
        const auto until = std::chrono::steady_clock::now() + kAwake;
        while (queued_.load(std::memory_order_acquire) == 0 &&
               std::chrono::steady_clock::now() < until)
            relax();
        std::unique_lock guard(lock_);
        wake_.wait(guard, [this] { return !queue_.empty(); });
        Job& job = *queue_.front();
        if (--job.seats == 0) {
            queue_.pop_front();
            queued_.fetch_sub(1, std::memory_order_release);
        }
        job.active.fetch_add(1, std::memory_order_relaxed);
        guard.unlock();
        work(job);
        // The job may be gone once active drops: touch only the pool after it.
        if (job.active.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            guard.lock();
            done_.notify_all();
        }
    }
}

// Starts threads up to `helpers` (within the cap); returns how many there are. A thread the
// system refuses is simply not there.
int Pool::grow(int helpers) {
    for (helpers = std::min(helpers, kMaxHelpers); threads_ < helpers; ++threads_) {
        try {
            std::thread([this] { serve(); }).detach();
        } catch (const std::system_error&) {
            break;
        }
    }
    return std::min(helpers, threads_);
}

void Pool::run(Job& job, int helpers) {
    {
        std::lock_guard guard(lock_);
        job.seats = grow(helpers);
        if (job.seats > 0) {
            queue_.push_back(&job);
            queued_.fetch_add(1, std::memory_order_release);
        }
    }
    wake_.notify_all();
    work(job);
    std::unique_lock guard(lock_);
    if (job.seats > 0) {
        queue_.erase(std::find(queue_.begin(), queue_.end(), &job));
        queued_.fetch_sub(1, std::memory_order_release);
        job.seats = 0;
    }
    done_.wait(guard, [&] { return job.active.load(std::memory_order_acquire) == 0; });
    if (job.failure) std::rethrow_exception(job.failure);
}

// The process's pool, made on first use. A forked child has none of its parent's threads and
// must not touch its locks, so it makes a pool of its own; the old one is left as it is.
Pool& pool() {
    static std::atomic<Pool*> current{nullptr};
    Pool* p = current.load(std::memory_order_acquire);
    while (p == nullptr || p->owner != getpid()) {
        Pool* made = new Pool(p);
        if (current.compare_exchange_strong(p, made, std::memory_order_acq_rel)) return *made;
        delete made;
    }
    return *p;
}

}  // namespace

void run_parts(int parts, int helpers, void (*part)(const void*, int), const void* context) {
    Job job{part, context, parts, {}, {}, 0, nullptr};
    if (helpers <= 0 || parts <= 1) {
        for (int i = 0; i < parts; ++i) part(context, i);
        return;
    }
    pool().run(job, std::min(helpers, parts - 1));
}

}  // namespace quorvel::wsq
