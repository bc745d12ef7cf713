#include "settings/AppSettingsTab.h"

#include "platform/Settings.h"

namespace {

struct TabInfo {
    const char* raw;
    const char* title;
    const char* symbol;
};

constexpr TabInfo kTabs[] = {
    {"general", "General", "gearshape"},
    {"note", "Note", "note.text"},
    {"hotkeys", "Hotkeys", "keyboard"},
    {"permissions", "Permissions", "hand.raised"},
    {"connections", "Connections", "link"},
    {"privacy", "Privacy", "lock.shield"},
    {"sync", "Sync", "icloud"},
    {"about", "About", "info.circle"},
};

}  // namespace

const QList<AppSettingsTab>& AppSettingsTab::allCases()
{
    static const QList<AppSettingsTab> cases{general, note, hotkeys, permissions, connections, privacy, sync, about};
    return cases;
}

std::optional<AppSettingsTab> AppSettingsTab::fromRawValue(const QString& raw)
{
    for (AppSettingsTab tab : allCases())
        if (raw == QLatin1String(kTabs[tab.index()].raw)) return tab;
    return std::nullopt;
}

std::optional<AppSettingsTab> AppSettingsTab::stored(const Settings& settings)
{
    const QVariant value = settings.storedValue(QLatin1String(kSelectedTabKey));
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    return fromRawValue(value.toString());
}

QString AppSettingsTab::rawValue() const
{
    return QLatin1String(kTabs[index()].raw);
}

QString AppSettingsTab::title() const
{
    return QLatin1String(kTabs[index()].title);
}

QString AppSettingsTab::symbolName() const
{
    return QLatin1String(kTabs[index()].symbol);
}
