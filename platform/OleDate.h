#pragma once
// Splitting an OLE Automation date into calendar fields. An OLE Automation
// date counts days since midnight, 30 December 1899; its fraction is the time
// of day. For a negative date the fraction still counts forward from the
// start of its day: -1.25 is 29 December 1899, 06:00. This header includes
// nothing of Windows.

struct CalendarFields {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;   // 0 to 23
    int minute = 0;
    int second = 0;
};

// The platform's split: VariantTimeToSystemTime on Windows, the portable
// split below elsewhere. Times are rounded to the nearest second. Returns
// false, leaving `fields` unchanged, for a date outside the platform's range
// and for a value that is not a number.
bool SplitOleDate(double date, CalendarFields& fields) noexcept;

// The split computed without the platform, with Windows' range (1 January 100
// to 31 December 9999) and its rounding. It is built in both trees, so that
// the Windows tests can hold it against VariantTimeToSystemTime.
bool SplitOleDatePortable(double date, CalendarFields& fields) noexcept;
