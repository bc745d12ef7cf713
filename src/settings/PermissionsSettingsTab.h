#pragma once

#include <QList>
#include <functional>

#include "settings/PermissionAudit.h"
#include "settings/SettingsPage.h"
#include "settings/SettingsServices.h"

class QTimer;
class QVBoxLayout;
class TarnSettingsSection;

// What the application depends on in this desktop, each with its state and the desktop's settings
// program where there is one; and the first-run tour again. The audit is read every second while
// the page shows; the password check (PAM) only when the page shows or the window turns active.
class PermissionsSettingsTab : public SettingsPage {
    Q_OBJECT
public:
    using Audit = std::function<QList<PermissionAudit::Item>(const PermissionAudit::Probes&)>;
    explicit PermissionsSettingsTab(const SettingsServices& services, QWidget* parent = nullptr);

    void setAudit(Audit audit) { m_audit = std::move(audit); }
    void refresh();
    const QList<PermissionAudit::Item>& items() const { return m_items; }
    QWidget* rowWidget(const QString& id) const;
    QTimer* poll() const { return m_poll; }
    void windowActivationChanged(bool active) override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void askAuthentication();
    void rebuildRows();

    const SettingsServices& m_services;
    PermissionAudit::Probes m_probes;
    Authenticator::Availability m_authentication;
    Audit m_audit = &PermissionAudit::all;
    QList<PermissionAudit::Item> m_items;
    TarnSettingsSection* m_section = nullptr;
    QList<QWidget*> m_rowWidgets;
    QTimer* m_poll = nullptr;
};
