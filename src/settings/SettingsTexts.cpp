#include "settings/SettingsTexts.h"

#include <cmath>

#include "design/TarnwickTheme.h"
#include "platform/Settings.h"

namespace SettingsTexts {

Badge permissionBadge(const PermissionAudit::State& state, bool isCapability)
{
    switch (state.kind) {
        case PermissionAudit::State::granted:
            return {isCapability ? QStringLiteral("Available") : QStringLiteral("Allowed"), TarnwickTheme::success()};
        case PermissionAudit::State::denied:
            return {QStringLiteral("Denied"), TarnwickTheme::destructive()};
        case PermissionAudit::State::notDetermined:
            return {QStringLiteral("Not set"), TarnwickTheme::offline()};
        case PermissionAudit::State::unsupported:
            return {QStringLiteral("Unavailable"), TarnwickTheme::textTertiary()};
    }
    return {};
}

double defaultOpacity(const Settings& settings)
{
    const QVariant value = settings.value(QStringLiteral("general.defaultOpacityValue"));
    const int type = value.typeId();
    const bool numeric = type == QMetaType::Double || type == QMetaType::Int || type == QMetaType::LongLong;
    const double number = numeric ? value.toDouble() : 1.0;
    if (!std::isfinite(number)) return 1.0;
    return std::clamp(number, 0.1, 1.0);
}

QString percent(double value)
{
    return QString::number(std::lround(value * 100)) + QLatin1Char('%');
}

int perMille(double value)
{
    return int(std::lround(value * 1000));
}

UpdateRow updateRow(bool updateAvailable, const std::optional<QString>& latestVersion, const QString& currentVersion)
{
    if (updateAvailable && latestVersion) return {QStringLiteral("Download Version ") + *latestVersion, {}};
    // Without an answer from a check (none made, or none came back) nothing is known about newer ones.
    if (!latestVersion) return {std::nullopt, QStringLiteral("Version ") + currentVersion};
    return {std::nullopt, QStringLiteral("You're on the latest version (") + currentVersion + QStringLiteral(").")};
}

std::optional<int> relockChoice(const Settings& settings)
{
    const QVariant value = settings.value(QStringLiteral("privacy.relockMinutes"));
    if (!value.isValid()) return 5;  // the relock timer's own default
    const int type = value.typeId();
    if (type != QMetaType::Int && type != QMetaType::LongLong && type != QMetaType::Double) return std::nullopt;
    const double minutes = value.toDouble();
    for (int choice : {1, 5, 15})
        if (minutes == choice) return choice;
    return std::nullopt;
}

}  // namespace SettingsTexts
