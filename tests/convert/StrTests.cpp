// Str: construction and printf-style formatting.
#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>

#include "convert/Str.h"

TEST(StrTest, ANullOrMissingTextIsEmpty)
{
    EXPECT_EQ(u"", Str().text());
    EXPECT_EQ(u"", Str(nullptr).text());
    EXPECT_EQ(u"", std::u16string(Str(nullptr).c_str())) << "c_str is never null";
    EXPECT_EQ(u"abc", std::u16string(Str(u"abc").c_str()));
}

TEST(StrTest, FormatPadsNumbersWithZerosToTheWidth)
{
    Str text;
    text.Format(u"%02d|%02d|%02d|%04d|%04d|%04d", 0, 7, 123, 5, 2005, 123456);
    EXPECT_EQ(u"00|07|123|0005|2005|123456", text.text()) << "a wider number is never cut";
}

TEST(StrTest, AMinusSignCountsTowardTheWidth)
{
    Str text;
    text.Format(u"%02d|%04d|%04d|%02d|%04d", -1, -1, -12, -12345, -999);
    EXPECT_EQ(u"-1|-001|-012|-12345|-999", text.text());
}

TEST(StrTest, FormatWritesTheWholeIntegerRange)
{
    Str text;
    text.Format(u"%d %d %02d", INT_MIN, INT_MAX, 0);
    EXPECT_EQ(u"-2147483648 2147483647 00", text.text());
}

TEST(StrTest, FormatInsertsTextArguments)
{
    Str text;
    const std::u16string owned = u"owned";
    text.Format(u"[%s][%s][%s][%s]", u"Mar", std::u16string_view(u"view"), owned,
                static_cast<const char16_t*>(nullptr));
    EXPECT_EQ(u"[Mar][view][owned][]", text.text()) << "a null text inserts nothing";
}

TEST(StrTest, FormatReplacesTheWholeContent)
{
    Str text(u"a much longer previous content");
    text.Format(u"%02d:%02d", 9, 5);
    EXPECT_EQ(u"09:05", text.text());
    text.Format(u"plain text, no conversions");
    EXPECT_EQ(u"plain text, no conversions", text.text());
    EXPECT_EQ(u"plain text, no conversions", std::u16string(text.c_str()));
}

TEST(StrTest, AMismatchBetweenFormatAndArgumentsThrowsAndKeepsTheContent)
{
    Str text(u"kept");
    EXPECT_THROW(text.Format(u"%02d %02d", 1), std::invalid_argument) << "too few arguments";
    EXPECT_THROW(text.Format(u"%02d", 1, 2), std::invalid_argument) << "too many arguments";
    EXPECT_THROW(text.Format(u"%02d", u"text"), std::invalid_argument) << "text for a number";
    EXPECT_THROW(text.Format(u"%s", 1), std::invalid_argument) << "a number for text";
    EXPECT_THROW(text.Format(u"%x", 1), std::invalid_argument) << "unsupported conversion";
    EXPECT_THROW(text.Format(u"%5d", 1), std::invalid_argument) << "a width without zero padding";
    EXPECT_THROW(text.Format(u"%02s", u"a"), std::invalid_argument) << "a width for text";
    EXPECT_THROW(text.Format(u"100%"), std::invalid_argument) << "a lone percent sign";
    EXPECT_EQ(u"kept", text.text());
}
