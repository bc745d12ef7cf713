#include <gtest/gtest.h>

#include "model/Note.h"
#include "support/FakeClock.h"
#include "windows/DeckModel.h"
#include "windows/SwipeTracker.h"

namespace {

using Phase = SwipeTracker::EventPhase;

std::unique_ptr<Note> makeNote(const QString& title)
{
    return std::make_unique<Note>(title, QString(), Tint::blue, Opacity::solid, std::nullopt, std::nullopt,
                                  QDateTime::currentDateTimeUtc());
}

struct FakeHost : SwipeHost {
    std::vector<std::unique_ptr<Note>> notes;
    QUuid current;
    bool enabled = true;
    struct Animation {
        double to;
        double seconds;
        std::function<void()> done;
    };
    QList<Animation> animations;
    QList<std::pair<QUuid, int>> moves;
    int newNotes = 0;
    int lookups = 0;

    bool swipesEnabled() const override { return enabled; }
    QUuid currentNoteID() const override { return current; }
    double windowWidth() const override { return 360; }
    QList<QUuid> deck() override
    {
        QList<QUuid> ids;
        for (const auto& n : notes) ids << n->uuid();
        return ids;
    }
    Note* note(const QUuid& id) override
    {
        ++lookups;
        for (const auto& n : notes)
            if (n->uuid() == id) return n.get();
        return nullptr;
    }
    qint64 storeRevision() const override { return 1; }
    QColor newNotePaper() override { return Qt::yellow; }
    void animateDragOffset(double to, double seconds, std::function<void()> done) override
    {
        animations.append({to, seconds, std::move(done)});
    }
    void moveToNote(const QUuid& id, int direction) override { moves.append({id, direction}); }
    void commitNewNote() override { ++newNotes; }
};

class SwipeTrackerTest : public ::testing::Test {
protected:
    SwipeTrackerTest()
    {
        for (const char* title : {"A", "B", "C"}) host.notes.push_back(makeNote(title));
        host.current = host.notes[1]->uuid();
    }
    // A precise (trackpad) event after `ms` milliseconds, without phases.
    bool scroll(qint64 ms, double dx, double dy = 0, Phase phase = Phase::none, bool precise = true)
    {
        clock.advance(ms);
        return tracker.handleScroll(true, dx, dy, phase, Phase::none, precise);
    }
    bool end(qint64 ms = 10) { return scroll(ms, 0, 0, Phase::ended); }

    FakeClock clock;
    FakeHost host;
    DeckModel model{nullptr};
    SwipeTracker tracker{host, model, clock};
};

TEST_F(SwipeTrackerTest, AxisLockAndDeltas)
{
    // Under 6 points the text keeps the scroll; a mostly vertical start stays vertical.
    EXPECT_FALSE(scroll(1000, 3, 2, Phase::began));
    EXPECT_FALSE(scroll(10, 2, 4, Phase::changed));
    EXPECT_EQ(tracker.axis(), SwipeTracker::Axis::vertical);
    EXPECT_FALSE(scroll(10, -40, 0, Phase::changed));
    end();

    // Wheel lines count 10 points; the deciding event counts twice.
    QList<double> amounts;
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(scroll(i == 0 ? 1000 : 100, 1, 0, Phase::none, false));
        amounts << tracker.swipeAmount();
    }
    EXPECT_EQ(amounts, QList<double>({20, 30, 40}));
    EXPECT_EQ(model.dragOffset(), 40);
    EXPECT_EQ(model.peekNote(), host.notes[0].get());
    EXPECT_FALSE(model.peekIsTrailing());

    // Disabled (rolled, or deck mode off) and non-finite deltas pass on.
    host.enabled = false;
    EXPECT_FALSE(scroll(1000, -30));
    host.enabled = true;
    EXPECT_FALSE(scroll(1000, qInf()));
}

