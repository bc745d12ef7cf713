#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QTest>

#include "platform/QuitOnSignal.h"

// A main thread stuck outside its event loop (a call waiting on the user) must not keep SIGTERM
// from ending the process.
TEST(QuitOnSignal, EndsTheProcessWhenTheMainThreadNeverReturnsToItsLoop)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        QuitOnSignal::install();
        for (;;) ::sleep(60);  // never back to the loop
    }
    QTest::qWait(200);
    QElapsedTimer timer;
    timer.start();
    ::kill(child, SIGTERM);
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(child, &status, WNOHANG)) == 0 && timer.elapsed() < 15000) QTest::qWait(50);
    if (done == 0) ::kill(child, SIGKILL);
    ASSERT_EQ(done, child) << "still running after SIGTERM";
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_LT(timer.elapsed(), 10000);
}
