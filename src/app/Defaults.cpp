#include "app/Defaults.h"

QVariantMap Defaults::table()
{
    return {
        {QStringLiteral("general.launchAtLogin"), false},
        {QStringLiteral("general.showDockIcon"), false},
        {QStringLiteral("general.defaultOpacityValue"), 1.0},
        {QStringLiteral("notes.floatOnTop"), true},
        {QStringLiteral("notes.oneAtATime"), true},
        {QStringLiteral("capture.attachSource"), true},
        {QStringLiteral("privacy.hideFromScreenShare"), true},
        {QStringLiteral("privacy.relockMinutes"), QVariant::fromValue<qint64>(5)},
        {QStringLiteral("mcp.enabled"), false},
        {QStringLiteral("mcp.readOnly"), true},
        {QStringLiteral("update.checkAutomatically"), true},
        {QStringLiteral("sync.iCloudEnabled"), false},
    };
}

void Defaults::migrateRenamedKeys(Settings& settings)
{
    const QString done = QStringLiteral("defaults.renamed.v1");
    const QString oldKey = QStringLiteral("ai.readOnly");
    if (settings.boolValue(done)) return;
    // Whatever was stored moves as it is, type included: a user's false must stay false.
    const QVariant stored = settings.storedValue(oldKey);
    if (stored.isValid()) settings.setValue(QStringLiteral("mcp.readOnly"), stored);
    settings.remove(oldKey);
    settings.setValue(done, true);
}

void Defaults::registerTable(Settings& settings)
{
    settings.registerDefaults(table());
}
