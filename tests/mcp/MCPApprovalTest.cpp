#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "mcp/MCPApprovalCard.h"
#include "mcp/MCPApprovalCardPresenter.h"
#include "mcp/MCPApprovalController.h"
#include "support/FakeClock.h"

namespace {

struct RecordingPresenter : MCPApprovalPresenter {
    int shown = 0;
    int hidden = 0;
    QString name, scope;
    std::function<void(bool)> answer;
    void show(const QString& n, const QString& s, std::function<void(bool)> a) override
    {
        ++shown;
        name = n;
        scope = s;
        answer = std::move(a);
    }
    void hide() override { ++hidden; }
};

struct ControllerFixture {
    FakeClock clock;
    MCPApprovalController controller{clock};
    RecordingPresenter* presenter = new RecordingPresenter;
    QList<bool> answers;

    ControllerFixture() { controller.setPresenter(std::unique_ptr<MCPApprovalPresenter>(presenter)); }
    void ask(const QString& name = "Claude")
    {
        controller.request(name, "Read only", [this](bool a) { answers << a; });
    }
};

TEST(MCPApprovalController, AnswersEachRequestExactlyOnce)
{
    ControllerFixture f;
    f.ask();
    EXPECT_TRUE(f.controller.isPending());
    EXPECT_EQ(f.presenter->name, "Claude");
    EXPECT_EQ(f.presenter->scope, "Read only");
    auto firstCard = f.presenter->answer;
    firstCard(true);
    firstCard(false);  // a second press finds nothing pending
    EXPECT_EQ(f.answers, QList<bool>{true});
    EXPECT_EQ(f.presenter->hidden, 1);
    EXPECT_EQ(f.clock.pendingCount(), 0);

    f.ask("Cursor");
    firstCard(true);  // a stale card cannot answer the next one
    EXPECT_TRUE(f.controller.isPending());
    f.presenter->answer(false);
    EXPECT_EQ(f.answers, (QList<bool>{true, false}));
}

TEST(MCPApprovalController, SecondClientIsRefusedWhileACardWaits)
{
    ControllerFixture f;
    f.ask("First");
    f.ask("Second");
    EXPECT_EQ(f.answers, QList<bool>{false});
    EXPECT_EQ(f.presenter->shown, 1);
    EXPECT_EQ(f.presenter->name, "First");
    f.presenter->answer(true);
    EXPECT_EQ(f.answers, (QList<bool>{false, true}));
}

TEST(MCPApprovalController, UnansweredCardIsRefusedAfterAMinute)
{
    ControllerFixture f;
    f.ask();
    f.clock.advance(MCPApprovalController::kTimeoutMs - 1);
    EXPECT_TRUE(f.answers.isEmpty());
    f.clock.advance(1);
    EXPECT_EQ(f.answers, QList<bool>{false});
    EXPECT_EQ(f.presenter->hidden, 1);
    EXPECT_FALSE(f.controller.isPending());
    f.presenter->answer(true);  // pressed after the time-out
    EXPECT_EQ(f.answers, QList<bool>{false});

    // An answer in time leaves nothing behind to fire later.
    f.ask();
    f.presenter->answer(true);
    f.clock.advance(2 * MCPApprovalController::kTimeoutMs);
    EXPECT_EQ(f.answers, (QList<bool>{false, true}));
}

TEST(MCPApprovalController, WithoutACardNobodyCanAllow)
{
    FakeClock clock;
    MCPApprovalController controller(clock);
    QList<bool> answers;
    controller.request("X", "Read only", [&](bool a) { answers << a; });
    EXPECT_EQ(answers, QList<bool>{false});
}

TEST(MCPApprovalCard, ButtonsKeysAndScopeSymbol)
{
    MCPApprovalCard readOnly("Claude", "Read only");
    EXPECT_EQ(readOnly.scopeSymbol(), "eye");
    EXPECT_EQ(readOnly.headline()->text(), "Claude wants to read your notes");
    EXPECT_TRUE(readOnly.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(readOnly.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ((readOnly.windowFlags() & Qt::WindowType_Mask), Qt::Tool);
    EXPECT_EQ(MCPApprovalCard("C", "Read & write").scopeSymbol(), "square.and.pencil");
    EXPECT_EQ(MCPApprovalCard("C", "Read & Write").scopeSymbol(), "eye");  // the match is case-sensitive

    struct Case {
        std::function<void(MCPApprovalCard&)> act;
        bool allowed;
    };
    const QList<Case> cases{
        {[](MCPApprovalCard& c) { QTest::mouseClick(c.allowButton(), Qt::LeftButton); }, true},
        {[](MCPApprovalCard& c) { QTest::keyClick(&c, Qt::Key_Return); }, true},
        {[](MCPApprovalCard& c) { QTest::mouseClick(c.denyButton(), Qt::LeftButton); }, false},
        {[](MCPApprovalCard& c) { QTest::keyClick(&c, Qt::Key_Escape); }, false},
        {[](MCPApprovalCard& c) { QTest::keyClick(&c, Qt::Key_Period, Qt::ControlModifier); }, false},
        {[](MCPApprovalCard& c) { c.close(); }, false},
    };
    for (const Case& test : cases) {
        MCPApprovalCard card("Client", "Read only");
        QList<bool> answers;
        QObject::connect(&card, &MCPApprovalCard::allowed, [&] { answers << true; });
        QObject::connect(&card, &MCPApprovalCard::denied, [&] { answers << false; });
        card.present();
        test.act(card);
        QTest::keyClick(&card, Qt::Key_Escape);  // only the first answer counts
        EXPECT_EQ(answers, QList<bool>{test.allowed});
    }
}

TEST(MCPApprovalCard, LongNamesMakeTheCardTallerNotWider)
{
    MCPApprovalCard shortName("A", "Read only");
    MCPApprovalCard longName(QString(40, QLatin1Char('W')) + " " + QString(40, QLatin1Char('W')) + " assistant",
                             "Read only");
    EXPECT_EQ(shortName.width(), MCPApprovalCard::kWidth);
    EXPECT_EQ(longName.width(), MCPApprovalCard::kWidth);
    EXPECT_GT(longName.height(), shortName.height());
}

TEST(MCPApprovalCard, PresenterShowsOneCardAndTakesItAwayAfterTheAnswer)
{
    FakeClock clock;
    MCPApprovalController controller(clock);
    auto* presenter = new MCPApprovalCardPresenter;
    controller.setPresenter(std::unique_ptr<MCPApprovalPresenter>(presenter));
    QList<bool> answers;
    controller.request("Raycast", "Read & write", [&](bool a) { answers << a; });
    QPointer<MCPApprovalCard> card = presenter->card();
    ASSERT_TRUE(card);
    EXPECT_TRUE(card->isVisible());
    EXPECT_EQ(card->scopeSymbol(), "square.and.pencil");
    QTest::mouseClick(card->allowButton(), Qt::LeftButton);
    EXPECT_EQ(answers, QList<bool>{true});
    EXPECT_FALSE(presenter->card());
    EXPECT_TRUE(QTest::qWaitFor([&] { return card.isNull(); }, 2000));

    controller.request("Raycast", "Read only", [&](bool a) { answers << a; });
    card = presenter->card();
    clock.advance(MCPApprovalController::kTimeoutMs);
    EXPECT_EQ(answers, (QList<bool>{true, false}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return card.isNull(); }, 2000));
}

}  // namespace
