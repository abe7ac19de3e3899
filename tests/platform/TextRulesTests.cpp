// Lower-casing and white space for every UTF-16 unit. Both trees check the
// same expected rules here, so the native tests and the fuzzer exercise the
// rules the DLL ships. The Windows tree also checks them against the C
// runtime the DLL uses (msvcrt) in the "C" locale, and shows that a locale
// the host chooses changes the runtime's answers but not the document's.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "document/NameIndex.h"
#include "platform/Text.h"

#ifdef _WIN32
#include <clocale>
#include <cwctype>
#endif

namespace {

// What msvcrt's iswspace counts in the "C" locale: its own table below
// U+0100, which leaves out U+0085, and the system's character types above.
constexpr char16_t kWhiteSpace[] = {0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x00A0, 0x1680,
                                    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007,
                                    0x2008, 0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};

bool ExpectedSpace(char16_t unit) { return std::find(std::begin(kWhiteSpace), std::end(kWhiteSpace), unit) != std::end(kWhiteSpace); }

// towlower in the "C" locale maps A to Z and nothing else.
char16_t ExpectedLower(char16_t unit)
{
    return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 0x20) : unit;
}

// Calls `check` for every unit and fails, naming the first few, for those
// where it returns false.
template <class Check>
void ForEveryUnit(const char* what, Check check)
{
    int wrong = 0;
    for (unsigned value = 0; value <= 0xFFFF; ++value) {
        if (!check(static_cast<char16_t>(value)) && ++wrong <= 5)
            ADD_FAILURE() << what << " differs at U+" << std::hex << std::uppercase << value;
    }
    EXPECT_EQ(0, wrong) << what << ": units that differ";
}

}  // namespace

TEST(TextRules, EveryUnitFollowsTheRulesOfTheDll)
{
    ForEveryUnit("lower-casing", [](char16_t unit) { return platform::ToLower(unit) == ExpectedLower(unit); });
    ForEveryUnit("white space", [](char16_t unit) { return platform::IsSpace(unit) == ExpectedSpace(unit); });
}

#ifdef _WIN32

TEST(TextRules, AreTheRuntimesInTheCLocaleWhateverLocaleTheHostChooses)
{
    ASSERT_STREQ("C", std::setlocale(LC_ALL, nullptr));
    ForEveryUnit("towlower", [](char16_t unit) { return std::towlower(unit) == platform::ToLower(unit); });
    ForEveryUnit("iswspace", [](char16_t unit) { return (std::iswspace(unit) != 0) == platform::IsSpace(unit); });

    // A host of msvcrt that sets a locale sets it for the plug-in too.
    const uint32_t hashInTheCLocale = document::FoldedHash(u"\u00C4rger");
    ASSERT_NE(nullptr, std::setlocale(LC_ALL, "German_Germany.1252"));
    EXPECT_EQ(0x00E4, std::towlower(0x00C4)) << "the runtime now lower-cases by the host's locale";
    EXPECT_EQ(u'\u00C4', platform::ToLower(u'\u00C4'));
    EXPECT_EQ(hashInTheCLocale, document::FoldedHash(u"\u00C4rger")) << "an index keeps finding its names";
    std::setlocale(LC_ALL, "C");
}

#endif
