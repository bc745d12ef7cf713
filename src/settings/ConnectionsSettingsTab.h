#pragma once

#include <QList>

#include "platform/Clock.h"
#include "settings/SettingsPage.h"
#include "settings/SettingsServices.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class TarnSettingsSection;
class TarnSwitch;
namespace SettingsWidgets {
class SymbolLabel;
}

// The local MCP endpoint: on and off, read-only or read and write, its state and address, a new token,
// how to connect two clients, and the clients the user approved.
class ConnectionsSettingsTab : public SettingsPage {
    Q_OBJECT
public:
    static constexpr int kCopiedMs = 1500;
    // The copied address holds the token: it is taken off the clipboard after this long.
    static constexpr int kClearCopiedMs = 60'000;
    // Marks copied data as a secret for clipboard managers that keep a history.
    static constexpr const char* kSecretHintFormat = "x-kde-passwordManagerHint";

    explicit ConnectionsSettingsTab(const SettingsServices& services, QWidget* parent = nullptr);

    TarnSwitch* enableSwitch() const { return m_enable; }
    QPushButton* readOnlyButton() const { return m_readOnly; }
    QPushButton* readWriteButton() const { return m_readWrite; }
    SettingsWidgets::SymbolLabel* status() const { return m_status; }
    QLineEdit* address() const { return m_address; }
    QPushButton* copyButton() const { return m_copy; }
    QPushButton* regenerateButton() const { return m_regenerate; }
    QLabel* tokenError() const { return m_tokenError; }
    QPushButton* setupButton() const { return m_setupToggle; }
    TarnSettingsSection* approvedSection() const { return m_approved; }
    QList<QPushButton*> revokeButtons() const { return m_revokes; }
    bool copied() const { return m_copied; }

private:
    void refresh();
    void rebuildApproved(const QStringList& names);
    void copy();
    void setCopied(bool copied);
    void chainTabOrder();

    const SettingsServices& m_services;
    TarnSwitch* m_enable = nullptr;
    QPushButton* m_readOnly = nullptr;
    QPushButton* m_readWrite = nullptr;
    SettingsWidgets::SymbolLabel* m_status = nullptr;
    QList<QWidget*> m_endpointRows;
    QLineEdit* m_address = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_regenerate = nullptr;
    QLabel* m_tokenError = nullptr;
    QPushButton* m_setupToggle = nullptr;
    QWidget* m_setup = nullptr;
    QLabel* m_setupCommand = nullptr;
    bool m_showSetup = false;
    TarnSettingsSection* m_approved = nullptr;
    QStringList m_approvedShown;
    QList<QPushButton*> m_revokes;
    bool m_copied = false;
    TimerHandle m_copiedReset;
    TimerHandle m_clearCopied;
};
