// FormatDate: every layout, the 12-hour clock, two-digit years, the default
// layout and the dates it declines.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "convert/FormatDate.h"

namespace {

// Day numbers of OLE Automation dates.
constexpr double kMarch7th2005 = 38418;
constexpr double kDecember31st1999 = 36525;
constexpr double kJanuary1st2000 = 36526;

double At(double day, int hour, int minute, int second)
{
    return day + (hour * 3600 + minute * 60 + second) / 86400.0;
}

// The text of `date` in the layout of `selector`, or "<declined>".
std::u16string Formatted(double date, int selector)
{
    Str out;
    return FormatDate(out, date, selector) ? out.text() : u"<declined>";
}

struct Layout {
    int selector;
    const char16_t* text;
};

}  // namespace

TEST(FormatDateTest, LaysOutMarch7th2005At140509InEveryLayout)
{
    const Layout layouts[] = {
        {0, u"Mar 07 2005 02:05 PM"},
        {100, u"Mar 07 2005 02:05 PM"},
        {1, u"03/07/05"},
        {2, u"05.03.07"},
        {3, u"07/03/05"},
        {4, u"07.03.05"},
        {5, u"07-03-05"},
        {6, u"07 Mar 05"},
        {7, u"Mar 07, 05"},
        {10, u"03-07-05"},
        {11, u"05/03/07"},
        {12, u"050307"},
        {101, u"03/07/2005"},
        {102, u"2005.03.07"},
        {103, u"07/03/2005"},
        {104, u"07.03.2005"},
        {105, u"07-03-2005"},
        {106, u"07 Mar 2005"},
        {107, u"Mar 07, 2005"},
        {109, u"Mar 07 2005 02:05:09:000 PM"},
        {110, u"03-07-2005"},
        {111, u"2005/03/07"},
        {112, u"20050307"},
        {120, u"2005-03-07"},
        {121, u"2005-03-07 14:05:09.000"},
        {9999, u"07 March 2005 14:05:09:000"},
    };
    const double date = At(kMarch7th2005, 14, 5, 9);
    for (const Layout& layout : layouts)
        EXPECT_EQ(layout.text, Formatted(date, layout.selector)) << "selector " << layout.selector;
}

TEST(FormatDateTest, SelectorsOutsideTheTableTakeTheDefaultLayout)
{
    const double date = At(kMarch7th2005, 14, 5, 9);
    for (int selector : {8, 9, 13, 99, 108, 113, 119, 122, -1, -100, INT_MIN, INT_MAX})
        EXPECT_EQ(u"07 March 2005 14:05:09:000", Formatted(date, selector)) << "selector " << selector;
}

TEST(FormatDateTest, TwelveHourLayoutsMarkNoonAndLaterPm)
{
    struct Hour {
        int hour;
        const char16_t* layout0;
        const char16_t* layout109;
        const char16_t* layout121;
        const char16_t* layoutDefault;
    };
    const Hour hours[] = {
        {0, u"Mar 07 2005 00:30 AM", u"Mar 07 2005 00:30:15:000 AM", u"2005-03-07 00:30:15.000",
         u"07 March 2005 00:30:15:000"},
        {11, u"Mar 07 2005 11:30 AM", u"Mar 07 2005 11:30:15:000 AM", u"2005-03-07 11:30:15.000",
         u"07 March 2005 11:30:15:000"},
        {12, u"Mar 07 2005 12:30 PM", u"Mar 07 2005 12:30:15:000 PM", u"2005-03-07 12:30:15.000",
         u"07 March 2005 12:30:15:000"},
        {13, u"Mar 07 2005 01:30 PM", u"Mar 07 2005 01:30:15:000 PM", u"2005-03-07 13:30:15.000",
         u"07 March 2005 13:30:15:000"},
        {23, u"Mar 07 2005 11:30 PM", u"Mar 07 2005 11:30:15:000 PM", u"2005-03-07 23:30:15.000",
         u"07 March 2005 23:30:15:000"},
    };
    for (const Hour& h : hours) {
        const double date = At(kMarch7th2005, h.hour, 30, 15);
        EXPECT_EQ(h.layout0, Formatted(date, 0)) << "hour " << h.hour;
        EXPECT_EQ(h.layout0, Formatted(date, 100)) << "hour " << h.hour;
        EXPECT_EQ(h.layout109, Formatted(date, 109)) << "hour " << h.hour;
        EXPECT_EQ(h.layout121, Formatted(date, 121)) << "hour " << h.hour << " on the 24-hour clock";
        EXPECT_EQ(h.layoutDefault, Formatted(date, 1000)) << "hour " << h.hour << " on the 24-hour clock";
    }
}

