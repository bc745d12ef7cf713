// The real selection reader against an X server: another client owns PRIMARY, another window is active.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

#include "capture/CaptureService.h"
#include "platform/X11SelectionReader.h"
#include "support/TestEnvironment.h"

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

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
    // xclip owns PRIMARY with the text until it is killed.
    void ownSelection(Child& owner, const QByteArray& text)
    {
        owner.process.start("xclip", {"-quiet", "-selection", "primary", "-i"});
        ASSERT_TRUE(owner.process.waitForStarted());
        owner.process.write(text);
        owner.process.closeWriteChannel();
        ASSERT_TRUE(QTest::qWaitFor([&] { return bool(reader.selectedText()); }, 10000));
    }
    X11SelectionReader reader{5000};
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
        Child owner;
        const QString text = "Grüße \u2014 selected\n  text ";
        ownSelection(owner, text.toUtf8());
        const auto active = reader.activeWindow();
        ASSERT_TRUE(active);
        EXPECT_EQ(active->className, "Xmessage");
        EXPECT_EQ(active->instanceName, "xmessage");
        EXPECT_EQ(active->pid, pid);

        const auto context = CaptureService::readSelection(reader);
        ASSERT_TRUE(context);
        EXPECT_EQ(context->text, text);
        EXPECT_EQ(context->sourceApp, "Xmessage");
    }
    {
        // Larger than one request: the owner hands it over in pieces.
        Child owner;
        const QByteArray big(6 << 20, 'x');
        ownSelection(owner, big);
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
}

}  // namespace
