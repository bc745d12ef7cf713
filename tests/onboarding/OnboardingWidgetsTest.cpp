// The tour's window and its pieces on the offscreen platform: key caps and their press, the pages'
// keys and controls, and the switches that reach outside the tour.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QEasingCurve>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include "design/Symbols.h"
#include "design/TarnwickStyle.h"
#include "design/TarnwickTheme.h"
#include "mcp/MCPFakes.h"
#include "model/NoteNotifications.h"
#include "onboarding/KeyPressSequence.h"
#include "onboarding/OnboardingKeycap.h"
#include "onboarding/OnboardingWindow.h"
#include "onboarding/PracticeTextView.h"
#include "platform/Settings.h"
#include "support/ActiveAccessibility.h"
#include "support/FakeClock.h"

namespace {

using Screen = OnboardingFlowModel::Screen;

TEST(OnboardingKeycap, PressRunsLeftToRightOnTheClockUnlessMotionIsReduced)
{
    FakeClock clock;
    KeyPressSequence press(clock, false);
    const qint64 start = clock.elapsedMs();
    press.play(3);
    auto at = [&](qint64 ms) {
        clock.advance(start + ms - clock.elapsedMs());
        return press.depressed();
    };
    EXPECT_EQ(at(0), (QSet<int>{0}));
    EXPECT_EQ(at(40), (QSet<int>{0, 1}));
    EXPECT_EQ(at(89), (QSet<int>{0, 1, 2}));
    EXPECT_EQ(at(90), (QSet<int>{1, 2}));
    EXPECT_EQ(at(170), QSet<int>{});
    // A second press during the first plays alongside it and every key comes back up.
    press.play(2);
    at(200);
    press.play(2);
    EXPECT_EQ(at(250), (QSet<int>{0, 1}));
    EXPECT_EQ(at(400), QSet<int>{});
    // The main thread held up as the press starts (the new note opening at its key): once it is free
    // the keys still go down one after another, not all at once.
    press.play(3);
    clock.stall(100);
    EXPECT_EQ(press.depressed(), QSet<int>{0});
    clock.advance(40);
    EXPECT_EQ(press.depressed(), (QSet<int>{0, 1}));

    KeyPressSequence still(clock, true);
    QSignalSpy changed(&still, &KeyPressSequence::changed);
    still.play(3);
    KeyPressSequence none(clock, false);
    QSignalSpy noneChanged(&none, &KeyPressSequence::changed);
    none.play(0);
    clock.advance(1000);
    EXPECT_EQ(changed.count() + noneChanged.count(), 0);

    // Keys fall asleep or wake one after another from the left; with Reduce Motion all at once.
    EXPECT_EQ(OnboardingKeycap::keyChangeProgress(2, 0.08), 0.0);
    EXPECT_GT(OnboardingKeycap::keyChangeProgress(0, 0.1), OnboardingKeycap::keyChangeProgress(1, 0.1));
    EXPECT_DOUBLE_EQ(OnboardingKeycap::keyChangeProgress(2, 0.08 + 0.23), 1.0);
    OnboardingKeycap reduced({"Alt", "K"}, nullptr, true);
    OnboardingKeycap moving({"Alt", "K"}, nullptr, false);
    for (OnboardingKeycap* row : {&reduced, &moving}) {
        row->show();
        row->setAsleep(true);
    }
    EXPECT_EQ(reduced.sleepiness(1), 1.0);
    EXPECT_LT(moving.sleepiness(1), 1.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return moving.sleepiness(1) == 1.0; }, 2000));
}

