#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <thread>

// Blocking calls that may wait on the user (a keyring that prompts for a password, is locked or has
// no default collection) run here, each on a thread of its own, so the main thread never waits for
// them. The result is handed to `context` on the main thread, unless `context` is gone by then.
// The threads are detached: a call that never returns holds up neither the event loop nor the exit
// (main ends the process without waiting when pending() is not zero).
namespace BackgroundCall {

std::atomic<int>& pendingCounter();
inline int pending()
{
    return pendingCounter().load();
}

// Hands a finished result to `done` on the main thread (through the application object, which
// outlives every receiver), unless `receiver` is gone by then.
template <typename R>
void deliver(QPointer<QObject> receiver, std::function<void(R)> done, R result)
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app,
            [receiver, done = std::move(done), result = std::move(result)]() mutable {
                --pendingCounter();
                if (receiver) done(std::move(result));
            },
            Qt::QueuedConnection);
    } else {
        --pendingCounter();
    }
}

// Queues a job for the one worker that runs jobs in line, one after another (a keyring that
// prompts must see one call at a time from the whole application).
void enqueueInLine(std::function<void()> job);

template <typename R>
void run(QObject* context, std::function<R()> work, std::function<void(R)> done)
{
    ++pendingCounter();
    std::thread([receiver = QPointer<QObject>(context), work = std::move(work), done = std::move(done)]() mutable {
        R result = work();
        deliver<R>(receiver, std::move(done), std::move(result));
    }).detach();
}

// Like run(), except that the calls made through runInLine() run one after another on a single
// worker thread of their own, in the order they were asked for.
template <typename R>
void runInLine(QObject* context, std::function<R()> work, std::function<void(R)> done)
{
    ++pendingCounter();
    enqueueInLine([receiver = QPointer<QObject>(context), work = std::move(work), done = std::move(done)]() mutable {
        R result = work();
        deliver<R>(receiver, std::move(done), std::move(result));
    });
}

}  // namespace BackgroundCall
