#include <gtest/gtest.h>

#include "app/Defaults.h"
#include "platform/Settings.h"

namespace {

std::unique_ptr<Settings> memorySettings()
{
    return std::make_unique<Settings>(std::make_unique<MemorySettingsBackend>());
}

TEST(Defaults, TableHoldsTheTwelveKeysWithTheirTypes)
{
    const QVariantMap table = Defaults::table();
    const QList<std::tuple<QString, QMetaType::Type, QVariant>> expected = {
        {QStringLiteral("general.launchAtLogin"), QMetaType::Bool, false},
        {QStringLiteral("general.showDockIcon"), QMetaType::Bool, false},
        {QStringLiteral("general.defaultOpacityValue"), QMetaType::Double, 1.0},
        {QStringLiteral("notes.floatOnTop"), QMetaType::Bool, true},
        {QStringLiteral("notes.oneAtATime"), QMetaType::Bool, true},
        {QStringLiteral("capture.attachSource"), QMetaType::Bool, true},
        {QStringLiteral("privacy.hideFromScreenShare"), QMetaType::Bool, true},
        {QStringLiteral("privacy.relockMinutes"), QMetaType::LongLong, 5},
        {QStringLiteral("mcp.enabled"), QMetaType::Bool, false},
        {QStringLiteral("mcp.readOnly"), QMetaType::Bool, true},
        {QStringLiteral("update.checkAutomatically"), QMetaType::Bool, true},
        {QStringLiteral("sync.iCloudEnabled"), QMetaType::Bool, false},
    };
    ASSERT_EQ(table.size(), expected.size());
    for (const auto& [key, type, value] : expected) {
        SCOPED_TRACE(key.toStdString());
        ASSERT_TRUE(table.contains(key));
        EXPECT_EQ(table.value(key).typeId(), type);
        EXPECT_EQ(table.value(key).toDouble(), value.toDouble());
    }
}

TEST(Defaults, RegisteredValuesApplyOnlyWhereNothingIsStoredAndWriteNothing)
{
    auto backend = std::make_unique<MemorySettingsBackend>();
    MemorySettingsBackend* raw = backend.get();
    Settings settings(std::move(backend));
    settings.setValue(QStringLiteral("notes.floatOnTop"), false);
    Defaults::registerTable(settings);
    EXPECT_EQ(settings.intValue(QStringLiteral("privacy.relockMinutes")), 5);
    EXPECT_FALSE(settings.boolValue(QStringLiteral("notes.floatOnTop")));
    EXPECT_TRUE(settings.boolValue(QStringLiteral("mcp.readOnly")));
    EXPECT_EQ(raw->load().keys(), QStringList{QStringLiteral("notes.floatOnTop")});
}

TEST(Defaults, RenamedKeyMovesOnceKeepingTheUsersValueAndType)
{
    auto settings = memorySettings();
    settings->setValue(QStringLiteral("ai.readOnly"), false);
    Defaults::migrateRenamedKeys(*settings);
    Defaults::registerTable(*settings);
    EXPECT_FALSE(settings->contains(QStringLiteral("ai.readOnly")));
    ASSERT_EQ(settings->storedValue(QStringLiteral("mcp.readOnly")).typeId(), QMetaType::Bool);
    EXPECT_FALSE(settings->boolValue(QStringLiteral("mcp.readOnly")));
    EXPECT_TRUE(settings->boolValue(QStringLiteral("defaults.renamed.v1")));

    // Written again later, the old key is never carried over a second time.
    settings->setValue(QStringLiteral("ai.readOnly"), true);
    Defaults::migrateRenamedKeys(*settings);
    EXPECT_TRUE(settings->contains(QStringLiteral("ai.readOnly")));
    EXPECT_FALSE(settings->boolValue(QStringLiteral("mcp.readOnly")));
}

TEST(Defaults, RenamedKeyMovesWhateverTypeWasStoredAndNothingWhenAbsent)
{
    auto odd = memorySettings();
    odd->setValue(QStringLiteral("ai.readOnly"), QStringLiteral("no"));
    Defaults::migrateRenamedKeys(*odd);
    EXPECT_EQ(odd->storedValue(QStringLiteral("mcp.readOnly")), QVariant(QStringLiteral("no")));

    auto fresh = memorySettings();
    fresh->setValue(QStringLiteral("mcp.readOnly"), false);
    Defaults::migrateRenamedKeys(*fresh);
    EXPECT_FALSE(fresh->boolValue(QStringLiteral("mcp.readOnly")));
    EXPECT_TRUE(fresh->boolValue(QStringLiteral("defaults.renamed.v1")));
}

}  // namespace
