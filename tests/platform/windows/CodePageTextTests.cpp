// Conversion between UTF-16 and a code page in pieces: whatever the piece
// limit, a text comes out as when it is converted whole, because no piece
// ends inside a character.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/windows/CodePageText.h"

using platform::AppendCodePageAsUtf16;
using platform::AppendUtf16AsCodePage;

TEST(CodePageText, APieceNeverEndsInsideACharacter)
{
    const struct {
        const char* name;
        UINT codePage;
        std::string bytes;
    } cases[] = {
        // 81 81 is one character whose trail byte is also a lead byte.
        {"Shift-JIS", 932, "a\x81\x81\x81\x81" "b\x82\xA0\x88\x9F\x81\x40" "c"},
        {"UTF-8 with sequences of two, three and four bytes", CP_UTF8, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z"},
        {"Windows-1252", 1252, "caf\xE9 5\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string whole;
        ASSERT_TRUE(AppendCodePageAsUtf16(c.codePage, c.bytes, whole));
        std::string wholeBack;
        ASSERT_TRUE(AppendUtf16AsCodePage(c.codePage, whole, wholeBack));
        ASSERT_EQ(c.bytes, wholeBack) << "the text survives a round trip";
        for (size_t limit = 1; limit <= c.bytes.size(); ++limit) {
            std::u16string text = u"<";
            ASSERT_TRUE(AppendCodePageAsUtf16(c.codePage, c.bytes, text, limit)) << "limit " << limit;
            EXPECT_EQ(u"<" + whole, text) << "pieces of at most " << limit << " bytes are appended";
            std::string bytes = "<";
            ASSERT_TRUE(AppendUtf16AsCodePage(c.codePage, whole, bytes, limit)) << "limit " << limit;
            EXPECT_EQ("<" + c.bytes, bytes) << "pieces of at most " << limit << " units are appended";
        }
    }
}

TEST(CodePageText, ACallThatConvertsNothingIsAFailure)
{
    constexpr UINT kNoSuchCodePage = 12345;
    std::u16string text;
    EXPECT_FALSE(AppendCodePageAsUtf16(kNoSuchCodePage, "abc", text));
    std::string bytes;
    EXPECT_FALSE(AppendUtf16AsCodePage(kNoSuchCodePage, u"abc", bytes));
    EXPECT_TRUE(AppendCodePageAsUtf16(kNoSuchCodePage, "", text)) << "an empty text needs no call";
}

TEST(CodePageText, BytesTheCodePageDoesNotDefineFailTheConversion)
{
    std::string everyByte;
    for (int byte = 0; byte < 256; ++byte)
        everyByte += static_cast<char>(byte);
    const struct {
        const char* name;
        UINT codePage;
        std::string bytes;
        bool converts;
    } cases[] = {
        {"UTF-8, a Windows-1252 e with acute", CP_UTF8, "caf\xE9", false},
        {"UTF-8, a continuation byte alone", CP_UTF8, "a\x80z", false},
        {"Shift-JIS, a lead byte before a byte that cannot trail it", 932, "a\x81 z", false},
        {"Shift-JIS, a lead byte without its trail byte", 932, "a\x81", false},
        {"Windows-1252, every byte", 1252, everyByte, true},
    };
    for (const auto& c : cases) {
        std::u16string text;
        EXPECT_EQ(c.converts, AppendCodePageAsUtf16(c.codePage, c.bytes, text)) << c.name;
    }
}