TEST(FormatDateTest, TwoDigitYearsOf1999And2000)
{
    EXPECT_EQ(u"12/31/99", Formatted(At(kDecember31st1999, 12, 0, 0), 1));
    EXPECT_EQ(u"991231", Formatted(At(kDecember31st1999, 12, 0, 0), 12));
    EXPECT_EQ(u"01/01/00", Formatted(At(kJanuary1st2000, 12, 0, 0), 1));
    EXPECT_EQ(u"00.01.01", Formatted(At(kJanuary1st2000, 12, 0, 0), 2));
    EXPECT_EQ(u"01 Jan 00", Formatted(At(kJanuary1st2000, 12, 0, 0), 6));
}

TEST(FormatDateTest, MidnightIsPrintedAsTheDayStarts)
{
    EXPECT_EQ(u"Mar 07 2005 00:00 AM", Formatted(kMarch7th2005, 0));
    EXPECT_EQ(u"2005-03-07 00:00:00.000", Formatted(kMarch7th2005, 121));
}

TEST(FormatDateTest, TimesAreRoundedToTheNearestSecond)
{
    EXPECT_EQ(u"2005-03-07 14:05:10.000", Formatted(kMarch7th2005 + (50709 + 0.6) / 86400, 121));
    EXPECT_EQ(u"2005-03-07 14:05:09.000", Formatted(kMarch7th2005 + (50709 + 0.4) / 86400, 121));
    EXPECT_EQ(u"2005-03-08 00:00:00.000", Formatted(kMarch7th2005 + (86399 + 0.7) / 86400, 121))
        << "the last half second of a day rounds into the next day";
}

TEST(FormatDateTest, NegativeDatesCountTheTimeForwardFromTheirDay)
{
    EXPECT_EQ(u"1899-12-29 06:00:00.000", Formatted(-1.25, 121));
    EXPECT_EQ(u"1899-12-29 18:00:00.000", Formatted(-1.75, 121));
    EXPECT_EQ(u"1899-12-30 12:00:00.000", Formatted(-0.5, 121));
    EXPECT_EQ(u"1899-12-31 00:00:00.000", Formatted(1.0, 121));
}

TEST(FormatDateTest, TheEndsOfTheCalendarRange)
{
    EXPECT_EQ(u"0100-01-01 00:00:00.000", Formatted(-657434.0, 121));
    EXPECT_EQ(u"01/01/00", Formatted(-657434.0, 1)) << "the year 100 as two digits";
    EXPECT_EQ(u"9999-12-31 12:00:00.000", Formatted(2958465.5, 121));
}

TEST(FormatDateTest, TheDateZeroIsDeclinedAndTheOutputKept)
{
    for (double zero : {0.0, -0.0}) {
        for (int selector : {0, 1, 121, 9999}) {
            Str out(u"kept");
            EXPECT_FALSE(FormatDate(out, zero, selector)) << zero << " with selector " << selector;
            EXPECT_EQ(u"kept", out.text());
        }
    }
}

TEST(FormatDateTest, ADateWithoutCalendarDateIsDeclinedAndTheOutputKept)
{
    const double dates[] = {-657435.0,
                            2958466.0,
                            1e300,
                            -1e300,
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
    for (double date : dates) {
        Str out(u"kept");
        EXPECT_FALSE(FormatDate(out, date, 101)) << date;
        EXPECT_EQ(u"kept", out.text()) << date;
    }
}

TEST(FormatDateTest, ReplacesWhatTheOutputHeld)
{
    Str out(u"previous text that is longer than the date");
    ASSERT_TRUE(FormatDate(out, At(kMarch7th2005, 14, 5, 9), 112));
    EXPECT_EQ(u"20050307", out.text());
}
