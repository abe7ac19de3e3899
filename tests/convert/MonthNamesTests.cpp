// MonthNames: the table's record layout, its contents and the lookups.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "convert/MonthNames.h"

TEST(MonthNamesTest, RecordsHoldAFiftyUnitNameTheNumberAndAFourUnitAbbreviation)
{
    EXPECT_EQ(0u, offsetof(MonthName, fullName));
    EXPECT_EQ(100u, offsetof(MonthName, number));
    EXPECT_EQ(104u, offsetof(MonthName, abbreviation));
    EXPECT_EQ(112u, sizeof(MonthName));
    EXPECT_EQ(12 * sizeof(MonthName), sizeof(MonthNames));
}

TEST(MonthNamesTest, HoldsTheEnglishMonthsInCalendarOrder)
{
    const char16_t* const fullNames[12] = {u"January", u"February", u"March",     u"April",   u"May",      u"June",
                                           u"July",    u"August",   u"September", u"October", u"November", u"December"};
    const char16_t* const abbreviations[12] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                               u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    for (int i = 0; i < 12; ++i) {
        const MonthName& month = MonthNames[i];
        EXPECT_EQ(i + 1, month.number) << "record " << i;
        EXPECT_EQ(fullNames[i], std::u16string(month.fullName)) << "record " << i;
        EXPECT_EQ(abbreviations[i], std::u16string(month.abbreviation)) << "record " << i;
        EXPECT_EQ(u'\0', month.abbreviation[3]) << "abbreviation of record " << i << " is NUL-terminated";
        for (size_t unit = std::u16string(month.fullName).size(); unit < 50; ++unit)
            EXPECT_EQ(u'\0', month.fullName[unit]) << "name of record " << i << " is NUL-filled at " << unit;
    }
}

TEST(MonthNamesTest, LooksUpByMonthNumber)
{
    EXPECT_EQ(u"January", MonthFullName(1));
    EXPECT_EQ(u"March", MonthFullName(3)) << "the English name that date parsers accept";
    EXPECT_EQ(u"Mar", MonthAbbreviation(3));
    EXPECT_EQ(u"December", MonthFullName(12));
    EXPECT_EQ(u"Dec", MonthAbbreviation(12));
}

TEST(MonthNamesTest, ANumberOutsideOneToTwelveHasEmptyNames)
{
    for (int month : {0, 13, -1, -2147483647 - 1, 2147483647}) {
        EXPECT_EQ(u"", MonthFullName(month)) << month;
        EXPECT_EQ(u"", MonthAbbreviation(month)) << month;
    }
}
