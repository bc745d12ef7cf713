#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "platform/Settings.h"
#include "settings/UpdateChecker.h"
#include "support/FakeClock.h"

namespace {

// A web site on the loopback interface: answers `answers` requests with one canned reply, then none.
struct CannedSite : QTcpServer {
    CannedSite()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, [this, socket] {
                if (!socket->peek(4096).contains("\r\n\r\n")) return;
                paths << QString::fromLatin1(socket->readAll().split(' ').value(1));
                if (answers-- > 0) socket->write(reply), socket->disconnectFromHost();
            });
        });
    }
    void answer(int status, const QByteArray& body, int times = 1000)
    {
        reply = "HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: " + QByteArray::number(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body;
        answers = times;
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(serverPort())); }
    QByteArray reply;
    int answers = 0;
    QStringList paths;
};

class UpdateCheckerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Built for a distribution package: the checks below never make a request (the last test).
        if (!UpdateChecker::builtWithUpdateCheck() &&
            !QString(::testing::UnitTest::GetInstance()->current_test_info()->name()).startsWith("Never"))
            GTEST_SKIP() << "built without the update check";
    }
    UpdateCheckerTest()
    {
        network.setProxy(QNetworkProxy::NoProxy);
        QCoreApplication::setApplicationVersion("1.9");
        checker.setTransferTimeout(300);
    }
    ~UpdateCheckerTest() override { QCoreApplication::setApplicationVersion(QString()); }

    // Runs the check to its end; false when none was started.
    bool run(void (UpdateChecker::*check)())
    {
        QSignalSpy busy(&checker, &UpdateChecker::isCheckingChanged);
        (checker.*check)();
        if (!checker.isChecking()) return false;
        EXPECT_TRUE(busy.wait(5000));
        return true;
    }
    QVariant stored(const char* key) const { return settings.storedValue(QString::fromLatin1(key)); }

    CannedSite site;
    QNetworkAccessManager network;
    FakeClock clock;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    UpdateChecker checker{network, settings, clock, site.url()};
};

TEST(UpdateVersions, DigitRunsCompareByValue)
{
    auto newer = [](const char* a, const char* b) { return UpdateChecker::compareVersions(a, b) > 0; };
    EXPECT_TRUE(newer("1.10", "1.9") && newer("2", "1.9") && newer("1.2.0", "1.2") && newer("1.2a", "1.2"));
    EXPECT_FALSE(newer("1.9", "1.9") || newer("1.8.7", "1.9") || newer("1.1.9", "1.2") || newer("1.2B", "1.2b"));
    EXPECT_TRUE(newer("1.100000000000000000000", "1.99999999999999999999"));
}

TEST_F(UpdateCheckerTest, OnlyA200ReplyIsReadAndRecorded)
{
    for (int status : {404, 503}) {
        site.answer(status, R"({"latestVersion": "9"})");
        EXPECT_TRUE(run(&UpdateChecker::check));
    }
    site.answer(200, "", 0);  // no reply: the transfer times out
    EXPECT_TRUE(run(&UpdateChecker::check));
    EXPECT_EQ(site.paths, QStringList(3, "/updates.json"));
    EXPECT_FALSE(checker.latestVersion() || stored("update.lastCheckedAt").isValid());

    site.answer(200, R"({"latestVersion": "1.10", "other": 1})");
    EXPECT_TRUE(run(&UpdateChecker::check));
    EXPECT_TRUE(checker.updateAvailable());
    EXPECT_EQ(stored("update.latestKnownVersion"), "1.10");
    EXPECT_EQ(stored("update.lastCheckedAt"), clock.now());
    // Taken as it stands even when older; then nothing is announced.
    site.answer(200, R"({"latestVersion": "1.8.7"})");
    EXPECT_TRUE(run(&UpdateChecker::check));
    EXPECT_EQ(UpdateChecker(network, settings, clock).latestVersion(), "1.8.7");
    EXPECT_FALSE(checker.updateAvailable());

    for (const char* body : {R"({"latestVersion": 2})", R"({"version": "3"})", "<html>"}) {
        clock.advanceSeconds(60);
        site.answer(200, body);
        EXPECT_TRUE(run(&UpdateChecker::check));
        EXPECT_EQ(checker.latestVersion(), "1.8.7") << body;
        EXPECT_EQ(stored("update.lastCheckedAt"), clock.now()) << body;
    }
}

