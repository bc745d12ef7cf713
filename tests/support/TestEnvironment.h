#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

namespace tarnwick::test {

// The throw-away directories every test process runs in. Created before QApplication, removed at exit.
struct TestEnvironment {
    static void setUp();
    static void tearDown();
    static QString home();
    static QString configHome();
    static QString dataHome();
    static QString runtimeDir();
    // True when this process runs inside the integration desktop session (X server, session bus).
    static bool integration();
    // How long a test's set-up may still wait for what it needs (a helper, an owner on the X server):
    // until the program's time limit (TARNWICK_TEST_TIMEOUT, 300 s when unset) runs out, counted from
    // the start of its desktop session, less a fifth kept to report the failure and end the session.
    static QDeadlineTimer setUpDeadline();
    // Settings for an application launched by a test: no automatic update check, so no test ever
    // sends a request off this machine, and the first-run tour already done. Merged into the settings
    // file under `configHome`.
    static void writeOfflineSettings(const QString& configHome);
};

// The bytes of the file at `path`, or "<missing>" when it cannot be read.
QByteArray readFile(const QString& path);
// Writes `bytes` to `path`, making its folder first; a failure fails the running test.
void writeFile(const QString& path, const QByteArray& bytes);

// Collects the lines written to the application's logging categories while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const;
    // Lines of one category ("store", "privacy", ...), each as written.
    QStringList lines(const QString& category) const;
    bool contains(const QString& fragment) const;
    int count(const QString& fragment) const;
    void clear();
};

}  // namespace tarnwick::test
