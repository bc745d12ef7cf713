#include "settings/SyncSettingsTab.h"

#include <QHBoxLayout>
#include <QLabel>

#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "design/TextColor.h"
#include "platform/Settings.h"
#include "settings/SettingsWidgets.h"
#include "settings/TarnSettingsSection.h"
#include "settings/TarnSwitchToggleStyle.h"
#include "store/NoteStore.h"
#include "store/SyncState.h"

using namespace SettingsWidgets;

SyncSettingsTab::SyncSettingsTab(const SettingsServices& services, QWidget* parent)
    : SettingsPage(parent), m_services(services)
{
    auto* section = new TarnSettingsSection(QStringLiteral("Cloud"));
    auto* title = new QWidget;
    auto* titleRow = new QHBoxLayout(title);
    titleRow->setContentsMargins(0, 0, 0, 0);
    titleRow->setSpacing(4);
    titleRow->addWidget(label(QStringLiteral("Sync across your devices"), title));
    auto* soon = new Badge(QString(), TarnwickTheme::textTertiary(), TarnwickTheme::fill(), title);
    QFont badgeFont = TarnwickType::system(10.5, QFont::DemiBold);
    soon->setFont(badgeFont);
    soon->setText(QStringLiteral("Coming Soon"));
    soon->setAccessibleName(QStringLiteral("Coming Soon"));
    titleRow->addWidget(soon);
    titleRow->addStretch(1);
    auto* toggleRow = new TarnSwitchToggleStyle(title, section->card());
    m_switch = toggleRow->toggle();
    m_switch->setAccessibleName(QStringLiteral("Sync across your devices"));
    // Never operable: the stored value is shown and never written.
    m_switch->setChecked(services.settings.boolValue(QStringLiteral("sync.iCloudEnabled")));
    m_switch->setEnabled(false);
    section->addRow(toggleRow);
    section->addDivider();
    m_status = label({}, section->card());
    section->addRow(row({label(QStringLiteral("Status"), section->card()), nullptr, m_status}));
    section->addDivider();
    section->addRow(caption(QStringLiteral("Cloud sync is coming soon. It is not yet available in this build. Notes "
                                           "are always saved locally first and never depend on the cloud; that won't "
                                           "change once sync ships. This toggle will turn on once sync is live."),
                            section->card()));
    addSection(section);
    connect(&services.store, &NoteStore::syncStateChanged, this, &SyncSettingsTab::refresh);
    refresh();
}

void SyncSettingsTab::refresh()
{
    const SyncStateLook look = SyncStateLook::of(m_services.store.syncState());
    m_status->setText(look.text);
    TextColor::set(m_status, look.color);
}
