// ValueToText with real VARIANTs and the platform's coercion: the date
// layouts, the generic text of every other value, failures with the
// platform's HRESULT, and that every string it makes is released.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "com/Bstr.h"
#include "com/ComError.h"
#include "com/Variant.h"
#include "convert/windows/ValueToText.h"
#include "platform/windows/WideText.h"
#include "support/MallocSpy.h"

namespace {

// 7 March 2005, 14:05:09.
constexpr double kWorkedExample = 38418 + 50709 / 86400.0;

// The raw bytes of a VARIANT, to show that a call left it as it was.
using VariantBytes = std::array<unsigned char, sizeof(VARIANT)>;
VariantBytes BytesOf(const VARIANT& value)
{
    VariantBytes bytes;
    std::memcpy(bytes.data(), &value, sizeof(VARIANT));
    return bytes;
}

void SetDate(UniqueVariant& value, double date)
{
    VariantClear(value.get());
    V_VT(value.get()) = VT_DATE;
    V_DATE(value.get()) = date;
}

void SetString(UniqueVariant& value, std::u16string_view text)
{
    VariantClear(value.get());
    V_VT(value.get()) = VT_BSTR;
    V_BSTR(value.get()) = MakeBstr(text).release();
}

// The HRESULT that ValueToText throws for `value`, or S_OK when it succeeds.
HRESULT FailureOf(const VARIANT& value, int selector = 0)
{
    try {
        ValueToText(value, selector);
        return S_OK;
    } catch (const HResultError& error) {
        return error.code();
    }
}

// The platform's own coercion of `value` to a string, as the generic path
// must give it; its HRESULT when it fails.
std::u16string PlatformText(const VARIANT& value)
{
    UniqueVariant text;
    const HRESULT hr = VariantChangeType(text.get(), const_cast<VARIANT*>(&value), 0, VT_BSTR);
    return SUCCEEDED(hr) ? U16FromWide(V_BSTR(text.get())) : u"<failed>";
}
HRESULT PlatformFailure(const VARIANT& value)
{
    UniqueVariant text;
    return VariantChangeType(text.get(), const_cast<VARIANT*>(&value), 0, VT_BSTR);
}

// The allocation spy watches the whole suite; every test must free each
// string allocated during it.
class ValueToTextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { registered = spy.Register(); }
    static void TearDownTestSuite() { spy.Revoke(); }

    void SetUp() override
    {
        ASSERT_TRUE(BstrCacheIsOff())
            << "run with OANOCACHE=1, so that oleaut32 frees strings instead of caching them";
        ASSERT_TRUE(registered);
        liveAtStart = spy.live();
    }
    void TearDown() override
    {
        spy.failAllocations(false);
        EXPECT_EQ(liveAtStart, spy.live()) << "blocks allocated during the test were never freed";
    }

    static MallocSpy spy;
    static bool registered;
    long liveAtStart = 0;
};

MallocSpy ValueToTextTest::spy;
bool ValueToTextTest::registered = false;

}  // namespace

TEST_F(ValueToTextTest, ADateTakesTheLayoutOfTheSelector)
{
    UniqueVariant value;
    SetDate(value, kWorkedExample);
    EXPECT_EQ(u"Mar 07 2005 02:05 PM", ValueToText(*value.get(), 0));
    EXPECT_EQ(u"03/07/2005", ValueToText(*value.get(), 101));
    EXPECT_EQ(u"2005-03-07 14:05:09.000", ValueToText(*value.get(), 121));
    EXPECT_EQ(u"07 March 2005 14:05:09:000", ValueToText(*value.get(), 8));
    EXPECT_EQ(VT_DATE, V_VT(value.get()));
    EXPECT_EQ(kWorkedExample, V_DATE(value.get())) << "the caller's value is not changed";
}

TEST_F(ValueToTextTest, TheDateZeroTakesThePlatformsText)
{
    for (double zero : {0.0, -0.0}) {
        UniqueVariant value;
        SetDate(value, zero);
        const std::u16string generic = PlatformText(*value.get());
        ASSERT_NE(u"<failed>", generic);
        for (int selector : {0, 101, 121, 9999}) {
            const std::u16string text = ValueToText(*value.get(), selector);
            EXPECT_EQ(generic, text) << zero << " with selector " << selector;
            EXPECT_EQ(std::u16string::npos, text.find(u"1899")) << "no layout of 30 December 1899: " << zero;
        }
    }
}

