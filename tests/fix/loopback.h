#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace vqs::test {

// What the callbacks of QuickFIX's threads report, guarded, and a wait for it. The timeout only
// guards against a hang: every wait ends as soon as its condition holds.
class Loopback {
public:
    static constexpr std::chrono::seconds kGuard{20};

    // Runs `change` under the lock and wakes every waiter.
    template <typename F>
    void report(F&& change) {
        {
            std::lock_guard lock(mutex_);
            change();
        }
        changed_.notify_all();
    }
    // Until `done` holds (checked under the lock); false after the guard's time.
    bool waitFor(const std::function<bool()>& done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kGuard, done);
    }
    // Runs `serve` whenever it is woken (a request waits) until `done` holds.
    bool serveUntil(const std::function<bool()>& done, const std::function<void()>& serve) {
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                if (!changed_.wait_for(lock, kGuard, [&] { return woken_ || done(); }))
                    return false;
                if (done()) return true;
                woken_ = false;
            }
            serve();
        }
    }
    // For reading what was reported.
    std::mutex& mutex() { return mutex_; }
    void wake() {
        report([this] { woken_ = true; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool woken_ = false;
};

}  // namespace vqs::test
