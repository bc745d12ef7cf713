#pragma once

#include <QPixmap>
#include <QPointer>
#include <memory>
#include <optional>

#include "design/KeyablePanel.h"
#include "onboarding/OnboardingController.h"
#include "onboarding/OnboardingFlowModel.h"
#include "onboarding/OnboardingScreens.h"
#include "onboarding/TourKeyboard.h"

class Clock;
class KeyPressSequence;
class NotificationCenter;
class QVariantAnimation;

// The first-run tour's window: a 520 × 400 light panel, titled with its place in the tour, that shows
// one page at a time and moves between pages on snapshots of them. Return or Enter presses the page's
// filled button (one press, one step: a held key's repeats are ignored), Ctrl+Q quits, and a close by
// the window manager ends the tour uncompleted. It is an ordinary top-level window in the taskbar, so the
// window manager's keyboard switch reaches it, and it takes the keyboard back when a window of ours
// that held it goes (see TourKeyboard).
class OnboardingWindow : public KeyablePanel, public OnboardingPanel {
    Q_OBJECT
public:
    static constexpr int kWidth = 520, kHeight = 400, kRadius = 16, kTransitionMs = 260, kPageChangeMs = 250;

    struct Options {
        bool captureAvailable = false;
        bool reduceMotion = false;
        bool composited = false;
    };

    OnboardingWindow(OnboardingController& controller, NotificationCenter& center, Clock& clock,
                     OnboardingServices services, Options options, QWidget* parent = nullptr);
    ~OnboardingWindow() override;

    // OnboardingPanel
    void present() override;
    void bringToFront() override;
    void discard() override;

    OnboardingFlowModel& flow() { return *m_flow; }
    const OnboardingPage& page() const { return m_page; }
    // True while one page still gives way to the next on screen.
    bool changingPage() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Centred, or clear of where the new note and the shelf open (see TourPlacement).
    void place();
    // `sameScreen`: the page is built again for a change within its screen (a key page earned).
    void showPage(bool slide, bool sameScreen = false);
    void pageChanged();
    QString pageShape() const;
    void focusPage();
    void watchKeyboard();
    void stopWatchingKeyboard();

    QPointer<OnboardingController> m_controller;
    OnboardingServices m_services;
    Options m_options;
    std::unique_ptr<OnboardingFlowModel> m_flow;
    KeyPressSequence* m_press = nullptr;
    QWidget* m_host = nullptr;
    OnboardingPage m_page;
    QString m_pageShape;  // what decides whether a change rebuilds the page
    class Transition;
    QPointer<Transition> m_transition;
    bool m_discarded = false;
    std::optional<TourKeyboard> m_keyboard;
};