TEST_F(ValueToTextTest, ADateByReferenceTakesThePlatformsText)
{
    double date = kWorkedExample;
    UniqueVariant value;
    V_VT(value.get()) = VT_DATE | VT_BYREF;
    V_DATEREF(value.get()) = &date;
    UniqueVariant direct;
    SetDate(direct, kWorkedExample);

    const std::u16string text = ValueToText(*value.get(), 121);
    EXPECT_EQ(PlatformText(*direct.get()), text) << "the same text as the date's generic text";
    EXPECT_NE(u"2005-03-07 14:05:09.000", text) << "not the layout of the selector";
    EXPECT_EQ(kWorkedExample, date);
    V_VT(value.get()) = VT_EMPTY;  // the date belongs to this test, not to the VARIANT
}

TEST_F(ValueToTextTest, ADateWithoutCalendarDateFailsWithThePlatformsHresult)
{
    UniqueVariant value;
    SetDate(value, 3e6);
    const VariantBytes before = BytesOf(*value.get());
    const HRESULT platform = PlatformFailure(*value.get());
    ASSERT_TRUE(FAILED(platform)) << "the platform has no text for a date past the year 9999";
    EXPECT_EQ(platform, FailureOf(*value.get(), 101)) << "no -1/-1/-001 in the file";
    EXPECT_EQ(before, BytesOf(*value.get()));
}

TEST_F(ValueToTextTest, OtherValuesTakeTheGenericTextWhateverTheSelector)
{
    UniqueVariant integer;
    V_VT(integer.get()) = VT_I4;
    V_I4(integer.get()) = -42;
    UniqueVariant real;
    V_VT(real.get()) = VT_R8;
    V_R8(real.get()) = 1.5;
    UniqueVariant yes;
    V_VT(yes.get()) = VT_BOOL;
    V_BOOL(yes.get()) = VARIANT_TRUE;
    UniqueVariant no;
    V_VT(no.get()) = VT_BOOL;
    V_BOOL(no.get()) = VARIANT_FALSE;
    UniqueVariant dateText;
    SetString(dateText, u"2005-03-07");
    UniqueVariant empty;

    for (int selector : {0, 1, 101, 121, 9999, -1}) {
        EXPECT_EQ(u"-42", ValueToText(*integer.get(), selector)) << selector;
        EXPECT_EQ(u"1.5", ValueToText(*real.get(), selector)) << selector;
        EXPECT_EQ(u"-1", ValueToText(*yes.get(), selector)) << "booleans without coercion flags, " << selector;
        EXPECT_EQ(u"0", ValueToText(*no.get(), selector)) << selector;
        EXPECT_EQ(u"2005-03-07", ValueToText(*dateText.get(), selector)) << "a string is never read as a date";
        EXPECT_EQ(u"", ValueToText(*empty.get(), selector)) << "an empty value has empty text";
    }
}

TEST_F(ValueToTextTest, AStringEndsAtItsFirstNul)
{
    UniqueVariant value;
    SetString(value, std::u16string_view(u"ab\0cd", 5));
    ASSERT_EQ(5u, SysStringLen(V_BSTR(value.get())));
    const VariantBytes before = BytesOf(*value.get());
    EXPECT_EQ(u"ab", ValueToText(*value.get(), 0));
    EXPECT_EQ(before, BytesOf(*value.get()));
    EXPECT_EQ(0, std::memcmp(u"ab\0cd", V_BSTR(value.get()), 10)) << "the caller's string is not changed";
}

TEST_F(ValueToTextTest, ANullStringGivesEmptyText)
{
    UniqueVariant value;
    V_VT(value.get()) = VT_BSTR;
    V_BSTR(value.get()) = nullptr;
    EXPECT_EQ(u"", ValueToText(*value.get(), 0));
}

