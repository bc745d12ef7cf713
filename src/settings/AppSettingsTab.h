#pragma once

#include <QList>
#include <QString>
#include <optional>

class Settings;

// The eight tabs of the settings window, in their order. The raw value is what
// "settings.selectedTab" stores.
class AppSettingsTab {
public:
    enum Value { general, note, hotkeys, permissions, connections, privacy, sync, about };

    constexpr AppSettingsTab(Value v = general) : m_value(v) {}
    constexpr operator Value() const { return m_value; }

    static const QList<AppSettingsTab>& allCases();
    // Exact match only: "Permissions" names no tab.
    static std::optional<AppSettingsTab> fromRawValue(const QString& raw);
    // The tab "settings.selectedTab" names, if it holds a string that names one. A number, a list or
    // an unknown name gives nothing, and nothing is rewritten.
    static std::optional<AppSettingsTab> stored(const Settings& settings);
    static constexpr const char* kSelectedTabKey = "settings.selectedTab";

    int index() const { return int(m_value); }
    QString rawValue() const;
    QString title() const;
    QString symbolName() const;

private:
    Value m_value;
};
