// Where there is no VariantTimeToSystemTime, the portable split stands in for it.
#include "platform/OleDate.h"

bool SplitOleDate(double date, CalendarFields& fields) noexcept
{
    return SplitOleDatePortable(date, fields);
}
