#include <gtest/gtest.h>

#include "LocalZone.h"
#include "note/ReminderTime.h"

// A time with AM or PM is read on the twelve-hour clock, or refused; never read as the digits alone.
TEST(ReminderTimeTest, ReadsTwelveHourTimesOrRefusesThem)
{
    const std::pair<const char*, QTime> times[] = {
        {"2:30 PM", QTime(14, 30)}, {"2:30pm", QTime(14, 30)},   {"12am", QTime(0, 0)},     {"12:15 pm", QTime(12, 15)},
        {"7 p.m.", QTime(19, 0)},   {"11:59 AM", QTime(11, 59)}, {" 9:05 a ", QTime(9, 5)},
    };
    for (const auto& [text, time] : times) EXPECT_EQ(ReminderTime::typed(QString::fromLatin1(text)), time) << text;
    for (const char* text : {"0:30 pm", "13:00 pm", "pm", "2:30 xm", "2:30 PM tomorrow", "am 2:30"})
        EXPECT_FALSE(ReminderTime::typed(QString::fromLatin1(text))) << text;
}

// A clock reading is the moment it names; in the hour the clocks skip, the moment it names on the
// clock before the change; in the hour they repeat, the first of the two.
TEST(ReminderTimeTest, AReadingTheClocksSkipOrRepeatIsOneMoment)
{
    const LocalZone berlin("Europe/Berlin");
    const auto utc = [](int month, int day, int hour, int minute) {
        return QDateTime(QDate(2027, month, day), QTime(hour, minute), Qt::UTC);
    };
    const struct {
        QDate date;
        QTime time;
        QDateTime expected;
    } cases[] = {
        {QDate(2027, 3, 28), QTime(2, 30), utc(3, 28, 1, 30)},    // 03:30 summer time
        {QDate(2027, 3, 28), QTime(2, 0), utc(3, 28, 1, 0)},      // 03:00
        {QDate(2027, 3, 28), QTime(1, 59), utc(3, 28, 0, 59)},    // before the change
        {QDate(2027, 3, 28), QTime(3, 0), utc(3, 28, 1, 0)},      // after it
        {QDate(2027, 3, 28), QTime(12, 0), utc(3, 28, 10, 0)},    // later that day
        {QDate(2027, 10, 31), QTime(2, 30), utc(10, 31, 0, 30)},  // the first 02:30 (summer time)
        {QDate(2027, 10, 31), QTime(3, 0), utc(10, 31, 2, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QDateTime(c.date, c.time, Qt::UTC).toString(Qt::ISODate).toStdString());
        const QDateTime moment = ReminderTime::moment(c.date, c.time);
        EXPECT_TRUE(moment.isValid());
        EXPECT_EQ(moment.toUTC(), c.expected);
    }
    EXPECT_EQ(ReminderTime::moment(QDate(2027, 3, 28), QTime(2, 30)).toLocalTime().time(), QTime(3, 30));
}

// A date typed is read as the locale writes it short, whichever field comes first, the month as
// digits or by name; digits alone are a day of the month shown; what is no date is refused.
TEST(ReminderTimeTest, ReadsADateTypedInTheUsersLocale)
{
    const QDate shown(2026, 12, 1);
    const QLocale us(QLocale::English, QLocale::UnitedStates), de(QLocale::German, QLocale::Germany),
        se(QLocale::Swedish, QLocale::Sweden), c = QLocale::c();
    const struct {
        const QLocale& locale;
        const char* typed;
        QDate expected;  // invalid: refused
    } cases[] = {
        {us, "27", QDate(2026, 12, 27)},
        {se, "25", QDate(2026, 12, 25)},
        {c, "3", QDate(2026, 12, 3)},
        {us, "3/28/2027", QDate(2027, 3, 28)},
        {us, "3/28/27", QDate(2027, 3, 28)},
        {us, "3/28", QDate(2026, 3, 28)},
        {us, "2027-03-28", QDate(2027, 3, 28)},
        {us, "Mar 28, 2027", QDate(2027, 3, 28)},
        {de, "28.03.2027", QDate(2027, 3, 28)},
        {de, "28.3.", QDate(2026, 3, 28)},
        {de, "28. März 2027", QDate(2027, 3, 28)},
        {de, "2027-03-28", QDate(2027, 3, 28)},
        {se, "2027-03-28", QDate(2027, 3, 28)},
        {se, "27-03-28", QDate(2027, 3, 28)},
        {se, "28 mars 2027", QDate(2027, 3, 28)},
        {c, "28 03 2027", QDate(2027, 3, 28)},
        {c, "28 3 2027", QDate(2027, 3, 28)},
        {c, "28 Mar 2027", QDate(2027, 3, 28)},
        {c, "15 02", QDate(2026, 2, 15)},
        {c, "1 jan 99", QDate(1999, 1, 1)},
        {c, "28 september 2027", QDate(2027, 9, 28)},
        {c, "28 Sept 2027", QDate(2027, 9, 28)},
        {c, "31 02 2027", QDate()},
        {c, "28 13 2027", QDate()},
        {us, "13/28/2027", QDate()},
        {c, "32", QDate()},
        {c, "0", QDate()},
        {c, "28 Ma 2027", QDate()},
        {c, "28 Foo 2027", QDate()},
        {c, "2027", QDate()},
        {c, "March", QDate()},
        {c, "28 2027", QDate()},
        {c, "1 2 3 4", QDate()},
        {c, "28 03 20277", QDate()},
        {c, "", QDate()},
        {c, "--", QDate()},
    };
    for (const auto& [locale, typed, expected] : cases) {
        SCOPED_TRACE(locale.name().toStdString() + " " + typed);
        const auto date = ReminderTime::typedDate(QString::fromUtf8(typed), locale, shown);
        if (expected.isValid()) {
            EXPECT_EQ(date, expected);
        } else {
            EXPECT_FALSE(date) << date->toString(Qt::ISODate).toStdString();
        }
    }
}

// Every locale the toolkit knows reads back the date its short and narrow forms write (the form the
// popover's hint shows): digits of any script, its own words beside the fields, a two-digit year.
TEST(ReminderTimeTest, ReadsEveryLocalesOwnShortDate)
{
    const QDate shown(2026, 12, 1);
    const auto read = [&](const QString& typed, const QLocale& locale) {
        const std::optional<QDate> date = ReminderTime::typedDate(typed, locale, shown);
        return date ? date->toString(Qt::ISODate).toStdString() : std::string("no date");
    };
    const QDate dates[] = {QDate(2027, 3, 28), QDate(2031, 11, 5), QDate(1999, 12, 31), QDate(2026, 1, 9)};
    const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    ASSERT_GT(locales.size(), 100);
    int refused = 0;  // locale and form pairs
    for (const QLocale& locale : locales) {
        for (const QLocale::FormatType form : {QLocale::ShortFormat, QLocale::NarrowFormat}) {
            bool readsBack = true;
            for (const QDate date : dates) {
                const QString typed = locale.toString(date, form);
                if (read(typed, locale) == date.toString(Qt::ISODate).toStdString()) continue;
                // Only the first few are told: one fault usually spoils a whole script.
                if (readsBack && refused < 10)
                    ADD_FAILURE() << locale.name().toStdString() << " " << locale.dateFormat(form).toStdString()
                                  << ": \"" << typed.toStdString() << "\" read as " << read(typed, locale);
                readsBack = false;
            }
            refused += !readsBack;
        }
    }
    EXPECT_EQ(refused, 0) << "of " << 2 * locales.size() << " locale and form pairs";

    // Bulgarian writes "г." (year) after the date: typed or left out, it is the same date; a word the
    // locale's date does not write is still no date.
    const QLocale bg(QLocale::Bulgarian, QLocale::Bulgaria);
    for (const char* typed : {"14.04.27 г.", "14.04.27 г", "14.04.27", "14.04.2027 г.", "14 април 2027 г."})
        EXPECT_EQ(read(QString::fromUtf8(typed), bg), "2027-04-14") << typed;
    for (const char* typed : {"14.04.27 x", "14.04.27 ж."})
        EXPECT_EQ(read(QString::fromUtf8(typed), bg), "no date") << typed;
    EXPECT_EQ(read(QString::fromUtf8("14.04.27 г."), QLocale::c()), "no date");

    // Month names in scripts beyond 16 bits are read too.
    for (const QLocale& locale : {QLocale(QLocale::Chakma, QLocale::Bangladesh),
                                  QLocale(QLocale::Fulah, QLocale::AdlamScript, QLocale::Senegal)}) {
        const QString typed = locale.toString(QDate(2027, 3, 28), QStringLiteral("d MMMM yyyy"));
        EXPECT_EQ(read(typed, locale), "2027-03-28") << typed.toStdString();
    }
}

// Times out of range are refused, never read as another time.
TEST(ReminderTimeTest, RefusesTimesOutOfRange)
{
    for (const char* text : {"23:60", "24:00", "1:2:3", "25", "23:159", "22:50 pm", "", ":"})
        EXPECT_FALSE(ReminderTime::typed(QString::fromLatin1(text))) << text;
}
