#include "convert/MonthNames.h"

const MonthName MonthNames[12] = {
    {u"January", 1, u"Jan"},   {u"February", 2, u"Feb"},  {u"March", 3, u"Mar"},
    {u"April", 4, u"Apr"},     {u"May", 5, u"May"},       {u"June", 6, u"Jun"},
    {u"July", 7, u"Jul"},      {u"August", 8, u"Aug"},    {u"September", 9, u"Sep"},
    {u"October", 10, u"Oct"},  {u"November", 11, u"Nov"}, {u"December", 12, u"Dec"},
};

namespace {

const MonthName* MonthAt(int month) noexcept
{
    return month >= 1 && month <= 12 ? &MonthNames[month - 1] : nullptr;
}

}  // namespace

std::u16string_view MonthFullName(int month) noexcept
{
    const MonthName* name = MonthAt(month);
    return name ? std::u16string_view(name->fullName) : std::u16string_view();
}

std::u16string_view MonthAbbreviation(int month) noexcept
{
    const MonthName* name = MonthAt(month);
    return name ? std::u16string_view(name->abbreviation) : std::u16string_view();
}
