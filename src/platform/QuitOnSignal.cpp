#include "platform/QuitOnSignal.h"

#include <fcntl.h>
#include <semaphore.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <thread>

namespace {
int g_pipe[2] = {-1, -1};
sem_t g_signalled;
std::atomic<bool> g_loopEnded{false};
// Long enough for any ordinary event to finish; only a main thread that waits on something outside
// the process takes longer.
constexpr int kGraceSeconds = 3;

// Only async-signal-safe work here: one byte down the pipe for the event loop, one post for the
// watchdog.
void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    sem_post(&g_signalled);
    errno = saved;
}

void endEventLoops()
{
    // exit() rather than quit(): a window that refuses to close must not keep the application up, and
    // every loop (a dialog's too) ends, not only the innermost one.
    QCoreApplication::exit(0);
    // Also when this runs in a nested loop before the main loop has begun: the main loop takes this
    // call first and ends at once.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void watchdog()
{
    while (sem_wait(&g_signalled) != 0) {
    }
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += kGraceSeconds;
    // Further signals while the loop winds down change nothing.
    while (!g_loopEnded.load()) {
        if (sem_timedwait(&g_signalled, &deadline) != 0 && errno == ETIMEDOUT) break;
    }
    if (g_loopEnded.load()) return;
    static const char message[] = "Tarnwick: ending without waiting for a call that did not return.\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(0);
}
}  // namespace

namespace QuitOnSignal {
void install()
{
    if (g_pipe[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) return;
    sem_init(&g_signalled, 0, 0);
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char buffer[16];
        while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
        }
        endEventLoops();
    });
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] { g_loopEnded = true; });
    std::thread(watchdog).detach();
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}
}  // namespace QuitOnSignal
