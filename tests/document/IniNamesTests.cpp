// Which names a file can hold: every rule, for keys and sections, in a file
// of either encoding.
#include <gtest/gtest.h>

#include <string>

#include "document/IniNames.h"

using document::NameFault;
using namespace std::string_view_literals;

TEST(IniNamesTest, EachRuleRefusesWhatReadersWouldReadAsSomethingElse)
{
    struct Case {
        std::u16string_view name;
        NameFault asKey;
        NameFault asSection;
        NameFault inAnsiFile;  // as a key, in a file of the ANSI code page
    };
    const Case cases[] = {
        {u"plain", NameFault::None, NameFault::None, NameFault::None},
        {u"a b", NameFault::None, NameFault::None, NameFault::None},
        {u"#x", NameFault::None, NameFault::None, NameFault::None},
        {u"\u00E4", NameFault::None, NameFault::None, NameFault::None},
        {u"?", NameFault::None, NameFault::None, NameFault::None},
        {u"", NameFault::Empty, NameFault::None, NameFault::Empty},
        {u"a=b", NameFault::EqualsSign, NameFault::None, NameFault::EqualsSign},
        {u"[x", NameFault::OpensHeader, NameFault::None, NameFault::OpensHeader},
        {u";c", NameFault::OpensComment, NameFault::None, NameFault::OpensComment},
        {u"k]", NameFault::None, NameFault::ClosingBracket, NameFault::None},
        {u" lead", NameFault::BlankAtEnd, NameFault::BlankAtEnd, NameFault::BlankAtEnd},
        {u"trail\t", NameFault::BlankAtEnd, NameFault::BlankAtEnd, NameFault::BlankAtEnd},
        {u"ctrl\x1A", NameFault::BlankAtEnd, NameFault::BlankAtEnd, NameFault::BlankAtEnd},
        {u"in side", NameFault::None, NameFault::None, NameFault::None},
        {u"a\0b"sv, NameFault::Nul, NameFault::Nul, NameFault::Nul},
        {u"a\nb", NameFault::LineBreak, NameFault::LineBreak, NameFault::LineBreak},
        {u"\u03A9", NameFault::None, NameFault::None, NameFault::NotInCodePage},
        {u"a\uFF1Db", NameFault::None, NameFault::None, NameFault::NotInCodePage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
        EXPECT_EQ(c.asKey, document::KeyNameFault(c.name));
        EXPECT_EQ(c.asSection, document::SectionNameFault(c.name));
        EXPECT_EQ(c.inAnsiFile, document::KeyNameFaultInAnsiFile(c.name));
    }
}
