#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include "app/UpdateChecker.h"
#include "platform/Settings.h"
#include "support/FakeClock.h"

namespace {

// A web site on the loopback interface that answers every request with one canned reply, or never.
class CannedSite : public QObject {
public:
    CannedSite()
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    if (!m_request.contains("\r\n\r\n")) return;
                    paths << QString::fromLatin1(m_request.split(' ').value(1));
                    m_request.clear();
                    // Silent: the client has to give up by itself.
                    if (m_reply.isEmpty() || (answerLimit >= 0 && m_answered >= answerLimit)) return;
                    ++m_answered;
                    socket->write(m_reply);
                    socket->disconnectFromHost();
                });
            }
        });
    }
    void reply(int status, const QByteArray& body)
    {
        m_reply = "HTTP/1.1 " + QByteArray::number(status) +
                  " X\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
                  "\r\nConnection: close\r\n\r\n" + body;
    }
    void silent() { m_reply.clear(); }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort())); }

    QStringList paths;
    int answerLimit = -1;  // requests answered before the site falls silent; -1: all

private:
    int m_answered = 0;
    QTcpServer m_server;
    QByteArray m_request;
    QByteArray m_reply;
};

class UpdateCheckerTest : public ::testing::Test {
protected:
    UpdateCheckerTest()
    {
        network.setProxy(QNetworkProxy::NoProxy);
        QCoreApplication::setApplicationVersion(QStringLiteral("1.9"));
    }
    ~UpdateCheckerTest() override { QCoreApplication::setApplicationVersion(QString()); }

    std::unique_ptr<UpdateChecker> make()
    {
        auto checker = std::make_unique<UpdateChecker>(network, settings, clock, site.url());
        checker->setTransferTimeout(300);
        return checker;
    }
    // Runs one check to its end.
    void checkOnce(UpdateChecker& checker)
    {
        QSignalSpy done(&checker, &UpdateChecker::isCheckingChanged);
        checker.check();
        ASSERT_TRUE(checker.isChecking());
        ASSERT_TRUE(done.wait(5000));
        ASSERT_FALSE(checker.isChecking());
    }
    // Whether the launch check sends a request (the site answers 404, which leaves no record).
    bool launchChecks()
    {
        site.reply(404, "");
        auto checker = make();
        QSignalSpy done(checker.get(), &UpdateChecker::isCheckingChanged);
        checker->checkIfDue();
        if (!checker->isChecking()) return false;
        EXPECT_TRUE(done.wait(5000));
        return true;
    }

    CannedSite site;
    QNetworkAccessManager network;
    FakeClock clock;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
};

TEST(UpdateVersions, NumericComparison)
{
    auto newer = [](const char* a, const char* b) { return UpdateChecker::compareVersions(a, b) > 0; };
    EXPECT_TRUE(newer("1.10", "1.9"));
    EXPECT_TRUE(newer("2", "1.9"));
    EXPECT_FALSE(newer("1.9", "1.9"));
    EXPECT_FALSE(newer("1.8.7", "1.9"));
    EXPECT_TRUE(newer("1.2.0", "1.2"));
    EXPECT_TRUE(newer("1.2a", "1.2"));
    EXPECT_FALSE(newer("1.1.9", "1.2"));
    EXPECT_TRUE(newer("1.0", "0"));
    EXPECT_EQ(UpdateChecker::compareVersions("1.02", "1.2"), 0);
    EXPECT_TRUE(newer("1.100000000000000000000", "1.99999999999999999999"));
    EXPECT_TRUE(newer("1.2b", "1.2B"));
}

