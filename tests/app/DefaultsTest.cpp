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
        {"general.launchAtLogin", QMetaType::Bool, false},
        {"general.showDockIcon", QMetaType::Bool, false},
        {"general.defaultOpacityValue", QMetaType::Double, 1.0},
        {"notes.floatOnTop", QMetaType::Bool, true},
        {"notes.oneAtATime", QMetaType::Bool, true},
        {"capture.attachSource", QMetaType::Bool, true},
        {"privacy.hideFromScreenShare", QMetaType::Bool, true},
        {"privacy.relockMinutes", QMetaType::LongLong, 5},
        {"mcp.enabled", QMetaType::Bool, false},
        {"mcp.readOnly", QMetaType::Bool, true},
        {"update.checkAutomatically", QMetaType::Bool, true},
        {"sync.iCloudEnabled", QMetaType::Bool, false},
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
    settings.setValue("notes.floatOnTop", false);
    Defaults::registerTable(settings);
    EXPECT_EQ(settings.intValue("privacy.relockMinutes"), 5);
    EXPECT_FALSE(settings.boolValue("notes.floatOnTop"));
    EXPECT_TRUE(settings.boolValue("mcp.readOnly"));
    EXPECT_EQ(raw->load().keys(), QStringList{"notes.floatOnTop"});
}

TEST(Defaults, RenamedKeyMovesOnceKeepingTheUsersValueAndType)
{
    auto settings = memorySettings();
    settings->setValue("ai.readOnly", false);
    Defaults::migrateRenamedKeys(*settings);
    Defaults::registerTable(*settings);
    EXPECT_FALSE(settings->contains("ai.readOnly"));
    ASSERT_EQ(settings->storedValue("mcp.readOnly").typeId(), QMetaType::Bool);
    EXPECT_FALSE(settings->boolValue("mcp.readOnly"));
    EXPECT_TRUE(settings->boolValue("defaults.renamed.v1"));

    // Written again later, the old key is never carried over a second time.
    settings->setValue("ai.readOnly", true);
    Defaults::migrateRenamedKeys(*settings);
    EXPECT_TRUE(settings->contains("ai.readOnly"));
    EXPECT_FALSE(settings->boolValue("mcp.readOnly"));
}

TEST(Defaults, RenamedKeyMovesWhateverTypeWasStoredAndNothingWhenAbsent)
{
    auto odd = memorySettings();
    odd->setValue("ai.readOnly", "no");
    Defaults::migrateRenamedKeys(*odd);
    EXPECT_EQ(odd->storedValue("mcp.readOnly"), QVariant("no"));

    auto fresh = memorySettings();
    fresh->setValue("mcp.readOnly", false);
    Defaults::migrateRenamedKeys(*fresh);
    EXPECT_FALSE(fresh->boolValue("mcp.readOnly"));
    EXPECT_TRUE(fresh->boolValue("defaults.renamed.v1"));
}

}  // namespace
