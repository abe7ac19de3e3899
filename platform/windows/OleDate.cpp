#include <windows.h>
#include <oleauto.h>

#include <cmath>

#include "platform/OleDate.h"

bool SplitOleDate(double date, CalendarFields& fields) noexcept
{
    // A NaN passes Wine's range check and comes back as midnight of day 0;
    // it is no date on any platform.
    if (std::isnan(date))
        return false;
    SYSTEMTIME time = {};
    if (!VariantTimeToSystemTime(date, &time))
        return false;
    fields.year = time.wYear;
    fields.month = time.wMonth;
    fields.day = time.wDay;
    fields.hour = time.wHour;
    fields.minute = time.wMinute;
    fields.second = time.wSecond;
    return true;
}