TEST_F(UpdateCheckerTest, AReplyOf200IsReadAndRecorded)
{
    settings.setValue(QStringLiteral("update.latestKnownVersion"), QStringLiteral("1.5"));
    auto checker = make();
    EXPECT_EQ(checker->latestVersion(), QStringLiteral("1.5"));
    EXPECT_FALSE(checker->updateAvailable());
    EXPECT_EQ(checker->releasesURL(), site.url().resolved(QUrl(QStringLiteral("/releases"))));

    site.reply(200, R"({"latestVersion": "1.10", "notes": "ignored"})");
    checkOnce(*checker);
    EXPECT_EQ(site.paths, QStringList{QStringLiteral("/updates.json")});
    EXPECT_EQ(checker->latestVersion(), QStringLiteral("1.10"));
    EXPECT_TRUE(checker->updateAvailable());
    EXPECT_EQ(settings.stringValue(QStringLiteral("update.latestKnownVersion")), QStringLiteral("1.10"));
    EXPECT_EQ(settings.dateValue(QStringLiteral("update.lastCheckedAt")), clock.now());

    // An older manifest is taken as it stands; it just announces nothing.
    site.reply(200, R"({"latestVersion": "1.8.7"})");
    checkOnce(*checker);
    EXPECT_EQ(checker->latestVersion(), QStringLiteral("1.8.7"));
    EXPECT_FALSE(checker->updateAvailable());

    // Undecodable manifests change no version but still count as a check.
    for (const QByteArray body : {QByteArray(R"({"latestVersion": 2})"), QByteArray(R"({"version": "3"})"),
                                  QByteArray("<html>not json</html>")}) {
        clock.advanceSeconds(60);
        site.reply(200, body);
        checkOnce(*checker);
        EXPECT_EQ(checker->latestVersion(), QStringLiteral("1.8.7")) << body.constData();
        EXPECT_EQ(settings.dateValue(QStringLiteral("update.lastCheckedAt")), clock.now()) << body.constData();
    }
}

TEST_F(UpdateCheckerTest, WithoutA200ReplyNothingIsRecorded)
{
    auto checker = make();
    site.reply(404, "");
    checkOnce(*checker);
    site.reply(503, R"({"latestVersion": "9"})");
    checkOnce(*checker);
    site.silent();
    checkOnce(*checker);  // gives up after the transfer time-out
    EXPECT_EQ(site.paths.size(), 3);

    // Nobody listening at all.
    QTcpServer gone;
    ASSERT_TRUE(gone.listen(QHostAddress::LocalHost));
    const QUrl closed(QStringLiteral("http://127.0.0.1:%1").arg(gone.serverPort()));
    gone.close();
    UpdateChecker nowhere(network, settings, clock, closed);
    checkOnce(nowhere);

    EXPECT_FALSE(checker->latestVersion());
    EXPECT_FALSE(settings.contains(QStringLiteral("update.latestKnownVersion")));
    EXPECT_FALSE(settings.contains(QStringLiteral("update.lastCheckedAt")));
}

TEST_F(UpdateCheckerTest, OverlappingChecksStayBusyUntilTheLastEnds)
{
    auto checker = make();
    checker->setTransferTimeout(1000);
    site.reply(200, R"({"latestVersion": "2.0"})");
    site.answerLimit = 1;
    QSignalSpy busy(checker.get(), &UpdateChecker::isCheckingChanged);
    QSignalSpy answered(checker.get(), &UpdateChecker::latestVersionChanged);
    checker->check();
    checker->check();
    ASSERT_TRUE(answered.wait(5000));
    EXPECT_TRUE(checker->isChecking());  // the second request is still waiting
    ASSERT_TRUE(busy.wait(5000));
    EXPECT_FALSE(checker->isChecking());
    EXPECT_EQ(busy.size(), 2);
}

TEST_F(UpdateCheckerTest, LaunchChecksOnceADayWhenSwitchedOn)
{
    const QString lastChecked = QStringLiteral("update.lastCheckedAt");
    const QString automatic = QStringLiteral("update.checkAutomatically");
    EXPECT_TRUE(launchChecks());  // never checked

    settings.setValue(lastChecked, clock.now().addSecs(-86399));
    EXPECT_FALSE(launchChecks());
    settings.setValue(lastChecked, clock.now().addSecs(-86400));
    EXPECT_TRUE(launchChecks());
    settings.setValue(lastChecked, clock.now().addSecs(3600));
    EXPECT_FALSE(launchChecks());
    settings.setValue(lastChecked, QStringLiteral("yesterday"));
    EXPECT_TRUE(launchChecks());

    settings.setValue(automatic, QStringLiteral("no"));  // not a Boolean: still on
    EXPECT_TRUE(launchChecks());
    settings.setValue(automatic, false);
    EXPECT_FALSE(launchChecks());

    // Asking by hand checks whatever the automatic setting says.
    site.reply(200, R"({"latestVersion": "2.0"})");
    auto checker = make();
    checkOnce(*checker);
    EXPECT_EQ(checker->latestVersion(), QStringLiteral("2.0"));
}

}  // namespace
