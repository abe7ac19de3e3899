#include <cmath>

#include "platform/OleDate.h"

namespace {

// The days of the platform's range, as OLE Automation dates: any time on
// either end day is accepted.
constexpr double kFirstDay = -657434.0;  // 1 January 100
constexpr double kLastDay = 2958465.0;   // 31 December 9999

// Days from 1 March of the proleptic Gregorian year 0 to 30 December 1899.
constexpr int kDaysFromMarchOfYear0 = 693899;
constexpr int kDaysPer400Years = 146097;

// Added to the time of day before it is cut into hours, minutes and seconds,
// as the platform does: a fraction meant as a whole second but stored a hair
// below it must not lose that second to the truncation, and exactly half a
// second rounds up.
constexpr double kTruncationAllowance = 1e-11;

// The proleptic Gregorian date of a day number (days since 30 December 1899),
// counting years from March so that the leap day ends the year.
void SetCalendarDate(int days, CalendarFields& fields) noexcept
{
    const int sinceMarchOfYear0 = days + kDaysFromMarchOfYear0;  // positive across the range
    const int era = sinceMarchOfYear0 / kDaysPer400Years;
    const int dayOfEra = sinceMarchOfYear0 - era * kDaysPer400Years;
    const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int monthFromMarch = (5 * dayOfYear + 2) / 153;
    fields.day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    fields.month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    fields.year = yearOfEra + era * 400 + (fields.month <= 2 ? 1 : 0);
}

}  // namespace

bool SplitOleDatePortable(double date, CalendarFields& fields) noexcept
{
    // Written so that a NaN fails too.
    if (!(date > kFirstDay - 1.0 && date < kLastDay + 1.0))
        return false;

    // The day is the date truncated toward zero; the fraction, whatever the
    // sign of the date, counts forward from the start of that day.
    const double wholeDays = std::trunc(date);
    int days = static_cast<int>(wholeDays);
    double rest = std::fabs(date - wholeDays) + kTruncationAllowance;
    if (rest >= 1.0)
        rest -= kTruncationAllowance;

    // Cut step by step, in the platform's order of operations, so that both
    // splits round every date alike.
    rest *= 24.0;
    int hour = static_cast<int>(rest);
    rest -= hour;
    rest *= 60.0;
    int minute = static_cast<int>(rest);
    rest -= minute;
    rest *= 60.0;
    int second = static_cast<int>(rest);
    rest -= second;

    // More than half a second left rounds up, carrying into the next day;
    // at the top of the range that day is 1 January 10000.
    if (rest > 0.5 && ++second == 60) {
        second = 0;
        if (++minute == 60) {
            minute = 0;
            if (++hour == 24) {
                hour = 0;
                ++days;
            }
        }
    }

    SetCalendarDate(days, fields);
    fields.hour = hour;
    fields.minute = minute;
    fields.second = second;
    return true;
}
