#include "StoreTestSupport.h"

#include "platform/SqliteDatabase.h"

namespace storetest {

const EntityDescription& Sample::entityDescription()
{
    static const EntityDescription e{
        QStringLiteral("Sample"),
        {
            {QStringLiteral("uuid"), AttributeType::Uuid},
            {QStringLiteral("name"), AttributeType::String, false, QStringLiteral("unnamed")},
            {QStringLiteral("flag"), AttributeType::Bool, false, true},
            {QStringLiteral("count"), AttributeType::Int},
            {QStringLiteral("ratio"), AttributeType::Double, false, 1.5},
            {QStringLiteral("when"), AttributeType::Date},
            {QStringLiteral("bytes"), AttributeType::Data},
            {QStringLiteral("tags"), AttributeType::StringList},
            {QStringLiteral("link"), AttributeType::Url},
            {QStringLiteral("optName"), AttributeType::String, true},
            {QStringLiteral("optBytes"), AttributeType::Data, true},
            {QStringLiteral("optWhen"), AttributeType::Date, true},
            {QStringLiteral("optLink"), AttributeType::Url, true},
            {QStringLiteral("optCount"), AttributeType::Int, true},
        },
        [] { return new Sample; }};
    return e;
}

const EntityDescription& Other::entityDescription()
{
    static const EntityDescription e{QStringLiteral("Other"),
                                     {
                                         {QStringLiteral("uuid"), AttributeType::Uuid},
                                         {QStringLiteral("label"), AttributeType::String},
                                     },
                                     [] { return new Other; }};
    return e;
}

Schema sampleSchema()
{
    return Schema{QStringLiteral("1.0.0"), {&Sample::entityDescription(), &Other::entityDescription()}};
}

RawDatabase::RawDatabase(const QString& path)
{
    sqlite3_open(path.toUtf8().constData(), &m_db);
}
RawDatabase::~RawDatabase()
{
    sqlite3_close(m_db);
}

QStringList RawDatabase::column(const QString& sql) const
{
    QStringList out;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK)
        return {QStringLiteral("ERROR")};
    while (sqlite3_step(s) == SQLITE_ROW) {
        if (sqlite3_column_type(s, 0) == SQLITE_NULL)
            out << QStringLiteral("NULL");
        else
            out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    }
    sqlite3_finalize(s);
    return out;
}

bool RawDatabase::exec(const QString& sql) const
{
    return sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace storetest

bool ModelContainerTesting::exec(ModelContainer& container, const QString& sql)
{
    return bool(container.m_db->exec(sql.toUtf8()));
}
