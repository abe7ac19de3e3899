#pragma once
// The English month names that date layouts write. Portable.
#include <cstdint>
#include <string_view>

// One month: the full name in a fixed field of 50 units, NUL-terminated and
// NUL-filled; the month number; the abbreviation in a fixed field of 4 units,
// NUL-terminated.
struct MonthName {
    char16_t fullName[50];
    std::int32_t number;
    char16_t abbreviation[4];
};

// The twelve months in calendar order. Lookups go by position; the number is
// there for whoever reads the table.
extern const MonthName MonthNames[12];

// The full name ("January") and abbreviation ("Jan") of month 1 to 12;
// empty text for any other number.
std::u16string_view MonthFullName(int month) noexcept;
std::u16string_view MonthAbbreviation(int month) noexcept;