TEST_F(UpdateCheckerTest, OversizedOrJunkManifestsAreNotTaken)
{
    auto manifest = [](const QString& version) { return QString(R"({"latestVersion": "%1"})").arg(version).toUtf8(); };
    EXPECT_EQ(UpdateChecker::decodeManifest(manifest(QString(64, u'9'))), QString(64, u'9'));
    const QByteArray padded = R"({"latestVersion": "2.0", "pad": ")" + QByteArray(70 * 1024, 'x') + R"("})";
    for (const QByteArray& junk : {manifest(QString(65, u'9')), manifest(R"(1.0\n)"), manifest(R"(1.0\u0007)"),
                                   manifest(R"(2.0\u202e)"), manifest(R"(\ud800)"), padded})
        EXPECT_FALSE(UpdateChecker::decodeManifest(junk)) << junk.left(60).toStdString();

    // A reply longer than any manifest is cut off, yet counts as the day's check.
    site.answer(200, R"({"latestVersion": "5.0", "pad": ")" + QByteArray(200 * 1024, 'x') + R"("})");
    EXPECT_TRUE(run(&UpdateChecker::check));
    EXPECT_FALSE(checker.latestVersion());
    EXPECT_EQ(stored("update.lastCheckedAt"), clock.now());
}

TEST_F(UpdateCheckerTest, OverlappingChecksStayBusyUntilTheLastEnds)
{
    site.answer(200, R"({"latestVersion": "2.0"})", 1);  // the second request gets no answer
    int stillRunning = -1;
    QObject::connect(&checker, &UpdateChecker::isCheckingChanged, [&] {
        const auto replies = network.findChildren<QNetworkReply*>();
        if (!checker.isChecking())
            stillRunning = int(std::count_if(replies.begin(), replies.end(), [](auto* r) { return r->isRunning(); }));
    });
    checker.check();
    EXPECT_TRUE(run(&UpdateChecker::check));
    EXPECT_EQ(checker.latestVersion(), "2.0");
    EXPECT_EQ(stillRunning, 0);
}

TEST_F(UpdateCheckerTest, LaunchChecksOnceADayWhenSwitchedOn)
{
    site.answer(404, "");
    EXPECT_TRUE(run(&UpdateChecker::checkIfDue));  // never checked
    const QString last = "update.lastCheckedAt";
    const std::pair<QVariant, bool> cases[] = {{clock.now().addSecs(-86399), false},
                                               {clock.now().addSecs(-86400), true},
                                               {clock.now().addSecs(3600), false},
                                               {"yesterday", true}};
    for (const auto& [value, due] : cases) {
        settings.setValue(last, value);
        EXPECT_EQ(run(&UpdateChecker::checkIfDue), due) << value.toString().toStdString();
    }
    settings.setValue("update.checkAutomatically", "no");  // not a Boolean: on
    EXPECT_TRUE(run(&UpdateChecker::checkIfDue));
    settings.setValue("update.checkAutomatically", false);
    EXPECT_FALSE(run(&UpdateChecker::checkIfDue));
    EXPECT_TRUE(run(&UpdateChecker::check));  // asking by hand still checks
}

TEST_F(UpdateCheckerTest, NeverAskedWhenBuiltWithoutTheCheck)
{
    if (UpdateChecker::builtWithUpdateCheck()) GTEST_SKIP() << "built with the update check";
    site.answer(200, R"({"latestVersion": "9"})");
    EXPECT_FALSE(run(&UpdateChecker::checkIfDue) || run(&UpdateChecker::check));
    QTest::qWait(100);
    EXPECT_TRUE(site.paths.isEmpty());
}

}  // namespace