TEST(OnboardingKeycap, LabelsAndTheWidestChordFitWithoutClipping)
{
    OnboardingKeycap chord({"Alt", "Shift", "Space"}, nullptr);
    EXPECT_EQ(chord.accessibleName(), "Alt Shift Space");
    chord.setEarned(true);
    EXPECT_EQ(chord.accessibleName(), "Alt Shift Space, done");

    OnboardingKeycap one({"K"}, nullptr);
    one.resize(one.sizeHint());
    ASSERT_EQ(one.keyRects().size(), 1);
    EXPECT_GE(one.keyRects()[0].width(), 26 + 40);  // at least 26 wide besides the padding

    OnboardingKeycap empty({}, nullptr);
    EXPECT_EQ(empty.naturalSize().width(), 0);
    EXPECT_TRUE(empty.keyRects().isEmpty());

    // Wider than the page: scaled down as a whole, every key inside the row.
    OnboardingKeycap widest({"Ctrl", "Alt", "Shift", "Super", "K"}, nullptr);
    widest.setEarned(true);
    ASSERT_GT(widest.naturalSize().width(), 472);
    widest.resize(472, widest.sizeHint().height());
    EXPECT_LT(widest.scale(), 1.0);
    const QList<QRectF> keys = widest.keyRects();
    ASSERT_EQ(keys.size(), 5);
    for (const QRectF& key : keys) EXPECT_TRUE(QRectF(widest.rect()).contains(key)) << key.x() << " " << key.right();
    EXPECT_LT(keys[3].right(), keys[4].left());
}

// The tour in its real window, over fakes for what it reaches outside.
struct TourWindow {
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    NotificationCenter center;
    FakeClock clock;
    ServiceFixture mcp;
    int quits = 0;
    int loginSets = 0;
    bool loginEntry = false;
    bool loginRefuses = false;
    bool captureAvailable = true;
    bool reduceMotion = true;
    OnboardingController controller{settings,
                                    clock,
                                    [this](OnboardingController& c) { return make(c); },
                                    {[] { return false; }, [] {}, [this] { ++quits; }}};
    QPointer<OnboardingWindow> window;

    OnboardingPanel* make(OnboardingController& c)
    {
        OnboardingServices services;
        services.settings = &settings;
        services.mcp = mcp.service.get();
        services.loginItem = {[this] { return loginEntry; },
                              [this](bool on) -> std::optional<QString> {
                                  ++loginSets;
                                  if (loginRefuses) return QString("Launching at login could not be turned on.");
                                  loginEntry = on;
                                  return std::nullopt;
                              }};
        window = new OnboardingWindow(c, center, clock, services, {captureAvailable, reduceMotion, false});
        return window;
    }
    OnboardingWindow& open()
    {
        controller.present();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        return *window;
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false, QWidget* to = nullptr)
    {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(), autoRepeat);
        QApplication::sendEvent(to                            ? to
                                : QApplication::focusWidget() ? QApplication::focusWidget()
                                                              : window.data(),
                                &press);
    }
    void goTo(Screen screen)
    {
        while (window->flow().screen() != screen) window->flow().advance();
    }
    QStringList labels() const
    {
        QStringList out;
        for (QLabel* l : window->page().widget->findChildren<QLabel*>()) out << l->text();
        return out;
    }
};

