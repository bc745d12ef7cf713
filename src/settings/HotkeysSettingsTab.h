#pragma once

#include <QKeyEvent>
#include <QList>
#include <QPointer>
#include <functional>
#include <optional>

#include "capture/HotkeyManager.h"
#include "platform/Clock.h"
#include "settings/SettingsPage.h"
#include "settings/SettingsServices.h"

class QLabel;
class QPushButton;
namespace SettingsWidgets {
class SymbolLabel;
}

// The four global hot keys: each one's chord and status, recording a new chord, restoring defaults.
// Recording holds the keyboard (so no hot key of ours fires meanwhile) and ends on the next key, a
// click, a change of tab, the window hiding or losing the focus, or after 10 seconds; the keyboard is
// released on every one of those paths.
class HotkeysSettingsTab : public SettingsPage {
    Q_OBJECT
public:
    static constexpr int kRecordingTimeoutMs = 10'000;

    explicit HotkeysSettingsTab(const SettingsServices& services, QWidget* parent = nullptr);
    ~HotkeysSettingsTab() override;

    // The symbol that names the key: from the keyboard map for a real key (in any of its groups and
    // levels), from the key itself for one made up by a test (no scan code).
    static std::optional<quint32> keysymOf(const QKeyEvent& event);
    static QString defaultChords();

    void startRecording(HotkeyManager::Action action);
    std::optional<HotkeyManager::Action> recording() const { return m_recording; }
    void endRecording();

    struct Row {
        HotkeyManager::Action action;
        QLabel* chord;
        QPushButton* record;
        SettingsWidgets::SymbolLabel* status;
        QLabel* message;
    };
    const QList<Row>& rows() const { return m_rows; }
    QPushButton* restoreButton() const { return m_restore; }
    void windowActivationChanged(bool active) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    void handleKey(QKeyEvent* event);
    Row* rowFor(HotkeyManager::Action action);

    const SettingsServices& m_services;
    QList<Row> m_rows;
    QPushButton* m_restore = nullptr;
    std::optional<HotkeyManager::Action> m_recording;
    QWidget* m_grabber = nullptr;
    bool m_returnFocus = false;  // the Record button had the focus when recording began
    TimerHandle m_timeout;
    bool m_refreshQueued = false;
    QPointer<HotkeyManager> m_followed;
};
