#pragma once

#include <QObject>
#include <QSet>
#include <QStringList>
#include <optional>

#include "capture/HotkeyManager.h"
#include "platform/NotificationCenter.h"

class PracticeSelection;
class Settings;

// The first-run tour's eight screens, one at a time and only forwards, and what each shows. A hot-key
// screen is earned only by its own real hot key (the application's "tarnwickHotkeyFired" posts), on
// that screen; "Skip" leaves it unearned. The practice words count only while the practice field is on
// the page: whenever it goes, they are emptied.
class OnboardingFlowModel : public QObject {
    Q_OBJECT
public:
    enum class Screen { welcome, newNote, capture, hide, shelf, notes, connections, agreement };
    static constexpr int kScreenCount = 8;
    static constexpr int kMarkCount = 4;  // the key pages, which carry the step marks
    static std::optional<Screen> screenFromRawValue(int raw);
    static bool isSkippable(Screen screen);
    // The hot key a screen listens for, if any.
    static std::optional<HotkeyManager::Action> listensFor(Screen screen);
    // The step mark of a hot-key screen (0 to 3 of 4).
    static std::optional<int> markIndex(Screen screen);
    // The key-cap labels of an action's binding in force: "Alt", "Shift", "Space".
    static QStringList chord(HotkeyManager::Action action, const Settings& settings);

    // The capture page's three states.
    enum class CaptureGroup { none, enableCapture, practice, captured };

    // What the page on screen shows.
    struct Page {
        QString title;
        QString body;
        QStringList keys;  // key caps; empty when the page shows none
        bool keysEarned = false;
        bool keysAsleep = false;
        std::optional<QString> listening;  // the listening label, when shown
        bool listeningUrgent = false;
        QString primaryButton;  // the filled button's title; empty when there is none
        bool showsSkip = false;
        std::optional<int> markIndex;
        CaptureGroup captureGroup = CaptureGroup::none;
    };

    // `captureAvailable`: this session lets capture read other applications' selections (fixed for the
    // process).
    OnboardingFlowModel(NotificationCenter& center, const Settings& settings, PracticeSelection& practice,
                        bool captureAvailable, QObject* parent = nullptr);

    Screen screen() const { return m_screen; }
    bool isEarned(Screen screen) const { return m_earned.contains(screen); }
    int pressTick() const { return m_pressTick; }
    bool captureAvailable() const { return m_captureAvailable; }
    PracticeSelection& practice() const { return m_practice; }
    // "Tarnwick tour (Step 2 of 4)" on a key page, as its step marks read; "Tarnwick tour" elsewhere.
    QString windowTitle() const;
    Page page() const;
    // Whether the practice field is on the page now.
    bool showsPracticeField() const;

    // The one way forward: the next screen, or past the last one, finished().
    void advance();
    // A "tarnwickHotkeyFired" post's object.
    void hotkeyFired(const QString& object);

Q_SIGNALS:
    void screenChanged();
    // A hot-key screen was earned: the key caps play their press once.
    void earned(int pressTick);
    // Something the page shows changed without a change of screen.
    void pageChanged();
    void finished();

private:
    void dropPracticeWhenFieldGone();

    const Settings& m_settings;
    PracticeSelection& m_practice;
    bool m_captureAvailable;
    Screen m_screen = Screen::welcome;
    QSet<Screen> m_earned;
    int m_pressTick = 0;
    ObserverToken m_hotkeyObserver;
};