TEST_F(ValueToTextTest, AStringByReferenceGivesItsText)
{
    UniqueBstr text = MakeBstr(u"by reference");
    BSTR held = text.get();
    UniqueVariant value;
    V_VT(value.get()) = VT_BSTR | VT_BYREF;
    V_BSTRREF(value.get()) = &held;
    EXPECT_EQ(u"by reference", ValueToText(*value.get(), 0));
    EXPECT_EQ(text.get(), held);
    V_VT(value.get()) = VT_EMPTY;  // the string belongs to this test, not to the VARIANT
}

TEST_F(ValueToTextTest, AValueWithoutTextFormFailsWithThePlatformsHresult)
{
    UniqueVariant unknown;
    V_VT(unknown.get()) = VT_UNKNOWN;
    V_UNKNOWN(unknown.get()) = nullptr;
    UniqueVariant dispatch;
    V_VT(dispatch.get()) = VT_DISPATCH;
    V_DISPATCH(dispatch.get()) = nullptr;
    UniqueVariant null;
    V_VT(null.get()) = VT_NULL;

    for (UniqueVariant* value : {&unknown, &dispatch, &null}) {
        const VARTYPE type = V_VT(value->get());
        const VariantBytes before = BytesOf(*value->get());
        const HRESULT platform = PlatformFailure(*value->get());
        ASSERT_TRUE(FAILED(platform)) << "type " << type;
        EXPECT_EQ(platform, FailureOf(*value->get())) << "type " << type;
        EXPECT_EQ(before, BytesOf(*value->get())) << "type " << type;
    }
}

TEST_F(ValueToTextTest, AValueThatCannotBeCopiedFailsWithThePlatformsHresult)
{
    UniqueVariant value;
    V_VT(value.get()) = 0x7FFF;  // no such type
    const VariantBytes before = BytesOf(*value.get());
    UniqueVariant copy;
    const HRESULT platform = VariantCopy(copy.get(), value.get());
    ASSERT_TRUE(FAILED(platform));
    EXPECT_EQ(platform, FailureOf(*value.get()));
    EXPECT_EQ(before, BytesOf(*value.get()));
    V_VT(value.get()) = VT_EMPTY;  // VariantClear would refuse the type as well
}

TEST_F(ValueToTextTest, MemoryShortageFailsWithEOutOfMemory)
{
    UniqueVariant text;
    SetString(text, u"copied");
    UniqueVariant number;
    V_VT(number.get()) = VT_I4;
    V_I4(number.get()) = 7;
    const VariantBytes textBefore = BytesOf(*text.get());

    spy.failAllocations(true);
    EXPECT_EQ(E_OUTOFMEMORY, FailureOf(*text.get())) << "the copy of the string";
    EXPECT_EQ(E_OUTOFMEMORY, FailureOf(*number.get())) << "the coerced string";
    spy.failAllocations(false);

    EXPECT_EQ(textBefore, BytesOf(*text.get()));
    EXPECT_EQ(u"copied", ValueToText(*text.get(), 0)) << "the caller's string is intact";
}

TEST_F(ValueToTextTest, EveryTemporaryIsReleased)
{
    UniqueVariant date;
    SetDate(date, kWorkedExample);
    UniqueVariant zero;
    SetDate(zero, 0.0);
    UniqueVariant text;
    SetString(text, u"text");
    UniqueVariant number;
    V_VT(number.get()) = VT_R8;
    V_R8(number.get()) = 2.25;
    UniqueVariant unknown;
    V_VT(unknown.get()) = VT_UNKNOWN;
    V_UNKNOWN(unknown.get()) = nullptr;
    UniqueVariant tooLate;
    SetDate(tooLate, 3e6);

    const long liveBefore = spy.live();
    const long allocationsBefore = spy.allocations();
    constexpr int kRounds = 500;
    for (int round = 0; round < kRounds; ++round) {
        ValueToText(*date.get(), round % 130);
        ValueToText(*zero.get(), 0);
        ValueToText(*text.get(), 0);
        ValueToText(*number.get(), 0);
        EXPECT_NE(S_OK, FailureOf(*unknown.get()));
        EXPECT_NE(S_OK, FailureOf(*tooLate.get()));
    }
    EXPECT_GE(spy.allocations() - allocationsBefore, 3 * kRounds) << "the spy sees the strings being made";
    EXPECT_EQ(liveBefore, spy.live()) << "every string made was freed";
}
