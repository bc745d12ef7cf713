#include "settings/PermissionAudit.h"

#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

#include "capture/HotkeyGlyphs.h"
#include "capture/KeyCodeName.h"
#include "platform/DBusDesktopNotifications.h"
#include "platform/KeychainBackend.h"

PermissionAudit::Probes PermissionAudit::Probes::system(Authenticator& authenticator, const Settings& settings)
{
    Probes probes;
    probes.platformName = [] { return QGuiApplication::platformName(); };
    probes.notificationService = [] { return DBusDesktopNotifications().isAvailable(); };
    probes.secretService = [] { return KeychainBackend::secretServiceOnSessionBus(); };
    probes.authentication = [&authenticator] { return authenticator.availability(); };
    probes.findProgram = [](const QString& name) { return QStandardPaths::findExecutable(name); };
    probes.currentDesktop = [] { return qEnvironmentVariable("XDG_CURRENT_DESKTOP"); };
    probes.captureBinding = [&settings] {
        return HotkeyManager::storedBinding(HotkeyManager::Action::capture, settings);
    };
    return probes;
}

QString PermissionAudit::chordText(HotkeyManager::Shortcut shortcut)
{
    return HotkeyGlyphs::chord(shortcut.keyCode, shortcut.modifiers);
}

PermissionAudit::Item PermissionAudit::accessibility(const Probes& probes)
{
    // Reading the selection and grabbing keys across applications is what X11 allows every client
    // (XWayland included); a Wayland session without it allows neither.
    const bool x11 = probes.platformName() == QLatin1String("xcb");
    return {QStringLiteral("accessibility"),
            QStringLiteral("Selection and hot keys"),
            QStringLiteral("Capture reads the text you have highlighted. Without it, ") +
                chordText(probes.captureBinding()) + QStringLiteral(" does nothing."),
            x11 ? State::grantedState()
                : State::unsupportedBecause(QStringLiteral(
                      "This session has no X11 display, so other applications' selections and global hot keys "
                      "cannot be reached.")),
            {},
            false,
            false};
}

QStringList PermissionAudit::notificationSettingsCommand(const Probes& probes)
{
    const QStringList desktops = probes.currentDesktop().split(u':', Qt::SkipEmptyParts);
    auto onPath = [&](const QString& program) { return !probes.findProgram(program).isEmpty(); };
    if (desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive) &&
        onPath(QStringLiteral("gnome-control-center")))
        return {QStringLiteral("gnome-control-center"), QStringLiteral("notifications")};
    if (desktops.contains(QStringLiteral("KDE"), Qt::CaseInsensitive) && onPath(QStringLiteral("kcmshell5")))
        return {QStringLiteral("kcmshell5"), QStringLiteral("kcm_notifications")};
    return {};
}

PermissionAudit::Item PermissionAudit::notifications(const Probes& probes)
{
    return {QStringLiteral("notifications"),
            QStringLiteral("Notifications"),
            QStringLiteral("Reminders you set on a note arrive as a notification. Without it they never appear."),
            probes.notificationService()
                ? State::grantedState()
                : State::unsupportedBecause(QStringLiteral("No notification service is running on this desktop.")),
            notificationSettingsCommand(probes),
            false,
            false};
}

PermissionAudit::Item PermissionAudit::keyring(const Probes& probes)
{
    return {QStringLiteral("keyring"),
            QStringLiteral("Keyring"),
            QStringLiteral("Keeps the keys of your locked notes and connected assistants in the desktop keyring. "
                           "Without it they are kept in a file only you can read."),
            probes.secretService() ? State::grantedState()
                                   : State::unsupportedBecause(QStringLiteral(
                                         "No keyring service is running; keys are kept in a file only you can read.")),
            {},
            false,
            false};
}

namespace {
// Why the password cannot be asked, with the system's own reason when it gave one.
QString unavailableReason(const Authenticator::Availability& availability)
{
    const QString sentence = QStringLiteral("This computer cannot authenticate, so notes cannot be locked");
    if (availability.reason.isEmpty()) return sentence + QLatin1Char('.');
    return sentence + QStringLiteral(": ") + availability.reason + QLatin1Char('.');
}
}  // namespace

PermissionAudit::Item PermissionAudit::biometrics(const Probes& probes)
{
    const Authenticator::Availability availability = probes.authentication();
    return {QStringLiteral("biometrics"),
            QStringLiteral("Password unlock"),
            QStringLiteral("Locked notes open with your account password on this computer."),
            availability.available ? State::grantedState() : State::unsupportedBecause(unavailableReason(availability)),
            {},
            false,
            true};
}

QList<PermissionAudit::Item> PermissionAudit::all(const Probes& probes)
{
    return {accessibility(probes), notifications(probes), keyring(probes), biometrics(probes)};
}

bool PermissionAudit::open(const Item& item)
{
    if (item.settingsCommand.isEmpty()) return false;
    return QProcess::startDetached(item.settingsCommand.first(), item.settingsCommand.mid(1));
}
