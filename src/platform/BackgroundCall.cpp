#include "platform/BackgroundCall.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace BackgroundCall {
std::atomic<int>& pendingCounter()
{
    static std::atomic<int> counter{0};
    return counter;
}

namespace {
struct Line {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool workerStarted = false;
};
Line& line()
{
    // Never destroyed: the detached worker may still wait on it while the process ends.
    static Line* instance = new Line;
    return *instance;
}
}  // namespace

void enqueueInLine(std::function<void()> job)
{
    Line& l = line();
    std::lock_guard<std::mutex> lock(l.mutex);
    l.jobs.push_back(std::move(job));
    if (!l.workerStarted) {
        l.workerStarted = true;
        std::thread([&l] {
            for (;;) {
                std::function<void()> next;
                {
                    std::unique_lock<std::mutex> wait(l.mutex);
                    l.wake.wait(wait, [&l] { return !l.jobs.empty(); });
                    next = std::move(l.jobs.front());
                    l.jobs.pop_front();
                }
                next();
            }
        }).detach();
    }
    l.wake.notify_one();
}
}  // namespace BackgroundCall
