#pragma once

#include <QAbstractButton>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QUrl>
#include <functional>

#include "onboarding/LaunchAtLoginChoice.h"
#include "onboarding/OnboardingFlowModel.h"

class KeyPressSequence;
class MCPService;
class OnboardingKeycap;
class OnboardingListening;
class PracticeTextView;
class QCheckBox;
class QPushButton;
class Settings;
class UnlockSession;

// What the tour's pages reach outside the tour.
struct OnboardingServices {
    Settings* settings = nullptr;
    MCPService* mcp = nullptr;               // the connections page's switch; none hides it
    UnlockSession* unlockSession = nullptr;  // how a note is locked here
    LaunchAtLoginChoice::Backend loginItem = LaunchAtLoginChoice::Backend::loginItem();
    std::function<void()> explainCapture;      // "Enable capture"
    std::function<void(const QUrl&)> openURL;  // the legal pages
    // Where the windows the tour has the user open (a new note, the shelf) will appear, in global
    // coordinates: the tour stands clear of them where the screen has room.
    std::function<QList<QRect>()> keepClear;
};

// The connections page's switch: a track and a knob; Space toggles it.
class OnboardingSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit OnboardingSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return QSize(38, 22); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The quiet "Skip" link: tertiary text that takes the accent ink with the focus, inside a focus ring
// that leaves the text the room the buttons' rings leave theirs.
class OnboardingSkip : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kPadX = 12, kPadY = 5, kRingRadius = 8;

    explicit OnboardingSkip(const QString& title, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    // The focus ring's path (the middle of its stroke) and the text's box, in the link's coordinates.
    QRectF ringRect() const;
    QRect textRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// One page of the tour, built for the flow's state, with the parts that change in place or take keys.
struct OnboardingPage {
    QWidget* widget = nullptr;
    QPointer<QAbstractButton> primary;  // the filled button, pressed by Return
    QPointer<OnboardingKeycap> keycap;
    QPointer<OnboardingListening> listening;
    QPointer<PracticeTextView> field;
    QPointer<QCheckBox> launchAtLogin;
    QPointer<OnboardingSwitch> localConnection;
    QPointer<OnboardingSkip> skip;
};

namespace OnboardingScreens {
// The filled forward button and the quiet "Skip" link.
QPushButton* button(const QString& title, QWidget* parent);
OnboardingSkip* skip(const QString& title, QWidget* parent);

// The texts of the notes page's facts, in order: symbol, title, detail.
struct Fact {
    QString symbol, title, detail;
};
QList<Fact> facts(const UnlockSession* unlockSession);
// The local connection card's line under its title.
QString localConnectionDetail(bool readOnly);
// The five client tiles: resource path and display name.
QList<std::pair<QString, QString>> clientTiles();

OnboardingPage build(OnboardingFlowModel& model, const OnboardingServices& services, const KeyPressSequence* press,
                     bool reduceMotion, QWidget* parent);
}  // namespace OnboardingScreens
