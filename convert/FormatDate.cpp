#include "convert/FormatDate.h"

#include "convert/MonthNames.h"
#include "platform/OleDate.h"

bool FormatDate(Str& out, double date, int formatSelector)
{
    // Zero, midnight of 30 December 1899, is the date type's empty value and
    // is left to the platform's generic text (negative zero compares equal).
    if (date == 0.0)
        return false;
    CalendarFields f;
    if (!SplitOleDate(date, f))
        return false;

    const int yy = f.year % 100;
    // The 12-hour clock as the layouts print it: 0 stays 00, 12 stays 12.
    const int hh12 = f.hour > 12 ? f.hour - 12 : f.hour;
    // Noon and the hours after it are PM, so 12:30 PM is half past noon.
    const char16_t* marker = f.hour >= 12 ? u"PM" : u"AM";
    const std::u16string_view mon = MonthAbbreviation(f.month);

    switch (formatSelector) {
    case 0:
    case 100: out.Format(u"%s %02d %04d %02d:%02d %s", mon, f.day, f.year, hh12, f.minute, marker); break;
    case 1: out.Format(u"%02d/%02d/%02d", f.month, f.day, yy); break;
    case 2: out.Format(u"%02d.%02d.%02d", yy, f.month, f.day); break;
    case 3: out.Format(u"%02d/%02d/%02d", f.day, f.month, yy); break;
    case 4: out.Format(u"%02d.%02d.%02d", f.day, f.month, yy); break;
    case 5: out.Format(u"%02d-%02d-%02d", f.day, f.month, yy); break;
    case 6: out.Format(u"%02d %s %02d", f.day, mon, yy); break;
    case 7: out.Format(u"%s %02d, %02d", mon, f.day, yy); break;
    case 10: out.Format(u"%02d-%02d-%02d", f.month, f.day, yy); break;
    case 11: out.Format(u"%02d/%02d/%02d", yy, f.month, f.day); break;
    case 12: out.Format(u"%02d%02d%02d", yy, f.month, f.day); break;
    case 101: out.Format(u"%02d/%02d/%04d", f.month, f.day, f.year); break;
    case 102: out.Format(u"%04d.%02d.%02d", f.year, f.month, f.day); break;
    case 103: out.Format(u"%02d/%02d/%04d", f.day, f.month, f.year); break;
    case 104: out.Format(u"%02d.%02d.%04d", f.day, f.month, f.year); break;
    case 105: out.Format(u"%02d-%02d-%04d", f.day, f.month, f.year); break;
    case 106: out.Format(u"%02d %s %04d", f.day, mon, f.year); break;
    case 107: out.Format(u"%s %02d, %04d", mon, f.day, f.year); break;
    case 109:
        out.Format(u"%s %02d %04d %02d:%02d:%02d:000 %s", mon, f.day, f.year, hh12, f.minute, f.second, marker);
        break;
    case 110: out.Format(u"%02d-%02d-%04d", f.month, f.day, f.year); break;
    case 111: out.Format(u"%04d/%02d/%02d", f.year, f.month, f.day); break;
    case 112: out.Format(u"%04d%02d%02d", f.year, f.month, f.day); break;
    case 120: out.Format(u"%04d-%02d-%02d", f.year, f.month, f.day); break;
    case 121: out.Format(u"%04d-%02d-%02d %02d:%02d:%02d.000", f.year, f.month, f.day, f.hour, f.minute, f.second); break;
    default:
        out.Format(u"%02d %s %04d %02d:%02d:%02d:000", f.day, MonthFullName(f.month), f.year, f.hour, f.minute,
                   f.second);
        break;
    }
    return true;
}
