#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/Settings.h"
#include "support/TestEnvironment.h"

namespace {

TEST(Settings, StoredValueWinsOverRegisteredDefaultAndTypesSurvive)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tarnwick/settings.json"));
    {
        Settings s(std::make_unique<FileSettingsBackend>(path));
        s.registerDefaults({{QStringLiteral("a.bool"), true}, {QStringLiteral("a.int"), 5}});
        EXPECT_TRUE(s.boolValue(QStringLiteral("a.bool")));
        EXPECT_EQ(s.intValue(QStringLiteral("a.int")), 5);
        EXPECT_FALSE(s.contains(QStringLiteral("a.int")));
        s.setValue(QStringLiteral("a.bool"), false);
        s.setValue(QStringLiteral("a.int"), 7);
        s.setValue(QStringLiteral("a.string"), QStringLiteral("true"));
        s.setValue(QStringLiteral("a.double"), 2.0);
        s.setValue(QStringLiteral("a.list"), QStringList{QStringLiteral("x"), QStringLiteral("y")});
        s.setValue(QStringLiteral("a.data"), QByteArray("\x00\x01\xff", 3));
        s.setValue(QStringLiteral("a.date"), QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
        s.setValue(QStringLiteral("a.map"), QVariantMap{{QStringLiteral("k"), 1.5}, {QStringLiteral("n"), 3}});
    }
    Settings r(std::make_unique<FileSettingsBackend>(path));
    for (auto [key, type] : {std::pair{"a.bool", QMetaType::Bool},
                             {"a.int", QMetaType::LongLong},
                             {"a.string", QMetaType::QString},
                             {"a.double", QMetaType::Double}})
        EXPECT_EQ(r.storedValue(QString::fromLatin1(key)).typeId(), type) << key;
    EXPECT_FALSE(r.boolValue(QStringLiteral("a.bool")));
    EXPECT_EQ(r.intValue(QStringLiteral("a.int")), 7);
    // A string is never a Boolean to the strict reader.
    EXPECT_FALSE(r.boolIfStored(QStringLiteral("a.string")).has_value());
    EXPECT_EQ(r.stringListValue(QStringLiteral("a.list")), (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
    EXPECT_EQ(r.dataValue(QStringLiteral("a.data")), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(r.dateValue(QStringLiteral("a.date"))->toSecsSinceEpoch(), 1700000000);
    const QVariantMap map = r.storedValue(QStringLiteral("a.map")).toMap();
    EXPECT_EQ(map.value(QStringLiteral("k")).typeId(), QMetaType::Double);
    EXPECT_EQ(map.value(QStringLiteral("k")).toDouble(), 1.5);
    EXPECT_EQ(map.value(QStringLiteral("n")).typeId(), QMetaType::LongLong);
}

TEST(Settings, UnreadableFileIsMovedAsideNotOverwritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.json"));
    tarnwick::test::writeFile(path, "{ not json");
    Settings s(std::make_unique<FileSettingsBackend>(path));
    EXPECT_FALSE(s.contains(QStringLiteral("x")));
    s.setValue(QStringLiteral("x"), true);
    const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("settings.json.corrupt-*")});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(tarnwick::test::readFile(dir.filePath(aside.first())), QByteArray("{ not json"));
}

TEST(Settings, ChangeSignalOnlyOnRealChange)
{
    Settings s(std::make_unique<MemorySettingsBackend>());
    int changes = 0;
    QObject::connect(&s, &Settings::valueChanged, [&] { ++changes; });
    s.setValue(QStringLiteral("k"), 1);
    s.setValue(QStringLiteral("k"), 1);
    s.setValue(QStringLiteral("k"), 1.0);  // a double is another value than an integer
    s.remove(QStringLiteral("k"));
    s.remove(QStringLiteral("k"));
    EXPECT_EQ(changes, 3);
}

}  // namespace
