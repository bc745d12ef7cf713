#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <tuple>

#include "design/SharePrivacy.h"
#include "mcp/MCPApprovalCard.h"
#include "mcp/MCPApprovalCardPresenter.h"
#include "mcp/MCPApprovalController.h"
#include "platform/Settings.h"
#include "support/FakeClock.h"

namespace {

struct RecordingPresenter : MCPApprovalPresenter {
    int shown = 0, hidden = 0;
    QString name;
    std::function<void(bool)> answer;
    void show(const QString& n, const QString&, std::function<void(bool)> a) override
    {
        ++shown;
        name = n;
        answer = std::move(a);
    }
    void hide() override { ++hidden; }
};

using Answer = MCPApprover::Answer;

struct ControllerFixture {
    FakeClock clock;
    MCPApprovalController controller{clock};
    RecordingPresenter* presenter = new RecordingPresenter;
    QList<Answer> answers;
    QStringList answeredNames;

    ControllerFixture() { controller.setPresenter(std::unique_ptr<MCPApprovalPresenter>(presenter)); }
    void ask(const QString& name = "Claude")
    {
        controller.request(name, "Read only", [this, name](Answer a) {
            answers << a;
            answeredNames << name;
        });
    }
};

TEST(MCPApprovalController, OneCardAtATimeEachAnsweredOnce)
{
    ControllerFixture f;
    f.ask("First");
    f.ask("Second");  // waits its turn; the first card stays
    EXPECT_TRUE(f.answers.isEmpty());
    EXPECT_EQ(f.presenter->shown, 1);
    EXPECT_EQ(f.presenter->name, "First");
    auto firstCard = f.presenter->answer;
    firstCard(true);
    firstCard(false);  // a second press finds the first card gone
    EXPECT_EQ(f.answers, QList<Answer>{Answer::allowed});
    EXPECT_EQ(f.presenter->shown, 2);  // the second card follows at once
    EXPECT_EQ(f.presenter->name, "Second");

    f.ask("Third");
    firstCard(true);  // a stale card cannot answer the next one
    EXPECT_EQ(f.answers.size(), 1);
    f.presenter->answer(false);
    EXPECT_EQ(f.presenter->name, "Third");
    f.presenter->answer(true);
    EXPECT_EQ(f.answers, (QList<Answer>{Answer::allowed, Answer::denied, Answer::allowed}));
    EXPECT_EQ(f.answeredNames, (QStringList{"First", "Second", "Third"}));
    EXPECT_FALSE(f.controller.isPending());
    EXPECT_EQ(f.clock.pendingCount(), 0);  // answered cards leave no time-out behind

    MCPApprovalController headless(f.clock);  // nobody could answer: unanswered, not denied
    headless.request("X", "Read only", [&](Answer a) { f.answers << a; });
    EXPECT_EQ(f.answers.last(), Answer::unanswered);
}

TEST(MCPApprovalController, WaitingCardsHaveTheirOwnMinuteAndTheQueueIsShort)
{
    ControllerFixture f;
    f.ask("A");
    f.clock.advance(MCPApprovalController::kTimeoutMs - 1);
    f.ask("B");
    f.ask("A");  // the same client again shares its card: it is not asked twice at once
    EXPECT_TRUE(f.answers.isEmpty());
    f.clock.advance(1);
    EXPECT_EQ(f.answers, (QList<Answer>{Answer::unanswered, Answer::unanswered}));
    EXPECT_EQ(f.answeredNames, (QStringList{"A", "A"}));
    EXPECT_EQ(f.presenter->name, "B");
    f.clock.advance(MCPApprovalController::kTimeoutMs - 1);  // B's minute began when B showed
    EXPECT_EQ(f.answers.size(), 2);
    f.presenter->answer(true);
    EXPECT_EQ(f.answers.last(), Answer::allowed);
    f.presenter->answer(true);  // pressed after the answer
    EXPECT_EQ(f.answers.size(), 3);

    for (int i = 0; i <= MCPApprovalController::kMaxWaiting; ++i) f.ask(QStringLiteral("C%1").arg(i));
    EXPECT_TRUE(f.answers.size() == 3);
    f.ask("Overflow");  // beyond the queue: answered at once, and not as the user's Deny
    EXPECT_EQ(f.answers.last(), Answer::unanswered);
    EXPECT_EQ(f.answeredNames.last(), "Overflow");
    EXPECT_EQ(f.controller.waiting(), MCPApprovalController::kMaxWaiting);
}

TEST(MCPApprovalController, UnansweredCardIsRefusedAfterAMinute)
{
    ControllerFixture f;
    f.ask();
    f.clock.advance(MCPApprovalController::kTimeoutMs - 1);
    EXPECT_TRUE(f.answers.isEmpty());
    f.clock.advance(1);
    EXPECT_EQ(f.answers, QList<Answer>{Answer::unanswered});
    EXPECT_EQ(f.presenter->hidden, 1);
    f.presenter->answer(true);  // pressed after the time-out
    EXPECT_EQ(f.answers, QList<Answer>{Answer::unanswered});
}

TEST(MCPApprovalCard, ButtonsKeysAndLook)
{
    MCPApprovalCard card("Claude", "Read only");
    EXPECT_EQ(card.scopeSymbol(), "eye");
    EXPECT_EQ(card.headline()->text(), "Claude wants to read your notes");
    EXPECT_EQ(card.windowFlags() & (Qt::WindowType_Mask | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint),
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint);
    EXPECT_EQ(MCPApprovalCard("C", "Read & write").scopeSymbol(), "square.and.pencil");
    EXPECT_EQ(MCPApprovalCard("C", "Read & Write").scopeSymbol(), "eye");  // the match is case-sensitive
    MCPApprovalCard longName(QString(40, 'W') + " " + QString(40, 'W') + " assistant", "Read only");
    EXPECT_EQ(longName.width(), MCPApprovalCard::kWidth);
    EXPECT_EQ(card.width(), MCPApprovalCard::kWidth);
    EXPECT_GT(longName.height(), card.height());

    const QList<std::pair<std::function<void(MCPApprovalCard&)>, bool>> cases{
        {[](MCPApprovalCard& c) { QTest::mouseClick(c.allowButton(), Qt::LeftButton); }, true},
        {[](MCPApprovalCard& c) { QTest::keyClick(&c, Qt::Key_Return); }, true},
        {[](MCPApprovalCard& c) { QTest::mouseClick(c.denyButton(), Qt::LeftButton); }, false},
        {[](MCPApprovalCard& c) { QTest::keyClick(&c, Qt::Key_Escape); }, false},
        {[](MCPApprovalCard& c) { QTest::keyClick(&c, Qt::Key_Period, Qt::ControlModifier); }, false},
        {[](MCPApprovalCard& c) { c.close(); }, false},
    };
    for (const auto& [act, allowed] : cases) {
        MCPApprovalCard c("Client", "Read only");
        QList<bool> answers;
        QObject::connect(&c, &MCPApprovalCard::allowed, [&] { answers << true; });
        QObject::connect(&c, &MCPApprovalCard::denied, [&] { answers << false; });
        c.present(Settings::shared());
        EXPECT_EQ(SharePrivacy::wishedHidden(&c), std::optional<bool>(true));  // kept out of sharing by default
        act(c);
        QTest::keyClick(&c, Qt::Key_Escape);  // only the first answer counts
        EXPECT_EQ(answers, QList<bool>{allowed});
    }
}

TEST(MCPApprovalCard, LongNameIsCutOnceKeptWholeForScreenReadersAndTheCornersAreCut)
{
    const QString tail = "-end-of-the-name";
    for (const QString& name :
         {QString(120, 'W') + tail, QString("Claude"), QString("<b>Bold</b> " + QString(60, 'y')),
          QString("A client with a very long name that goes on and on, and on, to its very end")}) {
        MCPApprovalCard card(name, "Read only");
        card.present(Settings::shared());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&card));
        QLabel* headline = card.headline();
        const QString asks = " wants to read your notes";
        EXPECT_EQ(headline->accessibleName(), name + asks);
        EXPECT_TRUE(headline->toolTip().contains(name.right(8))) << headline->toolTip().toStdString();
        ASSERT_TRUE(headline->text().endsWith(asks));
        const QString shownName = headline->text().chopped(asks.size());
        // Cut at most once, in the middle: the name's beginning and its end both stay.
        EXPECT_LE(shownName.count(QChar(0x2026)), 1);
        EXPECT_TRUE(shownName.startsWith(name.left(3)));
        EXPECT_TRUE(shownName.endsWith(name.right(3))) << shownName.toStdString();
        // The name's line fits the label as drawn, so the label cuts nothing more.
        const QFontMetrics metrics(headline->font());
        if (!shownName.contains(' ')) {
            EXPECT_LE(std::max(metrics.horizontalAdvance(shownName), metrics.boundingRect(shownName).width()),
                      headline->contentsRect().width());
        }

