#pragma once

#include <QByteArray>
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
