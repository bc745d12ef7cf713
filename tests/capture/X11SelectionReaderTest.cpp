// The real selection reader against an X server: another client owns PRIMARY, another window is active.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include "capture/CaptureService.h"
#include "platform/X11SelectionReader.h"
#include "support/DesktopDriver.h"
#include "support/SelectionOwner.h"
#include "support/TestEnvironment.h"

namespace {

using tarnwick::test::run;
using tarnwick::test::SelectionOwner;

// A process that ends with the test.
struct Child {
    QProcess process;
    ~Child()
    {
        process.kill();
        process.waitForFinished(5000);
    }
};

class X11SelectionReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!tarnwick::test::TestEnvironment::integration()) GTEST_SKIP() << "needs the desktop session";
        ASSERT_TRUE(reader.isAvailable());
    }
    // Generous limits: the owner's thread on a loaded machine is slow to answer.
    X11SelectionReader reader{{3000, 5000, qsizetype(16) << 20}};
};

TEST_F(X11SelectionReaderTest, ReadsTheSelectionAndTheActiveWindowOfOtherClients)
{
    Child window;
    window.process.start("xmessage", {"capture source"});
    ASSERT_TRUE(window.process.waitForStarted());
    const QString id = run("xdotool", {"search", "--sync", "--class", "Xmessage"}).section(u'\n', 0, 0);
    ASSERT_FALSE(id.isEmpty());
    const qint64 pid = window.process.processId();
    // Toolkits that do not announce their pid get it from us, so the test does not hang on one.
    run("xprop", {"-id", id, "-f", "_NET_WM_PID", "32c", "-set", "_NET_WM_PID", QString::number(pid)});
    run("xdotool", {"windowactivate", "--sync", id});

    {
        const QString text = "Grüße \u2014 selected\n  text ";
        SelectionOwner owner(text.toUtf8());
        ASSERT_TRUE(owner.owns()) << qPrintable(owner.failure());
        const auto active = reader.activeWindow();
        ASSERT_TRUE(active);
        EXPECT_EQ(active->className, "Xmessage");
        EXPECT_EQ(active->instanceName, "xmessage");
        EXPECT_EQ(active->pid, pid);
        // Its place is the client window's, inside the frame the window manager drew around it.
        const QString info = run("xwininfo", {"-id", id});
        const auto field = [&](const char* label) {
            return info.section(QLatin1String(label), 1).section(u'\n', 0, 0).trimmed().toInt();
        };
        EXPECT_EQ(active->geometry, QRect(field("Absolute upper-left X:"), field("Absolute upper-left Y:"),
                                          field("Width:"), field("Height:")));

        const auto context = CaptureService::readSelection(reader);
        ASSERT_TRUE(context);
        EXPECT_EQ(context->text, text);
        EXPECT_EQ(context->sourceApp, "Xmessage");

        // A window named at length is read only in part.
        run("xprop", {"-id", id, "-f", "_NET_WM_NAME", "8u", "-set", "_NET_WM_NAME", QString(100 * 1024, u'n')});
        const auto named = reader.activeWindow();
        ASSERT_TRUE(named);
        EXPECT_GT(named->title.size(), 16 * 1024);
        EXPECT_LE(named->title.size(), 65 * 1024);
        // So is a window class of that length.
        run("xprop", {"-id", id, "-f", "WM_CLASS", "8s", "-set", "WM_CLASS", QString(100 * 1024, u'c')});
        const auto classed = reader.activeWindow();
        ASSERT_TRUE(classed);
        EXPECT_GT(classed->instanceName.size(), 16 * 1024);
        EXPECT_LE(classed->instanceName.size() + classed->className.size(), 65 * 1024);
    }
    {
        // Larger than one request: the owner hands it over in pieces.
        const QByteArray big(6 << 20, 'x');
        SelectionOwner owner(big);
        ASSERT_TRUE(owner.owns()) << qPrintable(owner.failure());
        const auto text = reader.selectedText();
        ASSERT_TRUE(text);
        EXPECT_EQ(text->size(), big.size());
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto text = reader.selectedText();
            return !text && text.error() == SelectionReader::Failure::noOwner;
        },
        10000));
    EXPECT_EQ(CaptureService::readSelection(reader)->text, QString()) << "no owner: nothing selected";
}

TEST_F(X11SelectionReaderTest, SilentOversizedAndOwnSelectionsAreRefusedWithoutHanging)
{
    {
        // A generous answer time: a loaded machine must not turn the refusal into a timeout.
        X11SelectionReader capped{{10000, 10000, qsizetype(16) << 20}};
        SelectionOwner owner(QByteArray((16 << 20) + 1, 'x'));
        ASSERT_TRUE(owner.owns()) << qPrintable(owner.failure());
        const auto text = capped.selectedText();
        ASSERT_FALSE(text);
        EXPECT_EQ(text.error(), SelectionReader::Failure::tooLarge);
    }
    SelectionOwner silent({}, SelectionOwner::Answers::never);
    ASSERT_TRUE(silent.owns()) << qPrintable(silent.failure());
    X11SelectionReader standard;
    QElapsedTimer timer;
    timer.start();
    const auto text = standard.selectedText();
    ASSERT_FALSE(text);
    EXPECT_EQ(text.error(), SelectionReader::Failure::timedOut);
    // Half a second is the reader's answer time; the bound is only against waiting on without end.
    EXPECT_LT(timer.elapsed(), 5000) << "the main thread waited on a silent owner";

    // The owner is one of our own windows: we would wait on ourselves.
    X11SelectionReader own{{}, [&](quint32 w) { return w == silent.window(); }};
    timer.restart();
    EXPECT_EQ(own.selectedText().error(), SelectionReader::Failure::ownSelection);
    EXPECT_LT(timer.elapsed(), 5000) << "the reader waited on its own window";
}

}  // namespace
