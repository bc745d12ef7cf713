#include <gtest/gtest.h>

#include <QLocale>

#include "capture/CapturePeekCard.h"
#include "design/DateText.h"
#include "shelf/ShelfDateGroup.h"

namespace {

class DateTextTest : public ::testing::Test {
protected:
    void SetUp() override { saved = QLocale(); }
    void TearDown() override { QLocale::setDefault(saved); }
    QLocale saved;
};

// The peek and the shelf write one moment alike, in any locale: the peek's date is the shelf's date of
// another year, and its time the shelf's time of today.
TEST_F(DateTextTest, ThePeekWritesDatesAndTimesAsTheShelfDoes)
{
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime moment(QDate(2026, 12, 7), QTime(13, 43, 27), zone);
    CapturePeekCard card;
    card.createdAt = moment.toUTC();
    for (const QLocale& locale :
         {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::English, QLocale::UnitedKingdom),
          QLocale(QLocale::German, QLocale::Germany)}) {
        QLocale::setDefault(locale);
        const QString peek = card.dateText();
        const QString shelfDay = ShelfDateGroup::compactTime(moment, moment.addYears(1), zone);
        const QString shelfTime = ShelfDateGroup::compactTime(moment, moment.addSecs(60), zone);
        EXPECT_EQ(peek, shelfDay + ", " + shelfTime) << qPrintable(locale.name());
        // To the minute, whatever the locale's short time carries.
        EXPECT_FALSE(peek.contains("27")) << qPrintable(peek);
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(DateText::day(QDate(2025, 12, 5), u"MMMd"), "Dec 5");
    EXPECT_TRUE(card.dateText().startsWith("Dec 7, 2026, 1:43")) << qPrintable(card.dateText());
    EXPECT_TRUE(CapturePeekCard{}.dateText().isEmpty());
}

}  // namespace
