#pragma once

// Driving the desktop session from an integration test the way a user's tools would: xdotool for
// windows and keys, sqlite3 for the rows the application wrote.
#include <QHash>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTest>

namespace tarnwick::test {

// Runs a tool to its end (ten seconds at most) and returns what it printed, trimmed.
inline QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The first visible window whose name matches the pattern, or an empty string. A window that goes away
// while xdotool walks the tree (a capsule fading out) ends the search with an X error and no answer,
// as if nothing matched: the search is made again then.
inline QString visibleWindow(const QString& name)
{
    for (int attempt = 1;; ++attempt) {
        QProcess process;
        process.start("xdotool", {"search", "--onlyvisible", "--name", name});
        process.waitForFinished(10000);
        const QString found = QString::fromUtf8(process.readAllStandardOutput()).trimmed().section('\n', 0, 0);
        if (!found.isEmpty() || !process.readAllStandardError().contains("X Error") || attempt == 5) return found;
    }
}

inline QString waitForWindow(const QString& name, int ms = 15000)
{
    QString id;
    (void)QTest::qWaitFor([&] { return !(id = visibleWindow(name)).isEmpty(); }, ms);
    return id;
}

inline bool waitForNoWindow(const QString& name, int ms = 10000)
{
    return QTest::qWaitFor([&] { return visibleWindow(name).isEmpty(); }, ms);
}

// Presses keys in `window` as a user's own keys: once it has the keyboard, each press and release goes
// through the server's test keyboard to whatever holds the keyboard. False when the window never took the
// keyboard (nothing is pressed then). ("key --window W" sends the release to W itself: when W closes on the
// press, the release is lost and the key stays held down for the rest of the session.)
inline bool pressKeysIn(const QString& window, const QStringList& keys)
{
    run("xdotool", {"windowactivate", "--sync", window});
    if (!QTest::qWaitFor([&] { return run("xdotool", {"getactivewindow"}) == window; }, 10000)) return false;
    run("xdotool", QStringList{"key", "--clearmodifiers", "--delay", "100"} + keys);
    return true;
}

inline QRect geometryOf(const QString& window)
{
    const QString out = run("xdotool", {"getwindowgeometry", "--shell", window});
    QHash<QString, int> v;
    for (const QString& line : out.split('\n')) v[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    return {v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]};
}

// One query against a store file, as the sqlite3 tool prints its answer.
inline QString storeQuery(const QString& storeFile, const QString& query)
{
    return run("sqlite3", {storeFile, query});
}

}  // namespace tarnwick::test
