// The portable split of OLE Automation dates into calendar fields.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/OleDate.h"

namespace {

std::string Describe(const CalendarFields& f)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                  f.second);
    return text;
}

// The fields of `date` as "yyyy-mm-dd hh:mm:ss", or "<failed>".
std::string Split(double date)
{
    CalendarFields fields;
    return SplitOleDatePortable(date, fields) ? Describe(fields) : "<failed>";
}

}  // namespace

TEST(OleDateSplitTest, SplitsDaysSince30December1899)
{
    EXPECT_EQ("1899-12-30 00:00:00", Split(0.0));
    EXPECT_EQ("1899-12-31 00:00:00", Split(1.0));
    EXPECT_EQ("2005-03-07 14:05:09", Split(38418 + 50709 / 86400.0));
    EXPECT_EQ("1900-02-28 00:00:00", Split(60)) << "1900 is no leap year";
    EXPECT_EQ("1900-03-01 00:00:00", Split(61));
    EXPECT_EQ("2000-02-29 00:00:00", Split(36585)) << "2000 is a leap year";
    EXPECT_EQ("2000-03-01 00:00:00", Split(36586));
}

TEST(OleDateSplitTest, ANegativeDateCountsItsTimeForwardFromItsDay)
{
    EXPECT_EQ("1899-12-29 06:00:00", Split(-1.25));
    EXPECT_EQ("1899-12-29 18:00:00", Split(-1.75));
    EXPECT_EQ("1899-12-30 12:00:00", Split(-0.5));
    EXPECT_EQ("1899-12-29 00:00:00", Split(-1.0));
    EXPECT_EQ("1800-01-01 00:00:00", Split(-36522.0));
}

TEST(OleDateSplitTest, RoundsToTheNearestSecondWithHalfASecondUp)
{
    EXPECT_EQ("1899-12-31 00:00:01", Split(1 + 0.5 / 86400));
    EXPECT_EQ("1899-12-31 00:00:00", Split(1 + 0.49 / 86400));
    EXPECT_EQ("1899-12-29 00:00:01", Split(-1 - 0.5 / 86400)) << "negative dates round the same way";
    EXPECT_EQ("1899-12-31 08:00:00", Split(1 + 1 / 3.0)) << "a third of a day stored a hair short";
}

TEST(OleDateSplitTest, TheLastHalfSecondOfADayRoundsIntoTheNextDay)
{
    EXPECT_EQ("2005-03-08 00:00:00", Split(38418 + (86399.6 / 86400)));
    EXPECT_EQ("1899-12-30 00:00:00", Split(-1.9999999999)) << "the day after 29 December";
    EXPECT_EQ("1899-12-31 00:00:00", Split(-0.99999999999)) << "the day after 30 December";
    EXPECT_EQ("2000-03-01 00:00:00", Split(36585.999999999)) << "past a leap day";
    EXPECT_EQ("2000-01-01 00:00:00", Split(36525.999999999)) << "past the year's end";
}

TEST(OleDateSplitTest, AcceptsAnyTimeOnTheFirstAndLastDay)
{
    EXPECT_EQ("0100-01-01 00:00:00", Split(-657434.0));
    EXPECT_EQ("0100-01-01 12:00:00", Split(-657434.5));
    EXPECT_EQ("0100-01-02 00:00:00", Split(-657434.9999999999)) << "rounds forward out of the first day";
    EXPECT_EQ("9999-12-31 00:00:00", Split(2958465.0));
    EXPECT_EQ("9999-12-31 12:00:00", Split(2958465.5));
    EXPECT_EQ("10000-01-01 00:00:00", Split(2958465.9999999)) << "rounds forward out of the last day";
}

TEST(OleDateSplitTest, FailsOutsideTheRangeAndForNonNumbersLeavingTheFieldsAlone)
{
    const double dates[] = {-657435.0,
                            std::nextafter(-657435.0, -1e9),
                            2958466.0,
                            std::nextafter(2958466.0, 1e9),
                            1e300,
                            -1e300,
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
    for (double date : dates) {
        CalendarFields fields;
        fields.year = 1234;
        fields.second = 56;
        EXPECT_FALSE(SplitOleDatePortable(date, fields)) << date;
        EXPECT_EQ(1234, fields.year) << date;
        EXPECT_EQ(56, fields.second) << date;
    }
    EXPECT_EQ("0100-01-02 00:00:00", Split(std::nextafter(-657435.0, 0.0))) << "just inside the range";
}

TEST(OleDateSplitTest, ThePlatformSplitAgreesOnKnownDates)
{
    // On Windows SplitOleDate is VariantTimeToSystemTime; elsewhere it is the
    // portable split. Both give these.
    CalendarFields fields;
    ASSERT_TRUE(SplitOleDate(38418 + 50709 / 86400.0, fields));
    EXPECT_EQ("2005-03-07 14:05:09", Describe(fields));
    ASSERT_TRUE(SplitOleDate(-1.25, fields));
    EXPECT_EQ("1899-12-29 06:00:00", Describe(fields));
    EXPECT_FALSE(SplitOleDate(2958466.0, fields));
    EXPECT_FALSE(SplitOleDate(std::numeric_limits<double>::quiet_NaN(), fields)) << "NaN is no date";
}
