#include "settings/PermissionsSettingsTab.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "design/TarnRowDivider.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "model/NoteNotifications.h"
#include "platform/NotificationCenter.h"
#include "settings/SettingsTexts.h"
#include "settings/SettingsWidgets.h"
#include "settings/TarnSettingsSection.h"

using namespace SettingsWidgets;

namespace {

bool sameItem(const PermissionAudit::Item& a, const PermissionAudit::Item& b)
{
    return a.id == b.id && a.title == b.title && a.consequence == b.consequence && a.state == b.state &&
           a.settingsCommand == b.settingsCommand && a.isCapability == b.isCapability;
}

}  // namespace

PermissionsSettingsTab::PermissionsSettingsTab(const SettingsServices& services, QWidget* parent)
    : SettingsPage(parent),
      m_services(services),
      m_probes(PermissionAudit::Probes::system(services.authenticator, services.settings))
{
    // The password check may start a PAM transaction: it is asked at set moments, never every second.
    m_probes.authentication = [this] { return m_authentication; };

    m_section = new TarnSettingsSection(QStringLiteral("Permissions"));
    addSection(m_section);

    auto* setup = new TarnSettingsSection(QStringLiteral("Setup"));
    auto* text = new QWidget(setup->card());
    auto* column = new QVBoxLayout(text);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(label(QStringLiteral("Run setup again"), text));
    column->addWidget(caption(QStringLiteral("Walks the four keys and the choices from first run."), text));
    auto* replay = button(QStringLiteral("Replay"), setup->card());
    connect(replay, &QPushButton::clicked, this, [this] { m_services.center.post(tarnwickShowWelcome); });
    auto* setupRow = row({text, replay}, 12);
    setupRow->setStretch(0, 1);
    setup->addRow(setupRow);
    setup->addDivider();
    // The sentence about screen sharing is left out: this desktop cannot hide windows from it.
    setup->addRow(
        caption(QStringLiteral("Tarnwick never asks to read your other files, nor for the camera, the microphone, "
                               "your contacts or your location."),
                setup->card()));
    addSection(setup);

    m_poll = new QTimer(this);
    m_poll->setInterval(1000);
    connect(m_poll, &QTimer::timeout, this, &PermissionsSettingsTab::refresh);
}

void PermissionsSettingsTab::askAuthentication()
{
    m_authentication = m_services.authenticator.availability();
}

void PermissionsSettingsTab::showEvent(QShowEvent* event)
{
    SettingsPage::showEvent(event);
    askAuthentication();
    refresh();
    m_poll->start();
}

void PermissionsSettingsTab::hideEvent(QHideEvent* event)
{
    m_poll->stop();
    SettingsPage::hideEvent(event);
}

void PermissionsSettingsTab::windowActivationChanged(bool active)
{
    if (!active || !isVisible()) return;
    askAuthentication();
    refresh();
}

void PermissionsSettingsTab::refresh()
{
    QList<PermissionAudit::Item> items = m_audit(m_probes);
    bool same = items.size() == m_items.size();
    for (qsizetype i = 0; same && i < items.size(); ++i) same = sameItem(items[i], m_items[i]);
    if (same) return;
    m_items = std::move(items);
    rebuildRows();
}

QWidget* PermissionsSettingsTab::rowWidget(const QString& id) const
{
    for (qsizetype i = 0; i < m_items.size() && i < m_rowWidgets.size(); ++i)
        if (m_items[i].id == id) return m_rowWidgets[i];
    return nullptr;
}

void PermissionsSettingsTab::rebuildRows()
{
    QLayout* rows = m_section->rows();
    while (QLayoutItem* item = rows->takeAt(0)) {
        if (QWidget* w = item->widget()) w->deleteLater();
        delete item;
    }
    m_rowWidgets.clear();
    for (const PermissionAudit::Item& item : std::as_const(m_items)) {
        if (!m_rowWidgets.isEmpty()) m_section->addDivider();
        auto* rowWidget = new QWidget(m_section->card());
        rowWidget->setObjectName(item.id);
        auto* layout = new QHBoxLayout(rowWidget);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(12);
        auto* text = new QWidget(rowWidget);
        auto* column = new QVBoxLayout(text);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(2);
        const auto look = SettingsTexts::permissionBadge(item.state, item.isCapability);
        QColor fill = look.color;
        fill.setAlphaF(0.14);
        auto* badge = new Badge(look.word, look.color, fill, text);
        column->addLayout(SettingsWidgets::row({label(item.title, text), badge, nullptr}, 6));
        // What is missing says why, not what the row would give ("Locked notes open with...").
        const bool missing = item.state.kind == PermissionAudit::State::unsupported && !item.state.reason.isEmpty();
        column->addWidget(caption(missing ? item.state.reason : item.consequence, text));
        layout->addWidget(text, 1, Qt::AlignTop);
        layout->addSpacing(8);
        if (item.state.kind != PermissionAudit::State::unsupported && !item.settingsCommand.isEmpty()) {
            const bool granted = item.state.kind == PermissionAudit::State::granted;
            auto* action = button(granted ? QStringLiteral("Open…") : QStringLiteral("Allow…"), rowWidget);
            connect(action, &QPushButton::clicked, this, [item] { PermissionAudit::open(item); });
            layout->addWidget(action, 0, Qt::AlignTop);
        }
        m_section->addRow(rowWidget);
        m_rowWidgets << rowWidget;
    }
}
