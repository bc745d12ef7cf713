#include <gtest/gtest.h>

#include <QLocale>
#include <memory>
#include <vector>

#include "model/Note.h"
#include "shelf/ShelfDateGroup.h"

namespace {

const QTimeZone berlin("Europe/Berlin");

QDateTime at(int y, int m, int d, int h, int min)
{
    return QDateTime(QDate(y, m, d), QTime(h, min), berlin);
}

// Expected texts are those of US English.
class ShelfDateGroupTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(saved); }
    QLocale saved;
};

TEST_F(ShelfDateGroupTest, TitlesAndCompactTimesFollowCalendarDays)
{
    const struct {
        QDateTime date, now;
        const char* title;
        const char* compact;  // nullptr: not checked
    } cases[] = {
        {at(2026, 3, 2, 23, 59).addSecs(59), at(2026, 3, 3, 0, 0), "Yesterday", "Mar 2"},
        {at(2026, 3, 1, 12, 0), at(2026, 3, 3, 23, 59), "Sun, Mar 1", "Mar 1"},
        {at(2027, 1, 2, 9, 0), at(2026, 3, 3, 9, 0), "Sat, Jan 2, 2027", "Jan 2, 2027"},
        // New Year: yesterday wins over the change of year, the compact time shows the year.
        {at(2025, 12, 31, 23, 50), at(2026, 1, 1, 0, 10), "Yesterday", "Dec 31, 2025"},
        {at(2025, 12, 30, 23, 50), at(2026, 1, 1, 0, 10), "Tue, Dec 30, 2025", nullptr},
        // After the 23-hour day of 29 March, and at the end of the 25-hour day of 25 October,
        // 24 hours back lands on the wrong day; yesterday is still the previous calendar day.
        {at(2026, 3, 29, 10, 0), at(2026, 3, 30, 0, 30), "Yesterday", nullptr},
        {at(2026, 10, 24, 20, 0), at(2026, 10, 25, 23, 30), "Yesterday", nullptr},
        {at(2026, 10, 25, 0, 30), at(2026, 10, 25, 23, 30), "Today", nullptr},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.date.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(ShelfDateGroup::title(tc.date, tc.now, berlin).toStdString(), tc.title);
        if (tc.compact) {
            EXPECT_EQ(ShelfDateGroup::compactTime(tc.date, tc.now, berlin).toStdString(), tc.compact);
        }
    }
}

TEST_F(ShelfDateGroupTest, TheZoneDecidesTheDayAndTheTextShown)
{
    // 23:30 UTC on 27 February is the 28th in Berlin and 18:30 on the 27th in New York.
    const QDateTime date(QDate(2026, 2, 27), QTime(23, 30), Qt::UTC);
    const QDateTime now(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);
    EXPECT_EQ(ShelfDateGroup::title(date, now, berlin), "Sat, Feb 28");
    EXPECT_EQ(ShelfDateGroup::title(date, now, QTimeZone("America/New_York")), "Fri, Feb 27");
    const QString time = ShelfDateGroup::compactTime(date, date, QTimeZone("America/New_York"));
    EXPECT_TRUE(time.startsWith("6:30") && time.endsWith("PM")) << time.toStdString();
}

TEST_F(ShelfDateGroupTest, GroupsPinnedFirstThenOneRunPerDay)
{
    std::vector<std::unique_ptr<Note>> owned;
    auto note = [&](const QDateTime& updated, bool pinned) {
        owned.push_back(std::make_unique<Note>(QString(), QString(), Tint::blue, Opacity::solid, std::nullopt,
                                               std::nullopt, QDateTime::currentDateTimeUtc()));
        owned.back()->setUpdatedAt(updated);
        owned.back()->setIsPinned(pinned);
        return owned.back().get();
    };
    const auto updated = [](const Note& n) { return n.updatedAt(); };
    const QDateTime now = at(2026, 3, 4, 10, 0);
    Note* today1 = note(at(2026, 3, 4, 9, 0), false);
    Note* pinnedToday = note(at(2026, 3, 4, 8, 0), true);
    Note* today2 = note(at(2026, 3, 4, 0, 5), false);
    Note* yesterday = note(at(2026, 3, 3, 23, 55), false);
    Note* pinnedOld = note(at(2025, 6, 1, 8, 0), true);

    const auto groups =
        ShelfDateGroup::grouped<Note>({today1, pinnedToday, today2, yesterday, pinnedOld}, updated, now, berlin);
    ASSERT_EQ(groups.size(), 3);
    EXPECT_EQ(groups[0].title, "Pinned");
    EXPECT_EQ(groups[0].icon, "pin.fill");
    EXPECT_EQ(groups[0].items, (QList<Note*>{pinnedToday, pinnedOld}));
    EXPECT_EQ(groups[1].title, "Today");
    EXPECT_EQ(groups[1].items, (QList<Note*>{today1, today2}));  // a pinned note does not split the day
    EXPECT_EQ(groups[2].title, "Yesterday");

    EXPECT_EQ(ShelfDateGroup::grouped<Note>({pinnedOld}, updated, now, berlin).size(), 1);
}

}  // namespace