        // Without a compositor (as offscreen) the window is shaped to the rounded card.
        const QRegion shape = card.mask();
        EXPECT_TRUE(shape.contains(card.rect().center()) && !shape.contains(QPoint(0, 0)) &&
                    !shape.contains(QPoint(card.width() - 1, card.height() - 1)));
    }
}

TEST(MCPApprovalCard, OnlyAKeyPressedOnThisCardAnswersIt)
{
    MCPApprovalCard card("Client", "Read only");
    QList<bool> answers;
    QObject::connect(&card, &MCPApprovalCard::allowed, [&] { answers << true; });
    card.present(Settings::shared());
    auto send = [&](QEvent::Type type, bool autoRepeat) {
        QKeyEvent event(type, Qt::Key_Return, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(&card, &event);
    };
    // The release of a Return that answered the card before, and a held-down Return repeating.
    send(QEvent::KeyRelease, false);
    send(QEvent::KeyPress, true);
    send(QEvent::KeyRelease, true);
    EXPECT_TRUE(answers.isEmpty());
    send(QEvent::KeyPress, false);
    EXPECT_TRUE(answers.isEmpty());  // answered when the key comes up
    send(QEvent::KeyRelease, false);
    EXPECT_EQ(answers, QList<bool>{true});
}

TEST(MCPApprovalCard, AChordAnswersAsPressedWhicheverKeyComesUpFirst)
{
    using Step = std::tuple<QEvent::Type, Qt::Key, Qt::KeyboardModifiers>;
    const auto ctrl = Qt::ControlModifier;
    const auto none = Qt::NoModifier;
    // The modifiers a release carries are those still held as it comes up.
    const QList<std::pair<QList<Step>, QList<bool>>> cases{
        // Ctrl+period, Ctrl let go first (as xdotool and many people do) and last.
        {{{QEvent::KeyPress, Qt::Key_Control, none},
          {QEvent::KeyPress, Qt::Key_Period, ctrl},
          {QEvent::KeyRelease, Qt::Key_Control, ctrl},
          {QEvent::KeyRelease, Qt::Key_Period, none}},
         {false}},
        {{{QEvent::KeyPress, Qt::Key_Control, none},
          {QEvent::KeyPress, Qt::Key_Period, ctrl},
          {QEvent::KeyRelease, Qt::Key_Period, ctrl},
          {QEvent::KeyRelease, Qt::Key_Control, ctrl}},
         {false}},
        // A period pressed alone answers nothing, even with Ctrl held by the time it comes up.
        {{{QEvent::KeyPress, Qt::Key_Period, none},
          {QEvent::KeyPress, Qt::Key_Control, none},
          {QEvent::KeyRelease, Qt::Key_Period, ctrl}},
         {}},
        // Return with Ctrl held at its release still allows.
        {{{QEvent::KeyPress, Qt::Key_Return, none}, {QEvent::KeyRelease, Qt::Key_Return, ctrl}}, {true}},
        // A release of a Ctrl+period pressed on the card before this one answers nothing.
        {{{QEvent::KeyRelease, Qt::Key_Period, ctrl}, {QEvent::KeyRelease, Qt::Key_Period, none}}, {}},
    };
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const auto& [steps, expected] = cases[i];
        MCPApprovalCard card("Client", "Read only");
        QList<bool> answers;
        QObject::connect(&card, &MCPApprovalCard::allowed, [&] { answers << true; });
        QObject::connect(&card, &MCPApprovalCard::denied, [&] { answers << false; });
        card.present(Settings::shared());
        for (const auto& [type, key, modifiers] : steps) {
            QKeyEvent event(type, key, modifiers);
            QApplication::sendEvent(&card, &event);
        }
        EXPECT_EQ(answers, expected) << "case " << i;
    }
}

