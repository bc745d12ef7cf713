#include <gtest/gtest.h>

#include <limits>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "platform/Settings.h"
#include "support/TestEnvironment.h"

namespace {

QJsonObject jsonOf(const QString& path)
{
    return QJsonDocument::fromJson(tarnwick::test::readFile(path)).object();
}

TEST(Settings, StoredValueWinsOverRegisteredDefaultAndTypesSurvive)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tarnwick/settings.json");
    {
        Settings s(std::make_unique<FileSettingsBackend>(path));
        s.registerDefaults({{"a.bool", true}, {"a.int", 5}});
        EXPECT_TRUE(s.boolValue("a.bool"));
        EXPECT_EQ(s.intValue("a.int"), 5);
        EXPECT_FALSE(s.contains("a.int"));
        s.setValue("a.bool", false);
        s.setValue("a.int", 7);
        s.setValue("a.string", "true");
        s.setValue("a.double", 2.0);
        s.setValue("a.list", QStringList{"x", "y"});
        s.setValue("a.data", QByteArray("\x00\x01\xff", 3));
        s.setValue("a.date", QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
        s.setValue("a.map", QVariantMap{{"k", 1.5}, {"n", 3}});
    }
    Settings r(std::make_unique<FileSettingsBackend>(path));
    for (auto [key, type] : {std::pair{"a.bool", QMetaType::Bool},
                             {"a.int", QMetaType::LongLong},
                             {"a.string", QMetaType::QString},
                             {"a.double", QMetaType::Double}})
        EXPECT_EQ(r.storedValue(QString::fromLatin1(key)).typeId(), type) << key;
    EXPECT_FALSE(r.boolValue("a.bool"));
    EXPECT_EQ(r.intValue("a.int"), 7);
    // A string is never a Boolean to the strict reader.
    EXPECT_FALSE(r.boolIfStored("a.string").has_value());
    EXPECT_EQ(r.stringListValue("a.list"), (QStringList{"x", "y"}));
    EXPECT_EQ(r.dataValue("a.data"), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(r.dateValue("a.date")->toSecsSinceEpoch(), 1700000000);
    const QVariantMap map = r.storedValue("a.map").toMap();
    EXPECT_EQ(map.value("k").typeId(), QMetaType::Double);
    EXPECT_EQ(map.value("k").toDouble(), 1.5);
    EXPECT_EQ(map.value("n").typeId(), QMetaType::LongLong);
}

TEST(Settings, UnreadableFileIsMovedAsideNotOverwritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.json");
    tarnwick::test::writeFile(path, "{ not json");
    Settings s(std::make_unique<FileSettingsBackend>(path));
    EXPECT_FALSE(s.contains("x"));
    s.setValue("x", true);
    const QStringList aside = QDir(dir.path()).entryList({"settings.json.corrupt-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(tarnwick::test::readFile(dir.filePath(aside.first())), QByteArray("{ not json"));
}

TEST(Settings, ChangeSignalOnlyOnRealChange)
{
    Settings s(std::make_unique<MemorySettingsBackend>());
    int changes = 0;
    QObject::connect(&s, &Settings::valueChanged, [&] { ++changes; });
    s.setValue("k", 1);
    s.setValue("k", 1);
    s.setValue("k", 1.0);  // a double is another value than an integer
    s.remove("k");
    s.remove("k");
    EXPECT_EQ(changes, 3);
}

// Numbers and numeric text read as integers are truncated and held to the integer range; values far
// outside it (hand-edited files) must not overflow.
TEST(Settings, IntegerReadsOfOtherTypesStayInRange)
{
    Settings s(std::make_unique<MemorySettingsBackend>());
    const struct {
        QVariant stored;
        qint64 expected;
    } cases[] = {{2.9, 2},
                 {-2.9, -2},
                 {1e30, std::numeric_limits<qint64>::max()},
                 {-1e30, std::numeric_limits<qint64>::min()},
                 {QString("1e300"), std::numeric_limits<qint64>::max()},
                 {QString("nan"), 0},
                 {QString("abc"), 0}};
    for (const auto& c : cases) {
        s.setValue("k", c.stored);
        EXPECT_EQ(s.intValue("k"), c.expected) << c.stored.toString().toStdString();
    }
}

// A hand-edited number far outside the integer range, read as an integer or a date (on its own or in a
// dictionary), is unreadable like any other bad value: the registered default stands.
TEST(Settings, NumbersOutOfRangeReadAsUnreadable)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.json");
    tarnwick::test::writeFile(path, R"({
        "int.huge": {"type": "int", "value": 1e300},
        "int.low": {"type": "int", "value": -1e300},
        "int.past": {"type": "int", "value": 9.3e18},
        "int.edge": {"type": "int", "value": -9.2e18},
        "date.huge": {"type": "date", "value": 1e300},
        "date.past": {"type": "date", "value": 1e16},
        "map": {"type": "dictionary", "value": {"huge": {"type": "int", "value": 1e300},
                                                "when": {"type": "date", "value": -1e300},
                                                "fine": {"type": "int", "value": 4}}}
    })");
    Settings s(std::make_unique<FileSettingsBackend>(path));
    s.registerDefaults({{"int.huge", 5}, {"int.low", 5}, {"int.past", 5}});
    for (const char* key : {"int.huge", "int.low", "int.past", "date.huge", "date.past"}) {
        EXPECT_FALSE(s.contains(QString::fromLatin1(key))) << key;
        EXPECT_FALSE(s.dateValue(QString::fromLatin1(key)).has_value()) << key;
    }
    EXPECT_EQ(s.intValue("int.huge"), 5);
    EXPECT_EQ(s.intValue("int.low"), 5);
    EXPECT_EQ(s.intValue("int.past"), 5);
    EXPECT_EQ(s.intValue("int.edge"), qint64(-9.2e18));
    EXPECT_EQ(s.storedValue("map").toMap(), (QVariantMap{{"fine", qint64(4)}}));
}

// A file written by hand: every value plainly, beside entries this release cannot read. The plain ones
// read as what they are; the others are left out of the values and written back as they were, also
// inside a dictionary, by every write, until the application itself sets that key.
TEST(Settings, PlainValuesReadAndUnreadableEntriesAreKeptByWrites)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.json");
    tarnwick::test::writeFile(path, R"({
        "mcp.approvedClients": ["bars-client", "second"],
        "mcp.enabled": true,
        "mcp.token": "PlainToken",
        "count": 3,
        "ratio": 1.5,
        "when": "2026-12-09T13:30:00Z",
        "map": {"n": 1, "names": ["x"], "bad": null},
        "typedMap": {"type": "dictionary", "value": {"n": {"type": "int", "value": "4"},
                                                     "later": {"type": "colour", "value": "#fff"}}},
        "list.mixed": ["a", 1],
        "later.kind": {"type": "colour", "value": "#ffffff"},
        "nothing": null
    })");
    const QJsonObject unreadable = jsonOf(path);
    const auto check = [](const Settings& s, qint64 n) {
        EXPECT_EQ(s.stringListValue("mcp.approvedClients"), (QStringList{"bars-client", "second"}));
        EXPECT_EQ(s.boolIfStored("mcp.enabled"), true);
        EXPECT_EQ(s.stringValue("mcp.token"), "PlainToken");
        EXPECT_EQ(s.storedValue("count").typeId(), QMetaType::LongLong);
        EXPECT_EQ(s.intValue("count"), 3);
        EXPECT_EQ(s.doubleValue("ratio"), 1.5);
        EXPECT_EQ(s.dateValue("when"), QDateTime(QDate(2026, 12, 9), QTime(13, 30), Qt::UTC));
        EXPECT_EQ(s.storedValue("map").toMap(), (QVariantMap{{"n", qint64(1)}, {"names", QStringList{"x"}}}));
        EXPECT_EQ(s.storedValue("typedMap").toMap(), (QVariantMap{{"n", n}}));
        for (const char* key : {"list.mixed", "later.kind", "nothing"}) EXPECT_FALSE(s.contains(key)) << key;
    };
    {
        Settings s(std::make_unique<FileSettingsBackend>(path));
        check(s, 4);
        s.setValue("other", 1);
        const QJsonObject after = jsonOf(path);
        for (const QString key : {"list.mixed", "later.kind", "nothing"})
            EXPECT_EQ(after[key], unreadable[key]) << key.toStdString();
        EXPECT_EQ(after["map"]["value"]["bad"], QJsonValue(QJsonValue::Null));
        EXPECT_EQ(after["typedMap"]["value"]["later"], unreadable["typedMap"]["value"]["later"]);
        // The application's own change of a dictionary keeps what it could not read in it too.
        s.setValue("typedMap", QVariantMap{{"n", 5}});
        const QJsonObject changed = jsonOf(path);
        EXPECT_EQ(changed["typedMap"]["value"]["later"], unreadable["typedMap"]["value"]["later"]);
        EXPECT_EQ(changed["typedMap"]["value"]["n"], QJsonObject({{"type", "int"}, {"value", "5"}}));
    }
    {
        Settings s(std::make_unique<FileSettingsBackend>(path));
        check(s, 5);
        // Set here, the key is the application's.
        s.setValue("later.kind", "plain now");
    }
    Settings s(std::make_unique<FileSettingsBackend>(path));
    EXPECT_EQ(s.stringValue("later.kind"), "plain now");
    const QJsonObject last = jsonOf(path);
    EXPECT_EQ(last["list.mixed"], unreadable["list.mixed"]);
}

}  // namespace
