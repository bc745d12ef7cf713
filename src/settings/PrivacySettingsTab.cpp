#include "settings/PrivacySettingsTab.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>

#include "capture/HotkeyGlyphs.h"
#include "capture/HotkeyManager.h"
#include "design/ComboMenuKeys.h"
#include "design/ComboPopupAccessible.h"
#include "design/SharePrivacy.h"
#include "design/TarnwickTheme.h"
#include "design/TextColor.h"
#include "platform/Settings.h"
#include "privacy/UnlockSession.h"
#include "settings/SettingsTexts.h"
#include "settings/SettingsWidgets.h"
#include "settings/TarnSettingsSection.h"
#include "settings/TarnSwitchToggleStyle.h"

using namespace SettingsWidgets;

PrivacySettingsTab::PrivacySettingsTab(const SettingsServices& services, QWidget* parent)
    : SettingsPage(parent), m_services(services)
{
    auto* sharing = new TarnSettingsSection(QStringLiteral("Screen Sharing"));
    auto* shareRow = new TarnSwitchToggleStyle(
        QStringLiteral("Invisible during screen sharing"),
        QStringLiteral("This desktop can't keep windows out of screenshots or screen sharing."));
    m_share = shareRow->toggle();
    // Shown off and fixed: nothing here may claim a protection the desktop cannot give. The stored
    // value is kept for a desktop that can.
    m_share->setChecked(SharePrivacy::isSupported() && SharePrivacy::hideFromScreenShare(services.settings));
    m_share->setEnabled(SharePrivacy::isSupported());
    sharing->addRow(shareRow);
    addSection(sharing);

    auto* locked = new TarnSettingsSection(QStringLiteral("Locked Notes"));
    m_unlockName = label({}, locked->card());
    m_capability = label({}, locked->card());
    locked->addRow(row({m_unlockName, nullptr, m_capability}));
    locked->addDivider();
    m_relock = new QComboBox(locked->card());
    // Its choices are read as on screen only while its popup is open.
    ComboPopupAccessible::attach(m_relock);
    ComboMenuKeys::attach(m_relock);
    m_relock->setAccessibleName(QStringLiteral("Auto-relock after"));
    // On this desktop a combo box is announced by its value; its name comes from the label it is the
    // buddy of (a labelled-by relation).
    QLabel* relockLabel = label(QStringLiteral("Auto-relock after"), locked->card());
    relockLabel->setBuddy(m_relock);
    m_relock->addItem(QStringLiteral("1 minute"), 1);
    m_relock->addItem(QStringLiteral("5 minutes"), 5);
    m_relock->addItem(QStringLiteral("15 minutes"), 15);
    m_relock->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_relock, &QComboBox::activated, this, [this](int index) {
        m_services.settings.setValue(QStringLiteral("privacy.relockMinutes"),
                                     qint64(m_relock->itemData(index).toInt()));
    });
    locked->addRow(row({relockLabel, nullptr, m_relock}));
    locked->addDivider();
    m_footnote = caption({}, locked->card());
    locked->addRow(m_footnote);
    addSection(locked);

    connect(&services.settings, &Settings::valueChanged, this, [this](const QString& key) {
        if (key == QLatin1String("privacy.relockMinutes")) refresh(false);
    });
    refresh(false);
}

void PrivacySettingsTab::showEvent(QShowEvent* event)
{
    SettingsPage::showEvent(event);
    refresh(true);
}

void PrivacySettingsTab::windowActivationChanged(bool active)
{
    if (active && isVisible()) refresh(true);
}

void PrivacySettingsTab::refresh(bool askAuthentication)
{
    const UnlockSession& unlock = m_services.unlockSession;
    // May start a PAM transaction: only when the page shows or the window turns active.
    if (askAuthentication) {
        m_canAuthenticate = unlock.canAuthenticate();
        m_capabilityText = unlock.capabilityDescription();
    }
    m_unlockName->setText(unlock.biometryName().value_or(QStringLiteral("Unlock")));
    m_capability->setText(m_capabilityText);
    TextColor::set(m_capability, m_canAuthenticate ? TarnwickTheme::accent() : TarnwickTheme::textSecondary());
    {
        const QSignalBlocker blocker(m_relock);
        const auto choice = SettingsTexts::relockChoice(m_services.settings);
        m_relock->setCurrentIndex(choice ? m_relock->findData(*choice) : -1);
    }
    const HotkeyManager::Shortcut hideAll =
        HotkeyManager::storedBinding(HotkeyManager::Action::hideAll, m_services.settings);
    m_footnote->setText(
        QStringLiteral("Lock any note with the lock button at its top right or from its right-click menu. "
                       "Locked notes are hidden from search, from connected tools, and from "
                       "screen-share (") +
        HotkeyGlyphs::chord(hideAll.keyCode, hideAll.modifiers) +
        QStringLiteral(" relocks them). Unlock state is never saved. Relaunching Tarnwick relocks "
                       "everything."));
}
