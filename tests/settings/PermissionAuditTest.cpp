#include <gtest/gtest.h>

#include "settings/PermissionAudit.h"

namespace {

using State = PermissionAudit::State;

struct Desktop {
    QString platform = "xcb";
    bool notifier = true, keyring = true, canAuthenticate = true;
    QString desktop;
    QStringList programs;
    HotkeyManager::Shortcut capture = HotkeyManager::defaultBinding(HotkeyManager::Action::capture);

    PermissionAudit::Probes probes()
    {
        return {[this] { return platform; },
                [this] { return notifier; },
                [this] { return keyring; },
                [this] {
                    return Authenticator::Availability{canAuthenticate, "no PAM"};
                },
                [this](const QString& name) { return programs.contains(name) ? "/usr/bin/" + name : QString(); },
                [this] { return desktop; },
                [this] { return capture; }};
    }
};

TEST(PermissionAudit, RowsSayWhatThisDesktopHas)
{
    Desktop full;
    const QList<PermissionAudit::Item> rows = PermissionAudit::all(full.probes());
    QStringList ids, titles;
    for (const auto& row : rows) {
        ids << row.id;
        titles << row.title;
        EXPECT_EQ(row.state, State::grantedState()) << row.id.toStdString();
        EXPECT_FALSE(row.canRequestInApp);
        EXPECT_EQ(row.isCapability, row.id == "biometrics");
    }
    EXPECT_EQ(ids, (QStringList{"accessibility", "notifications", "keyring", "biometrics"}));
    EXPECT_EQ(titles, (QStringList{"Selection and hot keys", "Notifications", "Keyring", "Password unlock"}));
    EXPECT_EQ(rows[0].consequence,
              "Capture reads the text you have highlighted. Without it, Alt+Shift+Space does "
              "nothing.");
    EXPECT_EQ(rows[3].consequence, "Locked notes open with your account password on this computer.");

    Desktop bare{"wayland", false, false, false};
    bare.capture = {40, HotkeyManager::kControl | HotkeyManager::kCommand};  // the binding was changed to K
    const QList<PermissionAudit::Item> missing = PermissionAudit::all(bare.probes());
    for (const auto& row : missing) EXPECT_EQ(row.state.kind, State::unsupported) << row.id.toStdString();
    EXPECT_TRUE(missing[0].consequence.contains("Without it, Ctrl+Super+K does nothing."));
    EXPECT_EQ(missing[1].state.reason, "No notification service is running on this desktop.");
    EXPECT_EQ(missing[3].state,
              State::unsupportedBecause("This computer cannot authenticate, so notes cannot be locked: no PAM."));
}

TEST(PermissionAudit, NotificationSettingsOpenTheDesktopsOwnProgramWhenThere)
{
    struct Case {
        QString desktop;
        QStringList programs;
        QStringList command;
    };
    const QList<Case> cases = {
        {"ubuntu:GNOME", {"gnome-control-center"}, {"gnome-control-center", "notifications"}},
        {"KDE", {"kcmshell5", "gnome-control-center"}, {"kcmshell5", "kcm_notifications"}},
        {"GNOME", {}, {}},
        {"XFCE", {"gnome-control-center", "kcmshell5"}, {}},
        {"", {"gnome-control-center"}, {}},
    };
    for (const Case& c : cases) {
        Desktop desktop;
        desktop.desktop = c.desktop;
        desktop.programs = c.programs;
        EXPECT_EQ(PermissionAudit::notifications(desktop.probes()).settingsCommand, c.command)
            << c.desktop.toStdString();
    }
    EXPECT_FALSE(PermissionAudit::open(PermissionAudit::keyring(Desktop().probes())));
}

}  // namespace
