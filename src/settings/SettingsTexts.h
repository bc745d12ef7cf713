#pragma once

#include <QColor>
#include <QString>
#include <optional>

#include "settings/PermissionAudit.h"

class Settings;

// The small rules that turn a setting or a state into what a settings row shows.
namespace SettingsTexts {

struct Badge {
    QString word;  // shown upper-cased
    QColor color;
};
// A permission row's badge: "Allowed", "Available", "Denied", "Not set" or "Unavailable".
Badge permissionBadge(const PermissionAudit::State& state, bool isCapability);

// "general.defaultOpacityValue" as the slider holds it: the stored number within 0.1...1.0; anything
// that is not a finite number (text, NaN) reads as the default 1.0.
double defaultOpacity(const Settings& settings);
// A fraction as a whole percentage, halves away from zero: 0.555 is "56%".
QString percent(double value);
// The slider works in per mille (100...1000).
int perMille(double value);

// The update row: the download button's title when a newer version is known, else the status line,
// which claims the version is current only when a check has said which version is the latest.
struct UpdateRow {
    std::optional<QString> downloadTitle;
    QString status;
};
UpdateRow updateRow(bool updateAvailable, const std::optional<QString>& latestVersion, const QString& currentVersion);

// "privacy.relockMinutes" as the picker holds it: 1, 5 or 15, else none selected.
std::optional<int> relockChoice(const Settings& settings);

}  // namespace SettingsTexts
