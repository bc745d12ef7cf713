#include <gtest/gtest.h>

#include "app/Defaults.h"
#include "platform/Settings.h"

namespace {

std::unique_ptr<Settings> memorySettings()
{
    return std::make_unique<Settings>(std::make_unique<MemorySettingsBackend>());
}

TEST(Defaults, RegisteredValuesApplyOnlyWhereNothingIsStoredAndWriteNothing)
{
    auto backend = std::make_unique<MemorySettingsBackend>();
    MemorySettingsBackend* raw = backend.get();
    Settings settings(std::move(backend));
    settings.setValue("notes.floatOnTop", false);
    Defaults::registerTable(settings);
    EXPECT_EQ(Defaults::table().size(), 12);
    EXPECT_EQ(settings.intValue("privacy.relockMinutes"), 5);
    EXPECT_FALSE(settings.boolValue("notes.floatOnTop"));
    // The safe choices hold until the user changes them.
    EXPECT_TRUE(settings.boolValue("mcp.readOnly") && settings.boolValue("privacy.hideFromScreenShare"));
    EXPECT_FALSE(settings.boolValue("mcp.enabled"));
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

    auto odd = memorySettings();
    odd->setValue("ai.readOnly", "no");
    Defaults::migrateRenamedKeys(*odd);
    EXPECT_EQ(odd->storedValue("mcp.readOnly"), QVariant("no"));
}

}  // namespace
