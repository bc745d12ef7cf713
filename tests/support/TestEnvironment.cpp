#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutex>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>

#include "platform/Log.h"
#include "platform/Settings.h"

namespace tarnwick::test {

namespace {
std::unique_ptr<QTemporaryDir> g_root;
QElapsedTimer g_started;

QString sub(const char* name)
{
    return g_root ? g_root->filePath(QString::fromLatin1(name)) : QString();
}
}  // namespace

void TestEnvironment::setUp()
{
    g_started.start();
    g_root = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tarnwick-test-XXXXXX"));
    const char* names[] = {"home", "config", "data", "runtime", "cache"};
    for (const char* n : names) QDir().mkpath(sub(n));
    QFile::setPermissions(sub("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", sub("home").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", sub("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", sub("data").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", sub("cache").toLocal8Bit());
    // Applications the tests launch inherit this config home.
    writeOfflineSettings(sub("config"));
    // The integration session provides its own runtime dir (the keyring and the bus live there).
    if (!integration()) qputenv("XDG_RUNTIME_DIR", sub("runtime").toLocal8Bit());
}

void TestEnvironment::tearDown()
{
    g_root.reset();
}

QString TestEnvironment::home()
{
    return sub("home");
}
QString TestEnvironment::configHome()
{
    return sub("config");
}
QString TestEnvironment::dataHome()
{
    return sub("data");
}
QString TestEnvironment::runtimeDir()
{
    return QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
}
void TestEnvironment::writeOfflineSettings(const QString& configHome)
{
    Settings settings(std::make_unique<FileSettingsBackend>(configHome + QStringLiteral("/tarnwick/settings.json")));
    settings.setValue(QStringLiteral("update.checkAutomatically"), false);
    // Past the first-run tour: a launched application opens no tour over what a test looks at.
    settings.setValue(QStringLiteral("onboarding.completed"), true);
}

bool TestEnvironment::integration()
{
    return qEnvironmentVariableIsSet("TARNWICK_INTEGRATION");
}

QDeadlineTimer TestEnvironment::setUpDeadline()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("TARNWICK_TEST_TIMEOUT", &ok);
    const qint64 limitMs = (ok && seconds > 0 ? seconds : 300) * qint64(1000);
    qint64 spentMs = g_started.isValid() ? g_started.elapsed() : 0;
    // The session's own start-up (up to a minute and a half on a loaded machine) counts against the limit.
    const qint64 sessionStartedMs = qgetenv("TARNWICK_SESSION_STARTED_MS").toLongLong(&ok);
    if (ok) spentMs = std::max(spentMs, QDateTime::currentMSecsSinceEpoch() - sessionStartedMs);
    return QDeadlineTimer(std::max<qint64>(0, limitMs * 4 / 5 - spentMs));
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << qPrintable(path);
}

LogCapture::LogCapture()
{
    Log::startCapture();
}
LogCapture::~LogCapture()
{
    Log::stopCapture();
}
QStringList LogCapture::lines() const
{
    return Log::capturedLines();
}

QStringList LogCapture::lines(const QString& category) const
{
    QStringList out;
    const QString prefix = category + QStringLiteral(": ");
    for (const QString& l : Log::capturedLines())
        if (l.startsWith(prefix)) out << l.mid(prefix.size());
    return out;
}

bool LogCapture::contains(const QString& fragment) const
{
    return count(fragment) > 0;
}

int LogCapture::count(const QString& fragment) const
{
    int n = 0;
    for (const QString& l : Log::capturedLines())
        if (l.contains(fragment)) ++n;
    return n;
}

void LogCapture::clear()
{
    Log::clearCaptured();
}

}  // namespace tarnwick::test
