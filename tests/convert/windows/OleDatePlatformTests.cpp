// The portable split of OLE Automation dates held against the platform's
// VariantTimeToSystemTime over sweeps of dates, so that the native tree
// formats every date as Windows does.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "platform/OleDate.h"

namespace {

constexpr double kFirstDay = -657434.0;  // 1 January 100
constexpr double kLastDay = 2958465.0;   // 31 December 9999

bool Same(const CalendarFields& a, const CalendarFields& b)
{
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second;
}

std::string Describe(bool converted, const CalendarFields& f)
{
    if (!converted)
        return "<failed>";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                  f.second);
    return text;
}

// Compares both splits date by date and keeps the first differences.
class SplitComparison {
public:
    void Check(double date)
    {
        ++checked_;
        SYSTEMTIME time = {};
        const bool platformConverted = VariantTimeToSystemTime(date, &time) != 0;
        const CalendarFields platform{time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
        CalendarFields portable;
        const bool portableConverted = SplitOleDatePortable(date, portable);

        if (platformConverted == portableConverted && (!platformConverted || Same(platform, portable)))
            return;
        if (++differences_ <= 10) {
            char line[160];
            std::snprintf(line, sizeof line, "%.17g: platform %s, portable %s\n", date,
                          Describe(platformConverted, platform).c_str(), Describe(portableConverted, portable).c_str());
            report_ += line;
        }
    }

    long checked() const { return checked_; }
    long differences() const { return differences_; }
    const std::string& report() const { return report_; }

private:
    long checked_ = 0;
    long differences_ = 0;
    std::string report_;
};

#define EXPECT_SPLITS_AGREE(comparison) \
    EXPECT_EQ(0, (comparison).differences()) << "of " << (comparison).checked() << " dates:\n" << (comparison).report()

}  // namespace

TEST(OleDatePlatformTest, AgreeOnEveryDayOfTheRangeAndItsNoon)
{
    SplitComparison comparison;
    for (double day = kFirstDay - 2; day <= kLastDay + 2; ++day) {
        comparison.Check(day);
        comparison.Check(day + 0.5);
    }
    EXPECT_SPLITS_AGREE(comparison);
}

TEST(OleDatePlatformTest, AgreeOnEverySecondAndHalfSecondOfSomeDays)
{
    SplitComparison comparison;
    for (double day : {kFirstDay, -36522.0, -1000.0, -1.0, 0.0, 1.0, 36585.0, 38418.0, kLastDay}) {
        const double sign = day < 0 ? -1.0 : 1.0;
        for (int second = 0; second < 86400; ++second) {
            for (double offset : {0.0, 0.5}) {
                const double date = day + sign * ((second + offset) / 86400.0);
                comparison.Check(date);
                comparison.Check(std::nextafter(date, -1e9));
                comparison.Check(std::nextafter(date, 1e9));
            }
        }
    }
    EXPECT_SPLITS_AGREE(comparison);
}

TEST(OleDatePlatformTest, AgreeCloseToMidnight)
{
    SplitComparison comparison;
    for (double day : {kFirstDay, -36522.0, -2.0, -1.0, 0.0, 1.0, 36525.0, 36585.0, kLastDay}) {
        for (double gap = 1e-16; gap < 1e-4; gap *= 1.37) {
            comparison.Check(day + gap);
            comparison.Check(day - gap);
            comparison.Check(day + 1 - gap);
            comparison.Check(day - 1 + gap);
        }
    }
    EXPECT_SPLITS_AGREE(comparison);
}

TEST(OleDatePlatformTest, AgreeAtTheEndsOfTheRange)
{
    SplitComparison comparison;
    for (double edge : {kFirstDay - 1, kFirstDay, kLastDay, kLastDay + 1}) {
        double below = edge;
        double above = edge;
        for (int step = 0; step < 2000; ++step) {
            comparison.Check(below);
            comparison.Check(above);
            below = std::nextafter(below, -1e9);
            above = std::nextafter(above, 1e9);
        }
        for (double gap = 1e-9; gap < 2; gap *= 1.5) {
            comparison.Check(edge - gap);
            comparison.Check(edge + gap);
        }
    }
    for (double outside : {1e10, -1e10, 1e300, -1e300, HUGE_VAL, -HUGE_VAL})
        comparison.Check(outside);
    EXPECT_SPLITS_AGREE(comparison);
}

TEST(OleDatePlatformTest, AgreeOnRandomDates)
{
    SplitComparison comparison;
    std::mt19937_64 random(20050307);
    std::uniform_real_distribution<double> anyDate(kFirstDay - 2, kLastDay + 2);
    std::uniform_real_distribution<double> nearZero(-3, 3);
    for (int i = 0; i < 1000000; ++i) {
        comparison.Check(anyDate(random));
        comparison.Check(nearZero(random));
    }
    EXPECT_SPLITS_AGREE(comparison);
}
