#include "settings/GeneralSettingsTab.h"

#include <QDesktopServices>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>

#include "design/PlainText.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "platform/Settings.h"
#include "settings/SettingsTexts.h"
#include "settings/SettingsWidgets.h"
#include "settings/TarnSettingsSection.h"
#include "settings/TarnSwitchToggleStyle.h"
#include "settings/UpdateChecker.h"

using namespace SettingsWidgets;

GeneralSettingsTab::GeneralSettingsTab(const SettingsServices& services, LoginSwitch::System login, QWidget* parent)
    : SettingsPage(parent), m_services(services), m_loginModel(services.settings, std::move(login))
{
    auto* startup = new TarnSettingsSection(QStringLiteral("Startup & Tray"));
    auto* loginRow = new TarnSwitchToggleStyle(QStringLiteral("Launch Tarnwick at login"));
    m_login = loginRow->toggle();
    m_login->setChecked(m_loginModel.isOn());
    // Every change of the switch (click, Space, a screen reader's toggle); refreshLogin() pushes back blocked.
    connect(m_login, &QAbstractButton::toggled, this, [this](bool on) {
        m_loginModel.userToggled(on);
        refreshLogin();
    });
    connect(&services.settings, &Settings::valueChanged, this, [this](const QString& key) {
        if (key == QLatin1String("general.launchAtLogin")) refreshLogin();
    });
    startup->addRow(loginRow);
    m_loginError = label({}, startup->card(), TarnwickType::caption(), TarnwickTheme::offline());
    m_loginError->setWordWrap(true);
    m_loginError->hide();
    startup->addRow(m_loginError);
    startup->addDivider();
    auto* taskbarRow = new TarnSwitchToggleStyle(QStringLiteral("Show in the taskbar"),
                                                 QStringLiteral("Off = tray only, no taskbar clutter"));
    m_taskbar = taskbarRow->toggle();
    // Only the key: the application re-applies every window's taskbar state when it changes.
    bindSwitch(m_taskbar, services.settings, QStringLiteral("general.showDockIcon"), false);
    startup->addRow(taskbarRow);
    addSection(startup);

    if (UpdateChecker* checker = services.updateChecker) {
        auto* updates = new TarnSettingsSection(QStringLiteral("Updates"));
        auto* autoRow = new TarnSwitchToggleStyle(QStringLiteral("Automatically check for updates"));
        m_autoCheck = autoRow->toggle();
        bindSwitch(m_autoCheck, services.settings, QStringLiteral("update.checkAutomatically"), true,
                   [this](bool) { refreshUpdates(); });
        updates->addRow(autoRow);
        updates->addDivider();
        m_checkNow = button(QStringLiteral("Check Now"), updates->card());
        connect(m_checkNow, &QPushButton::clicked, checker, &UpdateChecker::check);
        m_checking = new QProgressBar(updates->card());
        m_checking->setRange(0, 0);
        m_checking->setTextVisible(false);
        m_checking->setFixedSize(60, 8);
        m_checking->setAccessibleName(QStringLiteral("Checking for updates"));
        m_download = button({}, updates->card());
        connect(m_download, &QPushButton::clicked, this,
                [checker] { QDesktopServices::openUrl(checker->releasesURL()); });
        m_updateStatus = caption({}, updates->card());
        m_updateStatus->setWordWrap(false);
        updates->addRow(row({m_checkNow, m_checking, nullptr, m_download, m_updateStatus}));
        updates->addDivider();
        updates->addRow(
            caption(QStringLiteral("Tarnwick never downloads or installs updates on its own. It only checks "
                                   "a small, anonymous version file and, if there's a newer build, sends "
                                   "you to the download page."),
                    updates->card()));
        addSection(updates);
        connect(checker, &UpdateChecker::isCheckingChanged, this, [this] { refreshUpdates(); });
        connect(checker, &UpdateChecker::latestVersionChanged, this, [this] { refreshUpdates(); });
        connect(&services.settings, &Settings::valueChanged, this, [this](const QString& key) {
            if (key == QLatin1String("update.checkAutomatically")) refreshUpdates();
        });
        refreshUpdates();
    }
}

void GeneralSettingsTab::showEvent(QShowEvent* event)
{
    SettingsPage::showEvent(event);
    // Shows what the session will start at login; writes the key only if it differs, never the entry.
    m_loginModel.sync();
    refreshLogin();
}

void GeneralSettingsTab::refreshLogin()
{
    {
        const QSignalBlocker blocker(m_login);
        m_login->setChecked(m_loginModel.isOn());
    }
    m_loginError->setText(m_loginModel.error().value_or(QString()));
    m_loginError->setVisible(m_loginModel.error().has_value());
}

void GeneralSettingsTab::refreshUpdates()
{
    UpdateChecker* checker = m_services.updateChecker;
    if (!checker) return;
    const bool automatic = m_services.settings.boolIfStored(QStringLiteral("update.checkAutomatically")).value_or(true);
    const bool checking = checker->isChecking();
    const bool enabled = automatic && !checking;
    // A disabled button cannot hold the keyboard, and Qt would pass it on down the page, where the next
    // Space flips a switch. While its check runs, the bar beside it holds the keyboard (a Space there
    // does nothing); the button takes it back when the check ends.
    // (The window's focus widget, not hasFocus(): the window need not be active meanwhile.)
    const auto holdsKeyboard = [](QWidget* w) { return w->window()->focusWidget() == w; };
    if (checking) m_checking->show();
    if (!enabled && checking && holdsKeyboard(m_checkNow)) m_checking->setFocus(Qt::OtherFocusReason);
    m_checkNow->setEnabled(enabled);
    if (enabled && holdsKeyboard(m_checking)) m_checkNow->setFocus(Qt::OtherFocusReason);
    m_checking->setVisible(checking);
    const auto rowText =
        SettingsTexts::updateRow(checker->updateAvailable(), checker->latestVersion(), checker->currentVersion());
    m_download->setVisible(rowText.downloadTitle.has_value());
    if (rowText.downloadTitle) {
        m_download->setText(PlainText::buttonTitle(*rowText.downloadTitle));
        m_download->setAccessibleName(*rowText.downloadTitle);
    }
    m_updateStatus->setVisible(!rowText.downloadTitle);
    m_updateStatus->setText(rowText.status);
}