TEST(OnboardingWindow, ReturnPressesTheFilledButtonOncePerPressAndCtrlQQuits)
{
    TourWindow t;
    OnboardingWindow& w = t.open();
    EXPECT_EQ(w.windowTitle(), "Tarnwick tour");
    EXPECT_EQ(w.size(), QSize(520, 400));

    t.key(Qt::Key_Return);
    EXPECT_EQ(w.windowTitle(), "Tarnwick tour (Step 1 of 4)");
    t.key(Qt::Key_Return, Qt::NoModifier, true);  // the held key's repeats
    t.key(Qt::Key_Enter, Qt::KeypadModifier, true);
    EXPECT_EQ(w.windowTitle(), "Tarnwick tour (Step 1 of 4)");
    t.key(Qt::Key_Return);  // an unearned key screen has no filled button
    EXPECT_EQ(w.windowTitle(), "Tarnwick tour (Step 1 of 4)");

    // Tab reaches "Skip", Space presses it.
    QTest::keyClick(&w, Qt::Key_Tab);
    ASSERT_TRUE(w.page().skip);
    EXPECT_TRUE(w.page().skip->hasFocus() || QApplication::focusWidget() == w.page().skip);
    {
        // Its focus ring leaves the text room as the buttons' rings do, and is painted inside the link.
        OnboardingSkip* skip = w.page().skip;
        const QRectF ring = skip->ringRect();
        const qreal inner = TarnwickStyle::kFocusRingWidth / 2;
        const QRectF text = skip->textRect();
        EXPECT_GE(text.left() - (ring.left() + inner), 10);
        EXPECT_GE((ring.right() - inner) - text.right(), 10);
        EXPECT_GE(text.top() - (ring.top() + inner), 4);
        EXPECT_GE((ring.bottom() - inner) - text.bottom(), 4);
        EXPECT_TRUE(QRectF(skip->rect()).contains(ring.adjusted(-inner, -inner, inner, inner)));
        // The ring is drawn in the accent where the focus is, and not without it.
        auto ringPixel = [skip] {
            const QImage image = skip->grab().toImage();
            const QColor at = image.pixelColor(image.width() / 2, 1);
            return std::abs(at.red() - TarnwickStyle::focusRingColor().red()) < 40 &&
                   std::abs(at.green() - TarnwickStyle::focusRingColor().green()) < 40;
        };
        EXPECT_TRUE(ringPixel());
        skip->clearFocus();
        EXPECT_FALSE(ringPixel());
        skip->setFocus(Qt::TabFocusReason);
        // The marks say what the title says.
        const auto marks = w.findChildren<OnboardingMarks*>();
        ASSERT_EQ(marks.size(), 1);
        EXPECT_EQ(w.windowTitle(), "Tarnwick tour (" + marks[0]->accessibleName() + ")");
    }
    QTest::keyClick(w.page().skip, Qt::Key_Space);
    EXPECT_EQ(w.windowTitle(), "Tarnwick tour (Step 2 of 4)");

    t.key(Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(t.quits, 0);
    QWidget elsewhere;
    t.key(Qt::Key_Q, Qt::ControlModifier, false, &elsewhere);
    EXPECT_EQ(t.quits, 0);
    t.key(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(t.quits, 1);
    EXPECT_FALSE(t.settings.contains("onboarding.completed"));

    // The window manager's close ends the tour uncompleted; the next showing starts on its first screen.
    w.close();
    EXPECT_FALSE(t.controller.isOpen());
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(t.window.isNull());
    EXPECT_EQ(t.open().windowTitle(), "Tarnwick tour");
    EXPECT_FALSE(t.settings.contains("onboarding.completed"));
}

// How far each key's top edge stands below the next key's, as the window draws it now (whatever covers
// its page), in whole pixels.
QList<double> drawnKeySteps(OnboardingWindow& w)
{
    const QImage shot = w.grab().toImage();
    const int paper = qGray(TarnwickTheme::paper().rgb()), ink = qGray(TarnwickTheme::ink().rgb());
    auto inked = [&](int x, int y) {
        return std::clamp((paper - qGray(shot.pixel(x, y))) / double(paper - ink), 0., 1.);
    };
    QList<double> tops, steps;
    for (const QRectF& key : w.page().keycap->keyRects()) {
        const int x =
            w.page().keycap->mapTo(&w, QPointF(key.left() + 14, 0)).toPoint().x();  // clear of corner and label
        int y = 0;
        while (y < shot.height() && inked(x, y) < 0.9) ++y;
        tops << y - (y > 0 ? inked(x, y - 1) : 0);
    }
    for (int i = 0; i + 1 < tops.size(); ++i) steps << std::round(tops[i] - tops[i + 1]);
    return steps;
}

// Where the first key's left edge stands as the window draws it now, to a fraction of a pixel: read along
// a line through the key below its rounded corner, from the page's left edge.
double drawnKeysLeft(OnboardingWindow& w)
{
    const QImage shot = w.grab().toImage();
    const int paper = qGray(TarnwickTheme::paper().rgb()), ink = qGray(TarnwickTheme::ink().rgb());
    auto inked = [&](int x, int y) {
        return std::clamp((paper - qGray(shot.pixel(x, y))) / double(paper - ink), 0., 1.);
    };
    const OnboardingKeycap* row = w.page().keycap;
    const int middle = row->mapTo(&w, row->keyRects().first().center()).toPoint().x();
    int y = 0;
    while (y < shot.height() && inked(middle, y) < 0.9) ++y;
    y += 20;
    int x = 0;
    while (x < shot.width() && inked(x, y) < 0.9) ++x;
    return x - (x > 0 ? inked(x - 1, y) : 0);
}

TEST(OnboardingWindow, AnEarnedKeyPagePressesAndSlidesItsKeysInSightAndFadesInTheCheckMark)
{
    for (const bool reduceMotion : {false, true}) {
        for (const Screen screen : {Screen::newNote, Screen::capture}) {
            SCOPED_TRACE(testing::Message() << "screen " << int(screen) << ", reduce motion " << reduceMotion);
            TourWindow t;
            t.reduceMotion = reduceMotion;
            OnboardingWindow& w = t.open();
            t.goTo(screen);
            if (screen == Screen::capture) t.controller.practice().setSelectedText("these words");
            ASSERT_TRUE(QTest::qWaitFor([&] { return w.page().keycap->sleepiness(2) == 0.0; }, 2000));
            // The page change plays on the wall clock: on a busy machine it can outlast its own length.
            auto pageSettles = [&] { return QTest::qWaitFor([&] { return !w.changingPage(); }, 10000); };
            ASSERT_TRUE(pageSettles());
            const double restLeft = drawnKeysLeft(w);

            // The page is built again for its earned state while the keys go down one after another: the
            // window shows it from the first frame of the change on. With Reduce Motion nothing goes down.
            w.flow().hotkeyFired(screen == Screen::capture ? "capture" : "newNote");
            const OnboardingKeycap* row = w.page().keycap;
            ASSERT_EQ(row->keyRects().size(), 3);
            auto checkDrawn = [&] {
                // Through the middle of the check mark, beside the last key as it stands now.
                const int checkX = row->mapTo(&w, QPointF(row->keyRects().last().right() + 9 + 4 + 7, 0)).toPoint().x();
                const QImage shot = w.grab().toImage();
                for (int y = 0; y < shot.height(); ++y)
                    if (qGreen(shot.pixel(checkX, y)) > qRed(shot.pixel(checkX, y)) + 30) return true;
                return false;
            };
            // The check mark fades in: not there in the first frame.
            EXPECT_TRUE(reduceMotion || !checkDrawn());
            if (reduceMotion) {
                ASSERT_TRUE(pageSettles());
            }
            QList<double> lefts;
            auto at = [&](qint64 ms) {
                t.clock.advance(ms);
                lefts << drawnKeysLeft(w);
                return drawnKeySteps(w);
            };
            const QList<double> still{0, 0};
            EXPECT_EQ(at(0), reduceMotion ? still : (QList<double>{2, 0}));
            EXPECT_EQ(at(40), reduceMotion ? still : (QList<double>{0, 2}));
            EXPECT_EQ(at(50), reduceMotion ? still : (QList<double>{-2, 0}));
            EXPECT_EQ(at(80), still);
            EXPECT_TRUE(QTest::qWaitFor(checkDrawn, 2000));

            // The row makes room for the check mark and stays centred: the keys end half its room to the
            // left. They slide there as the press plays, on the tour's curve over 160 ms, from where they
            // stood (with Reduce Motion they are there at once).
            ASSERT_TRUE(pageSettles());
            const double endLeft = drawnKeysLeft(w);
            EXPECT_NEAR(restLeft - endLeft, (9 + 4 + 15) / 2.0, 1.0);
            ASSERT_EQ(lefts.size(), 4);
            if (reduceMotion) {
                for (double left : lefts) EXPECT_NEAR(left, endLeft, 0.5);
            } else {
                QEasingCurve curve(QEasingCurve::BezierSpline);
                curve.addCubicBezierSegment(QPointF(0.2, 0.7), QPointF(0.2, 1.0), QPointF(1, 1));
                EXPECT_NEAR(lefts[0], restLeft, 0.5);
                EXPECT_NEAR(lefts[1], restLeft + (endLeft - restLeft) * curve.valueForProgress(40 / 160.0), 1.0);
                EXPECT_NEAR(lefts[3], endLeft, 0.5);
            }
        }
    }
}

TEST(OnboardingWindow, PracticeFieldReportsItsSelectionAndIsEmptiedWhenItGoes)
{
    TourWindow t;
    OnboardingWindow& w = t.open();
    t.goTo(Screen::capture);
    ASSERT_TRUE(w.page().field);
    EXPECT_EQ(w.page().field->cursorWidth(), 0);  // read-only: no caret, yet the keys select
    EXPECT_TRUE(w.page().keycap->isAsleep());
    w.page().field->setFocus();
    QTest::keyClick(w.page().field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(t.controller.practiceSelection(), "Select any of these words to wake the keys.");
    EXPECT_FALSE(w.page().keycap->isAsleep());
    EXPECT_EQ(w.page().listening->label(), "Now press the keys");
    QTest::keyClick(w.page().field, Qt::Key_Home);
    EXPECT_EQ(t.controller.practiceSelection(), std::nullopt);  // a caret alone
    QTest::keyClick(w.page().field, Qt::Key_End, Qt::ShiftModifier);
    ASSERT_TRUE(t.controller.practiceSelection());
    // Skip: the field goes, and so do its words.
    w.flow().advance();
    EXPECT_EQ(t.controller.practiceSelection(), std::nullopt);
    EXPECT_EQ(t.controller.practice().selectedText(), "");
}

TEST(OnboardingWindow, PagesSayWhatIsTrueHere)
{
    TourWindow t;
    t.captureAvailable = false;
    OnboardingWindow& w = t.open();
    t.goTo(Screen::capture);
    EXPECT_FALSE(w.page().field);
    EXPECT_EQ(w.page().primary->text(), "Enable capture");

    t.goTo(Screen::notes);
    const QStringList facts = t.labels();
    const QString all = facts.join('\n');
    EXPECT_TRUE(all.contains("They float above everything")) << all.toStdString();
    EXPECT_TRUE(all.contains("on every workspace.")) << all.toStdString();
    EXPECT_TRUE(all.contains("Lock one with your password")) << all.toStdString();
    EXPECT_FALSE(all.contains("screen share")) << all.toStdString();
    const auto list = OnboardingScreens::facts(nullptr);
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.last().symbol, "key.fill");
    for (const auto& fact : list) EXPECT_FALSE(Symbols::icon(fact.symbol).isNull()) << fact.symbol.toStdString();
    for (const auto& [path, name] : OnboardingScreens::clientTiles())
        EXPECT_TRUE(QFile::exists(path)) << name.toStdString();
    EXPECT_FALSE(Symbols::icon("keyboard").isNull());
    EXPECT_TRUE(QFile::exists(":/BrandLockup.svg"));
}

TEST(OnboardingWindow, LaunchAtLoginEndsAtTheEntrysRealState)
{
    TourWindow t;
    t.loginEntry = true;
    t.settings.setValue("general.launchAtLogin", false);
    OnboardingWindow& w = t.open();
    t.goTo(Screen::agreement);
    // Appearing reads the entry and writes nothing to it.
    ASSERT_TRUE(w.page().launchAtLogin);
    EXPECT_TRUE(w.page().launchAtLogin->isChecked());
    EXPECT_TRUE(t.settings.boolValue("general.launchAtLogin"));
    EXPECT_EQ(t.loginSets, 0);

    w.page().launchAtLogin->click();
    EXPECT_FALSE(t.loginEntry);
    EXPECT_FALSE(t.settings.boolValue("general.launchAtLogin"));
    EXPECT_EQ(t.loginSets, 1);

    // Refused: one call, and the toggle and the key go back to what the entry is.
    t.loginRefuses = true;
    w.page().launchAtLogin->click();
    EXPECT_EQ(t.loginSets, 2);
    EXPECT_FALSE(w.page().launchAtLogin->isChecked());
    EXPECT_FALSE(t.settings.boolValue("general.launchAtLogin"));
}

TEST(OnboardingWindow, LocalConnectionSwitchDrivesTheEndpointAndAReplayRestartsNothing)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    TourWindow t;
    t.mcp.make({port, {}});
    OnboardingWindow& w = t.open();
    t.goTo(Screen::connections);
    ASSERT_TRUE(w.page().localConnection);
    EXPECT_FALSE(w.page().localConnection->isChecked());
    EXPECT_TRUE(t.labels().contains(OnboardingScreens::localConnectionDetail(true)));

    QSignalSpy running(t.mcp.service.get(), &MCPService::isRunningChanged);
    QTest::keyClick(w.page().localConnection, Qt::Key_Space);
    EXPECT_TRUE(t.mcp.service->enabled());
    EXPECT_TRUE(t.mcp.settings.boolValue("mcp.enabled"));
    EXPECT_FALSE(t.mcp.settings.contains("mcp.readOnly"));
    ASSERT_TRUE(running.count() > 0 || running.wait(5000));
    EXPECT_TRUE(t.mcp.service->isRunning());

    // Shown again (a replayed tour) with the endpoint on: the switch is on and nothing restarts.
    t.mcp.settings.setValue("mcp.readOnly", false);
    w.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    running.clear();
    OnboardingWindow& again = t.open();
    t.goTo(Screen::connections);
    EXPECT_TRUE(again.page().localConnection->isChecked());
    EXPECT_TRUE(
        t.labels().contains("Off until you turn it on. Clients can also create notes; locked notes stay invisible."));
    QTest::qWait(50);
    EXPECT_EQ(running.count(), 0);
    EXPECT_TRUE(t.mcp.service->isRunning());

    QTest::keyClick(again.page().localConnection, Qt::Key_Space);
    EXPECT_FALSE(t.mcp.service->isRunning());
    EXPECT_FALSE(t.mcp.settings.boolValue("mcp.enabled"));
}

// The capture page's still capsule is one picture to a screen reader: no glyph, label or Undo button
// inside it to reach or press, with the bus running before the page was built.
TEST(OnboardingWindow, TheStillCapsuleReadsAsOnePicture)
{
    tarnwick::test::ActiveAccessibility accessibility;
    TourWindow t;
    OnboardingWindow& w = t.open();
    t.goTo(Screen::capture);
    t.center.post(tarnwickHotkeyFired, QStringLiteral("capture"));
    QWidget* capsule = nullptr;
    for (QWidget* widget : w.page().widget->findChildren<QWidget*>())
        if (widget->accessibleName() == "Text captured, with undo") capsule = widget;
    ASSERT_TRUE(capsule);
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(capsule);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->text(QAccessible::Name), "Text captured, with undo");
    EXPECT_EQ(read->role(), QAccessible::Graphic);
    EXPECT_EQ(read->childCount(), 0);
    EXPECT_EQ(read->child(0), nullptr);
    const QPoint middle = capsule->mapToGlobal(capsule->rect().center());
    EXPECT_EQ(read->childAt(middle.x(), middle.y()), nullptr);
    ASSERT_TRUE(read->actionInterface());
    EXPECT_TRUE(read->actionInterface()->actionNames().isEmpty());
    // Its parts are there to be drawn, not read: the page lists the picture alone.
    QAccessibleInterface* page = QAccessible::queryAccessibleInterface(capsule->parentWidget());
    ASSERT_TRUE(page);
    EXPECT_GE(page->indexOfChild(read), 0);
}

}  // namespace