TEST_F(SwipeTrackerTest, ReleaseCommitsOnlyFarEnoughTowardTheDraggedSide)
{
    // -90 with no speed springs back.
    scroll(1000, -45, 0, Phase::began);
    EXPECT_EQ(tracker.swipeAmount(), -90);
    end();
    ASSERT_EQ(host.animations.size(), 1);
    EXPECT_EQ(host.animations[0].to, 0);
    EXPECT_DOUBLE_EQ(host.animations[0].seconds, 0.18);
    host.animations[0].done();
    EXPECT_EQ(model.peekNote(), nullptr);

    // -90 with speed commits to the next note.
    scroll(1000, -30, 0, Phase::began);
    scroll(30, -30, 0, Phase::changed);
    end();
    ASSERT_EQ(host.animations.size(), 2);
    EXPECT_EQ(host.animations[1].to, -360);
    EXPECT_TRUE(tracker.isCommitting());
    // Everything within 2 s of the commit is swallowed until it completes.
    EXPECT_TRUE(scroll(500, 50, 0, Phase::began));
    host.animations[1].done();
    EXPECT_EQ(host.moves, (QList<std::pair<QUuid, int>>{{host.notes[2]->uuid(), 1}}));
    EXPECT_FALSE(tracker.isCommitting());
    EXPECT_EQ(model.dragOffset(), 0);

    // A fast flick back the other way does not commit toward where the note was dragged.
    end();
    scroll(1000, -60, 0, Phase::began);
    scroll(5, 20, 0, Phase::changed);
    EXPECT_LT(tracker.swipeAmount(), 0);
    EXPECT_GT(tracker.swipeAmount() + 0.12 * tracker.velocity(), 108);
    end();
    EXPECT_EQ(host.animations.last().to, 0);
    EXPECT_EQ(host.moves.size(), 1);
}

TEST_F(SwipeTrackerTest, EndsOfTheDeckAndTheNewNoteSheet)
{
    // Back from the first note: nothing moves and nothing animates.
    host.current = host.notes[0]->uuid();
    scroll(1000, 40, 0, Phase::began);
    EXPECT_EQ(model.dragOffset(), 0);
    end();
    EXPECT_TRUE(host.animations.isEmpty());

    // Past the last note a non-empty note pulls in the sheet with a rubber band.
    host.current = host.notes[2]->uuid();
    scroll(1000, -100, 0, Phase::began);
    for (int i = 0; i < 20; ++i) scroll(50, -100, 0, Phase::changed);
    EXPECT_TRUE(model.peekIsNewNote());
    EXPECT_EQ(model.newNotePaper(), QColor(Qt::yellow));
    EXPECT_GT(model.dragOffset(), -151.2);
    EXPECT_LT(model.dragOffset(), -150);
    end();
    host.animations.last().done();
    EXPECT_EQ(host.newNotes, 1);

    // An empty current note shows no sheet.
    host.notes[2]->setTitle(QString());
    scroll(1000, -100, 0, Phase::began);
    scroll(50, -100, 0, Phase::changed);
    EXPECT_FALSE(model.peekIsNewNote());
    EXPECT_EQ(model.dragOffset(), 0);
}

TEST_F(SwipeTrackerTest, SilenceEndsAPhaselessGestureAndLookupsAreCached)
{
    // A wheel: twelve notches, then quiet.
    scroll(1000, -1, 0, Phase::none, false);
    for (int i = 0; i < 11; ++i) scroll(12, -1, 0, Phase::none, false);
    const int lookups = host.lookups;
    EXPECT_LE(lookups, 2);
    EXPECT_TRUE(host.animations.isEmpty());
    clock.advance(SwipeTracker::silenceEndsGestureMs);
    ASSERT_EQ(host.animations.size(), 1);
    EXPECT_EQ(host.animations[0].to, -360);
    host.animations[0].done();
    EXPECT_EQ(host.moves.size(), 1);
    // The next notch starts a fresh gesture.
    scroll(100, -1, 0, Phase::none, false);
    EXPECT_EQ(tracker.swipeAmount(), -20);
}

}  // namespace