TEST(MCPApprovalCard, PresenterTakesTheCardAwayAfterAnAnswerOrTheTimeOut)
{
    FakeClock clock;
    MCPApprovalController controller(clock);
    auto* presenter = new MCPApprovalCardPresenter(Settings::shared());
    controller.setPresenter(std::unique_ptr<MCPApprovalPresenter>(presenter));
    QList<bool> answers;
    controller.request("Raycast", "Read & write", [&](Answer a) { answers << (a == Answer::allowed); });
    QPointer<MCPApprovalCard> card = presenter->card();
    ASSERT_TRUE(card && card->isVisible());
    QTest::mouseClick(card->allowButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return card.isNull(); }, 2000));

    controller.request("Raycast", "Read only", [&](Answer a) { answers << (a == Answer::allowed); });
    card = presenter->card();
    clock.advance(MCPApprovalController::kTimeoutMs);
    EXPECT_TRUE(QTest::qWaitFor([&] { return card.isNull(); }, 2000));
    EXPECT_EQ(answers, (QList<bool>{true, false}));
}

// The card takes the keyboard from the note being typed in; answered by key or button, it gives the
// keyboard back to that note's field, so the next letters land there.
TEST(MCPApprovalCard, AnAnswerGivesTheKeyboardBackToTheWindowThatHadIt)
{
    QWidget note;
    note.setGeometry(300, 200, 360, 300);
    auto* text = new QLineEdit(&note);
    new QLineEdit(&note);
    note.show();
    QApplication::setActiveWindow(&note);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&note));
    text->setFocus();

    FakeClock clock;
    MCPApprovalController controller(clock);
    auto* presenter = new MCPApprovalCardPresenter(Settings::shared());
    controller.setPresenter(std::unique_ptr<MCPApprovalPresenter>(presenter));
    using Answerer = std::function<void(MCPApprovalCard&)>;
    for (const Answerer& answerCard : {Answerer([](MCPApprovalCard& c) { QTest::keyClick(&c, Qt::Key_Escape); }),
                                       Answerer([](MCPApprovalCard& c) { c.allowButton()->click(); })}) {
        controller.request("Cursor", "Read only", [](Answer) {});
        QPointer<MCPApprovalCard> card = presenter->card();
        ASSERT_TRUE(card);
        ASSERT_TRUE(QTest::qWaitForWindowActive(card.data()));
        answerCard(*card);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &note; }, 2000));
        EXPECT_EQ(QApplication::focusWidget(), text);
        if (QWidget* focus = QApplication::focusWidget()) QTest::keyClicks(focus, "ab");
    }
    // Two clients at once: the second card follows the first, and gives the keyboard back in the end.
    controller.request("One", "Read only", [](Answer) {});
    controller.request("Two", "Read only", [](Answer) {});
    presenter->card()->allowButton()->click();
    QPointer<MCPApprovalCard> second = presenter->card();
    ASSERT_TRUE(second);
    ASSERT_TRUE(QTest::qWaitForWindowActive(second.data()));
    QTest::keyClick(second.data(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &note; }, 2000));
    EXPECT_EQ(QApplication::focusWidget(), text);
    EXPECT_EQ(text->text(), "abab");
}

}  // namespace
