#pragma once

#include <QDeadlineTimer>
#include <condition_variable>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Runs `work` on a thread of its own and waits for it no longer than `deadline`: a call into another
// process that does not answer (or a connection that never completes) cannot hold the caller up.
// Nothing comes back when the work did not finish in time; its thread is left to end by itself and
// its result is dropped, so `work` must own everything it touches.
template <typename T>
std::optional<T> runWithin(QDeadlineTimer deadline, std::function<T()> work)
{
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<T> result;
        bool finished = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)] {
        std::optional<T> result(work());
        const std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        shared->finished = true;
        shared->done.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    const qint64 wait = deadline.isForever() ? std::numeric_limits<int>::max() : deadline.remainingTime();
    shared->done.wait_for(lock, std::chrono::milliseconds(wait), [&] { return shared->finished; });
    if (!shared->finished) return std::nullopt;
    return std::move(shared->result);
}
