#include "platform/base/ThreadPool.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace taluvo {
namespace {

// How long a thread waits for its next job before it ends, and how many may wait at once.
constexpr auto kIdleLife = std::chrono::seconds(30);
constexpr int kMostIdle = 16;

struct Pool {
    std::mutex lock;
    std::condition_variable work;
    std::deque<std::function<void()>> jobs;
    int threads = 0;
    int idle = 0; // threads waiting for a job

    static Pool& Instance()
    {
        static Pool* pool = new Pool; // never destroyed: its threads may outlive static destruction
        return *pool;
    }
};

void Serve()
{
    Pool& pool = Pool::Instance();
    std::unique_lock<std::mutex> guard(pool.lock);
    for (;;) {
        if (pool.jobs.empty()) {
            ++pool.idle;
            const bool found = pool.work.wait_for(guard, kIdleLife, [&] { return !pool.jobs.empty(); });
            --pool.idle;
            if (!found) {
                --pool.threads;
                return;
            }
        }
        std::function<void()> job = std::move(pool.jobs.front());
        pool.jobs.pop_front();
        guard.unlock();
        job();
        job = nullptr; // what the job holds goes before the thread looks for the next one
        guard.lock();
        if (pool.jobs.empty() && pool.idle >= kMostIdle) {
            --pool.threads;
            return;
        }
    }
}

} // namespace

bool RunPooled(std::function<void()> job)
{
    Pool& pool = Pool::Instance();
    std::lock_guard<std::mutex> guard(pool.lock);
    pool.jobs.push_back(std::move(job));
    // Each queued job has a waiting thread of its own, or gets a new one.
    if (pool.idle >= static_cast<int>(pool.jobs.size())) {
        pool.work.notify_one();
        return true;
    }
    try {
        std::thread(Serve).detach();
    } catch (const std::system_error&) {
        pool.jobs.pop_back();
        return false;
    }
    ++pool.threads;
    return true;
}

int PooledThreads()
{
    Pool& pool = Pool::Instance();
    std::lock_guard<std::mutex> guard(pool.lock);
    return pool.threads;
}

} // namespace taluvo
