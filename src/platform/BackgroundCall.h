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

template <typename R>
void run(QObject* context, std::function<R()> work, std::function<void(R)> done)
{
    ++pendingCounter();
    std::thread([receiver = QPointer<QObject>(context), work = std::move(work), done = std::move(done)]() mutable {
        R result = work();
        // Delivered through the application object, which outlives every receiver; the receiver is
        // checked on the main thread, where it is deleted.
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
    }).detach();
}

}  // namespace BackgroundCall
