#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

#include "platform/FocusReturn.h"
#include "settings/SettingsServices.h"

class PreferenceTabsController;

// The one settings window: a normal top-level window titled "Tarnwick Settings", 560 px wide and not
// resizable, built at the first show() (centred on the screen under the pointer) and kept; closing
// only hides it, and gives the keyboard back to the window of ours it was opened from. While the
// application is active it stays above other windows (OwnWindows).
class SettingsWindowController : public QObject {
    Q_OBJECT
public:
    static constexpr int kWidth = 560;
    static constexpr int kPageHeight = 620;

    // The services are asked for when the window is first built: the controller is made before some
    // of them exist.
    using ServicesFactory = std::function<SettingsServices()>;
    explicit SettingsWindowController(ServicesFactory services, QObject* parent = nullptr);
    ~SettingsWindowController() override;

    // Brings the window to the front on the stored tab, building it the first time. Closed, it gives the
    // keyboard back to `giveBackTo` when that names a window, else to the window of ours that had it.
    void show(const FocusReturn& giveBackTo = {});
    QWidget* window() const { return m_window.data(); }
    PreferenceTabsController* tabs() const { return m_tabs; }
    // The theme window's entries; the Note tab offers editing and new themes from then on.
    void setThemeActions(SettingsThemeActions actions);

private:
    void build();

    ServicesFactory m_factory;
    std::optional<SettingsServices> m_services;
    SettingsThemeActions m_themeActions;
    QPointer<QWidget> m_window;
    PreferenceTabsController* m_tabs = nullptr;
};
