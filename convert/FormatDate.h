#pragma once
// Dates as text in the layouts that the host chooses by a format selector.
// Portable.
#include "convert/Str.h"

// Replaces the content of `out` with `date` (an OLE Automation date) in the
// layout of `formatSelector`, and returns true. The selectors follow the
// date styles of SQL Server's CONVERT (1 to 7, 10 to 12, 100 to 107, 109 to
// 112, 120, 121; 0 and 100 share a layout); every other selector takes the
// default layout, "07 March 2005 14:05:09:000".
// Returns false, leaving `out` as it was, for the date 0 and for a date that
// has no calendar date (outside 1 January 100 to 31 December 9999, or not a
// number): such dates are left to the generic text of the value.
bool FormatDate(Str& out, double date, int formatSelector);
