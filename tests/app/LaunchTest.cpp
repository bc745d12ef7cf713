#include <gtest/gtest.h>

#include <QMap>
#include <QProcess>

namespace {

struct Outcome {
    QProcess::ExitStatus status;
    int code;
    QString stderrText;
};

Outcome launch(const QMap<QString, QString>& set, const QStringList& unset)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : unset) env.remove(name);
    for (auto it = set.begin(); it != set.end(); ++it) env.insert(it.key(), it.value());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitStatus(), process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

// Without a usable display the application must explain and exit, not abort inside Qt.
TEST(Launch, WithoutADisplayExitsWithAMessage)
{
    const QStringList displayVariables = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    const Outcome none = launch({}, displayVariables);
    EXPECT_EQ(none.status, QProcess::NormalExit);
    EXPECT_NE(none.code, 0);
    EXPECT_TRUE(none.stderrText.contains("neither DISPLAY nor WAYLAND_DISPLAY is set"))
        << none.stderrText.toStdString();

    // A display that names no running X server.
    const Outcome dead = launch({{"DISPLAY", ":4711"}}, displayVariables);
    EXPECT_EQ(dead.status, QProcess::NormalExit);
    EXPECT_NE(dead.code, 0);
    EXPECT_TRUE(dead.stderrText.contains("cannot open the X display \":4711\"")) << dead.stderrText.toStdString();
}

}  // namespace
