#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

#include "onboarding/PracticeSelection.h"

class Clock;
class Settings;

enum class OnboardingMode { firstRun };

// What the controller needs of the tour's window.
class OnboardingPanel {
public:
    virtual ~OnboardingPanel() = default;
    // Centred on the screen under the pointer, shown and given the keyboard.
    virtual void present() = 0;
    // Brought to the front and given the keyboard, as it is.
    virtual void bringToFront() = 0;
    // Hidden and deleted on a later turn of the event loop: the call may come from the panel's own button.
    virtual void discard() = 0;
};

// The first-run tour's window for as long as it is on screen: one at a time, each showing a fresh tour
// on its first screen. Only finishing the tour records "onboarding.completed"; closing it any other way
// (the window manager's close, quitting) leaves the tour to be offered again.
class OnboardingController : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<bool()> shelfIsOpen;
        std::function<void()> presentShelf;
        std::function<void()> quit;  // the application's normal quit
    };
    // Makes the panel of one showing; the panel reports back through finish(), panelClosed() and quit().
    using PanelFactory = std::function<OnboardingPanel*(OnboardingController&)>;

    static constexpr qint64 kShelfDelayMs = 200;

    OnboardingController(Settings& settings, Clock& clock, PanelFactory makePanel, Hooks hooks,
                         QObject* parent = nullptr);
    ~OnboardingController() override;

    // Builds and shows the tour, or brings the open one to the front with its progress kept.
    bool present(OnboardingMode mode = OnboardingMode::firstRun);
    bool isOpen() const { return m_panel != nullptr; }
    OnboardingMode mode() const { return m_mode; }

    // The practice words for the capture hot key: none unless the tour is open and words are selected.
    std::optional<QString> practiceSelection() const;
    PracticeSelection& practice() { return m_practice; }

    // The tour's last button: records completion, closes the tour and, a moment later, opens the shelf
    // unless it is open. Once per showing.
    void finish();
    // The window manager closed the tour: it ends uncompleted.
    void panelClosed();
    // Ctrl+Q in the tour.
    void quit();

    // The tour's quit chord: Ctrl+Q, nothing else held.
    static bool isQuitChord(int key, Qt::KeyboardModifiers modifiers);

private:
    void tearDown();

    Settings& m_settings;
    Clock& m_clock;
    PanelFactory m_makePanel;
    Hooks m_hooks;
    OnboardingMode m_mode = OnboardingMode::firstRun;
    OnboardingPanel* m_panel = nullptr;
    PracticeSelection m_practice;
};
