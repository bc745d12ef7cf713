#include "StoreTestSupport.h"

#include <signal.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QProcess>

#include "platform/SqliteDatabase.h"

namespace storetest {

const EntityDescription& Sample::entityDescription()
{
    using T = AttributeType;
    static const EntityDescription e{"Sample",
                                     {{"uuid", T::Uuid},
                                      {"name", T::String, false, "unnamed"},
                                      {"flag", T::Bool, false, true},
                                      {"count", T::Int},
                                      {"ratio", T::Double, false, 1.5},
                                      {"when", T::Date},
                                      {"bytes", T::Data},
                                      {"tags", T::StringList},
                                      {"link", T::Url},
                                      {"optName", T::String, true},
                                      {"optBytes", T::Data, true},
                                      {"optWhen", T::Date, true},
                                      {"optLink", T::Url, true},
                                      {"optCount", T::Int, true}},
                                     [] { return new Sample; }};
    return e;
}

const EntityDescription& Other::entityDescription()
{
    static const EntityDescription e{
        "Other", {{"uuid", AttributeType::Uuid}, {"label", AttributeType::String}}, [] { return new Other; }};
    return e;
}

Schema sampleSchema()
{
    return Schema{"1.0.0", {&Sample::entityDescription(), &Other::entityDescription()}};
}

QStringList query(const QString& path, const QString& sql)
{
    QStringList out;
    sqlite3* db = nullptr;
    sqlite3_stmt* s = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK) out << "ERROR";
    while (s && sqlite3_step(s) == SQLITE_ROW)
        out << (sqlite3_column_type(s, 0) == SQLITE_NULL
                    ? "NULL"
                    : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0))));
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
}

qint64 runChildUntilKilled(const QString& childTest, const QString& variable, const QString& path, qint64 atLeast)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(variable, path);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=" + childTest});
    if (!child.waitForStarted()) return -1;
    qint64 last = -1;
    QByteArray output;
    while (last < atLeast && child.state() == QProcess::Running) {
        child.waitForReadyRead(5000);
        output += child.readAllStandardOutput();
        const qsizetype end = output.lastIndexOf('\n');
        if (end < 0) continue;
        for (const QByteArray& line : output.left(end).split('\n')) {
            bool number = false;
            const qint64 n = line.toLongLong(&number);
            if (number) last = std::max(last, n);
        }
        output = output.mid(end + 1);
    }
    ::kill(pid_t(child.processId()), SIGKILL);
    child.waitForFinished();
    return last;
}

void reportToParent(qint64 number)
{
    fprintf(stdout, "%lld\n", static_cast<long long>(number));
    fflush(stdout);
}

}  // namespace storetest

bool ModelContainerTesting::exec(ModelContainer& container, const QString& sql)
{
    return bool(container.m_db->exec(sql.toUtf8()));
}

void ModelContainerTesting::setBusyTimeout(ModelContainer& container, int ms)
{
    sqlite3_busy_timeout(container.m_db->handle(), ms);
}
