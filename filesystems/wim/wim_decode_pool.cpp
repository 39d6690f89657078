#include "filesystems/wim/wim_decode_pool.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace filesystems::wim {

struct DecodePool::State {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::function<void()>> tasks;
};

DecodePool::DecodePool() : state_(new State) {
    const unsigned cores = std::thread::hardware_concurrency();
    for (unsigned i = 0; i < (cores == 0 ? 1 : cores); ++i) {
        // The threads wait for work without a timeout and live as long as the
        // process: nothing is left to join when it ends.
        std::thread([s = state_] {
            for (;;) {
                std::function<void()> task;
                {
                    std::unique_lock<std::mutex> lock(s->mutex);
                    s->ready.wait(lock, [s] { return !s->tasks.empty(); });
                    task = std::move(s->tasks.front());
                    s->tasks.pop_front();
                }
                task();
            }
        }).detach();
    }
}

DecodePool& DecodePool::Shared() {
    // Never destroyed: its threads may still wait on it while the process ends.
    static DecodePool* pool = new DecodePool;
    return *pool;
}

void DecodePool::Submit(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->tasks.push_back(std::move(task));
    }
    state_->ready.notify_one();
}

}  // namespace filesystems::wim
