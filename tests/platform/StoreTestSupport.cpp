#include "StoreTestSupport.h"

#include <sqlite3.h>

#include "platform/SqliteDatabase.h"

namespace storetest {

const EntityDescription& Sample::entityDescription()
{
    using T = AttributeType;
    static const EntityDescription e{QStringLiteral("Sample"),
                                     {{QStringLiteral("uuid"), T::Uuid},
                                      {QStringLiteral("name"), T::String, false, QStringLiteral("unnamed")},
                                      {QStringLiteral("flag"), T::Bool, false, true},
                                      {QStringLiteral("count"), T::Int},
                                      {QStringLiteral("ratio"), T::Double, false, 1.5},
                                      {QStringLiteral("when"), T::Date},
                                      {QStringLiteral("bytes"), T::Data},
                                      {QStringLiteral("tags"), T::StringList},
                                      {QStringLiteral("link"), T::Url},
                                      {QStringLiteral("optName"), T::String, true},
                                      {QStringLiteral("optBytes"), T::Data, true},
                                      {QStringLiteral("optWhen"), T::Date, true},
                                      {QStringLiteral("optLink"), T::Url, true},
                                      {QStringLiteral("optCount"), T::Int, true}},
                                     [] { return new Sample; }};
    return e;
}

const EntityDescription& Other::entityDescription()
{
    static const EntityDescription e{
        QStringLiteral("Other"),
        {{QStringLiteral("uuid"), AttributeType::Uuid}, {QStringLiteral("label"), AttributeType::String}},
        [] { return new Other; }};
    return e;
}

Schema sampleSchema()
{
    return Schema{QStringLiteral("1.0.0"), {&Sample::entityDescription(), &Other::entityDescription()}};
}

QStringList query(const QString& path, const QString& sql)
{
    QStringList out;
    sqlite3* db = nullptr;
    sqlite3_stmt* s = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK) out << QStringLiteral("ERROR");
    while (s && sqlite3_step(s) == SQLITE_ROW)
        out << (sqlite3_column_type(s, 0) == SQLITE_NULL
                    ? QStringLiteral("NULL")
                    : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0))));
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
}

}  // namespace storetest

bool ModelContainerTesting::exec(ModelContainer& container, const QString& sql)
{
    return bool(container.m_db->exec(sql.toUtf8()));
}
