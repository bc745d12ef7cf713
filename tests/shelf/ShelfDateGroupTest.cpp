#include <gtest/gtest.h>

#include <QLocale>
#include <memory>
#include <vector>

#include "model/Note.h"
#include "shelf/ShelfDateGroup.h"

namespace {

const QTimeZone berlin("Europe/Berlin");
const QTimeZone newYork("America/New_York");

QDateTime at(int y, int m, int d, int h, int min, const QTimeZone& zone = berlin)
{
    return QDateTime(QDate(y, m, d), QTime(h, min), zone);
}

// Expected texts are those of US English.
class ShelfDateGroupTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(saved); }
    QLocale saved;
};

TEST_F(ShelfDateGroupTest, TitlesAndCompactTimes)
{
    const QDateTime now = at(2026, 3, 4, 10, 0);
    const struct {
        QDateTime date;
        const char* title;
        const char* compact;  // nullptr: a clock time
    } cases[] = {
        {at(2026, 3, 4, 0, 0), "Today", nullptr},
        {at(2026, 3, 3, 23, 59), "Yesterday", "Mar 3"},
        {at(2026, 3, 2, 12, 0), "Mon, Mar 2", "Mar 2"},
        {at(2025, 12, 20, 8, 0), "Sat, Dec 20, 2025", "Dec 20, 2025"},
        // The future is never today or yesterday.
        {at(2026, 3, 5, 9, 0), "Thu, Mar 5", "Mar 5"},
        {at(2027, 1, 2, 9, 0), "Sat, Jan 2, 2027", "Jan 2, 2027"},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.date.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(ShelfDateGroup::title(tc.date, now, berlin), QString::fromUtf8(tc.title));
        const QString compact = ShelfDateGroup::compactTime(tc.date, now, berlin);
        if (tc.compact) {
            EXPECT_EQ(compact, QString::fromUtf8(tc.compact));
        } else {
            EXPECT_TRUE(compact.startsWith(QStringLiteral("12:00"))) << compact.toStdString();
            EXPECT_TRUE(compact.endsWith(QStringLiteral("AM"))) << compact.toStdString();
        }
    }
}

TEST_F(ShelfDateGroupTest, DaysFollowTheCalendarAcrossMidnightYearsAndDaylightSaving)
{
    const struct {
        QDateTime date, now;
        const char* title;
    } cases[] = {
        // A second either side of midnight.
        {at(2026, 3, 2, 23, 59).addSecs(59), at(2026, 3, 3, 0, 0), "Yesterday"},
        {at(2026, 3, 3, 0, 0), at(2026, 3, 3, 23, 59), "Today"},
        // New Year: yesterday wins over the change of year.
        {at(2025, 12, 31, 23, 50), at(2026, 1, 1, 0, 10), "Yesterday"},
        {at(2025, 12, 30, 23, 50), at(2026, 1, 1, 0, 10), "Tue, Dec 30, 2025"},
        // Just after the 23-hour day of 29 March: 24 hours back is still the 28th.
        {at(2026, 3, 29, 10, 0), at(2026, 3, 30, 0, 30), "Yesterday"},
        {at(2026, 3, 28, 23, 45), at(2026, 3, 30, 0, 30), "Sat, Mar 28"},
        // At the end of the 25-hour day of 25 October: 24 hours back is still the 25th.
        {at(2026, 10, 24, 20, 0), at(2026, 10, 25, 23, 30), "Yesterday"},
        {at(2026, 10, 25, 0, 30), at(2026, 10, 25, 23, 30), "Today"},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.date.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(ShelfDateGroup::title(tc.date, tc.now, berlin), QString::fromUtf8(tc.title));
    }
    EXPECT_EQ(ShelfDateGroup::compactTime(at(2025, 12, 31, 23, 50), at(2026, 1, 1, 0, 10), berlin),
              QStringLiteral("Dec 31, 2025"));
}

TEST_F(ShelfDateGroupTest, TheZoneDecidesTheDayAndTheDayShown)
{
    // 23:30 UTC on 27 February is already the 28th in Berlin, still the 27th in New York.
    const QDateTime date(QDate(2026, 2, 27), QTime(23, 30), Qt::UTC);
    const QDateTime now(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);
    EXPECT_EQ(ShelfDateGroup::title(date, now, berlin), QStringLiteral("Sat, Feb 28"));
    EXPECT_EQ(ShelfDateGroup::title(date, now, newYork), QStringLiteral("Fri, Feb 27"));
    EXPECT_TRUE(ShelfDateGroup::compactTime(date, date, newYork).startsWith(QStringLiteral("6:30")));
}

TEST_F(ShelfDateGroupTest, GroupsPinnedFirstThenOneRunPerDay)
{
    const QDateTime now = at(2026, 3, 4, 10, 0);
    std::vector<std::unique_ptr<Note>> owned;
    auto note = [&](const QDateTime& updated, bool pinned) {
        owned.push_back(
            std::make_unique<Note>(QString(), QString(), Tint::blue, Opacity::solid, std::nullopt, std::nullopt));
        owned.back()->setUpdatedAt(updated);
        owned.back()->setIsPinned(pinned);
        return owned.back().get();
    };
    const auto updated = [](const Note& n) { return n.updatedAt(); };

    Note* today1 = note(at(2026, 3, 4, 9, 0), false);
    Note* pinnedToday = note(at(2026, 3, 4, 8, 0), true);
    Note* today2 = note(at(2026, 3, 4, 0, 5), false);
    Note* yesterday = note(at(2026, 3, 3, 23, 55), false);
    Note* pinnedOld = note(at(2025, 6, 1, 8, 0), true);
    Note* older = note(at(2026, 1, 9, 8, 0), false);

    const auto groups =
        ShelfDateGroup::grouped<Note>({today1, pinnedToday, today2, yesterday, pinnedOld, older}, updated, now, berlin);
    ASSERT_EQ(groups.size(), 4);
    EXPECT_EQ(groups[0].title, QStringLiteral("Pinned"));
    EXPECT_EQ(groups[0].icon, QStringLiteral("pin.fill"));
    EXPECT_EQ(groups[0].items, (QList<Note*>{pinnedToday, pinnedOld}));
    EXPECT_EQ(groups[1].title, QStringLiteral("Today"));
    EXPECT_EQ(groups[1].items, (QList<Note*>{today1, today2}));
    EXPECT_TRUE(groups[1].icon.isEmpty());
    EXPECT_EQ(groups[2].title, QStringLiteral("Yesterday"));
    EXPECT_EQ(groups[3].title, QStringLiteral("Fri, Jan 9"));

    // Only pinned notes: the one group, nothing else; no notes: no group.
    const auto onlyPinned = ShelfDateGroup::grouped<Note>({pinnedToday, pinnedOld}, updated, now, berlin);
    ASSERT_EQ(onlyPinned.size(), 1);
    EXPECT_EQ(onlyPinned[0].title, QStringLiteral("Pinned"));
    EXPECT_TRUE(ShelfDateGroup::grouped<Note>({}, updated, now, berlin).isEmpty());
}

}  // namespace
