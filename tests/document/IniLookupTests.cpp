// What a loaded document finds: how each kind of line is classified and
// indexed, and how lookups match names.
#include "document/DocumentFixture.h"

using namespace std::string_literals;

namespace {

constexpr char kAbsent[] = "<absent>";

}  // namespace

TEST_F(DocumentTest, NamesMatchWithoutRegardToCase)
{
    LoadBytes("[General]\r\nTitle=abc\r\n");
    EXPECT_EQ("abc", Lookup(u"general", u"TITLE"));
    EXPECT_EQ("abc", Lookup(u"GENERAL", u"title"));
    EXPECT_EQ(kAbsent, Lookup(u"General", u"Titl")) << "a name matches whole";
    EXPECT_EQ(kAbsent, Lookup(u"Other", u"Title"));

    // Names of every length around the four units that are hashed at a time,
    // with and without a unit beyond ASCII among them.
    for (const std::u16string name : {u"a", u"Ab", u"abC", u"aBcD", u"AbCdE", u"abcdEFGH", u"AbCdEfGhI", u"\u00C4b",
                                      u"aB\u00C4cDeF\u4E16z"}) {
        LoadBytes(Utf16LeFile(u"[S" + name + u"]\r\n" + name + u"=v\r\n"));
        std::u16string swapped = name;
        for (char16_t& unit : swapped)
            unit = static_cast<char16_t>(unit >= u'a' && unit <= u'z'   ? unit - 32
                                         : unit >= u'A' && unit <= u'Z' ? unit + 32
                                                                        : unit);
        EXPECT_EQ("v", Lookup(u"s" + swapped, swapped)) << Readable(swapped);
        EXPECT_EQ(kAbsent, Lookup(u"s" + name, name + u"x")) << Readable(name);
    }
}

TEST_F(DocumentTest, AFailedLookupLeavesTheOutputAsItWas)
{
    LoadBytes("[General]\r\nTitle=abc\r\n");
    std::u16string text = u"before";
    EXPECT_FALSE(document.GetValue(u"General", u"Missing", text));
    EXPECT_FALSE(document.GetValue(u"Missing", u"Title", text));
    EXPECT_EQ(u"before", text) << "a missing pair must not touch the output";
}

TEST_F(DocumentTest, HeaderLinesAreIndexedWithWhiteSpaceStrippedFromTheirEndsOnly)
{
    LoadBytes("  [Padded] \t\r\n"
              "a=1\r\n"
              "[ Inner ]\r\n"
              "b=2\r\n"
              "[Trailing] ; note\r\n"
              "c=3\r\n"
              "[a]b]\r\n"
              "f=6\r\n"
              "[\r\n"
              "d=4\r\n"
              "[]\r\n"
              "e=5\r\n");
    EXPECT_EQ("1", Lookup(u"Padded", u"a")) << "spaces around the brackets are stripped";
    EXPECT_EQ(kAbsent, Lookup(u"Inner", u"b")) << "spaces inside the brackets are part of the name";
    EXPECT_EQ("2", Lookup(u" Inner ", u"b"));
    EXPECT_EQ(kAbsent, Lookup(u"Trailing", u"c")) << "text after ']' is part of the section key";
    EXPECT_EQ("6", Lookup(u"a]b", u"f")) << "the key is \"[\" + name + \"]\" whatever the name";
    EXPECT_EQ("5", Lookup(u"", u"e")) << "an empty name looks for []";
    EXPECT_EQ(kAbsent, Lookup(u"", u"d")) << "a lone [ is its own section key, not []";
}

TEST_F(DocumentTest, KeyNamesAndTextsAreNeitherTrimmedNorUnquoted)
{
    LoadBytes("[s]\r\n"
              "Title = abc\r\n"
              "Empty=\r\n"
              "Path=a=b\r\n"
              "Quoted=\"x y\"\r\n"
              "   Indented=yes\r\n"
              "\tTabbed=yes\r\n"
              "#x=1\r\n");
    EXPECT_EQ(kAbsent, Lookup(u"s", u"Title")) << "the space before '=' belongs to the key";
    EXPECT_EQ(" abc", Lookup(u"s", u"Title ")) << "and the space after it to the text";
    EXPECT_EQ("", Lookup(u"s", u"Empty"));
    EXPECT_EQ("a=b", Lookup(u"s", u"Path")) << "only the first '=' splits";
    EXPECT_EQ("\"x y\"", Lookup(u"s", u"Quoted")) << "quotation marks have no meaning";
    EXPECT_EQ("yes", Lookup(u"s", u"Indented")) << "leading spaces are not part of the key";
    EXPECT_EQ("yes", Lookup(u"s", u"\tTabbed")) << "a tab is not skipped";
    EXPECT_EQ("1", Lookup(u"s", u"#x")) << "'#' does not start a comment";
}

TEST_F(DocumentTest, LinesWithoutAUsableEqualsSignAreNeverFound)
{
    LoadBytes("[s]\r\n"
              "Title\r\n"
              "=abc\r\n"
              "  =abc\r\n"
              ";Comment=1\r\n"
              "  ;Indented=1\r\n");
    EXPECT_EQ(kAbsent, Lookup(u"s", u"Title"));
    EXPECT_EQ(kAbsent, Lookup(u"s", u"")) << "a line that starts with '=' has no key";
    EXPECT_EQ(kAbsent, Lookup(u"s", u";Comment"));
    EXPECT_EQ(kAbsent, Lookup(u"s", u";Indented"));
}

TEST_F(DocumentTest, TheLastOfDuplicateSectionsAndKeysWins)
{
    LoadBytes("[Dup]\r\n"
              "OnlyFirst=1\r\n"
              "Key=first\r\n"
              "[dup]\r\n"
              "Key=second\r\n"
              "Key=third\r\n");
    EXPECT_EQ("third", Lookup(u"Dup", u"Key"));
    EXPECT_EQ(kAbsent, Lookup(u"Dup", u"OnlyFirst")) << "the first copy of a section is never reached";
}

TEST_F(DocumentTest, TheFirstLineAlwaysStartsASection)
{
    LoadBytes("; leading comment\r\nHidden=1\r\n[s]\r\nx=1\r\n");
    EXPECT_EQ(kAbsent, Lookup(u"; leading comment", u"Hidden"));
    EXPECT_EQ(kAbsent, Lookup(u"", u"Hidden")) << "keys before the first header are never found";

    LoadBytes("a=b\r\nc=d\r\n");
    EXPECT_EQ(kAbsent, Lookup(u"a", u"a")) << "a key line as the first line is the section, not a key";
    EXPECT_EQ(kAbsent, Lookup(u"a=b", u"c")) << "the leading section's key a=b has no brackets, so no name reaches it";

    LoadBytes("\t[General]\r\nx=1\r\n\t[Other]\r\ny=2\r\n");
    EXPECT_EQ("1", Lookup(u"General", u"x")) << "a first line indented by a tab is still a header";
    EXPECT_EQ("2", Lookup(u"General", u"y")) << "elsewhere such a line is an ordinary line";
    EXPECT_EQ(kAbsent, Lookup(u"Other", u"y"));
}

TEST_F(DocumentTest, BlankAndCommentLinesDoNotEndASection)
{
    LoadBytes("[a]\r\nx=1\r\n\r\n; about b\r\n   \r\ny=2\r\n[b]\r\n");
    EXPECT_EQ("2", Lookup(u"a", u"y"));
}

TEST_F(DocumentTest, AUtf16FileIsReadAsCodeUnits)
{
    LoadBytes(Utf16LeFile(u"[Allgemein]\r\nGr\u00FC\u00DFe=\u4E16\u754C\r\n"));
    EXPECT_TRUE(document.unicode());
    EXPECT_EQ("\\u{4e16}\\u{754c}", Lookup(u"ALLGEMEIN", u"GR\u00FC\u00DFE"));
}

TEST_F(DocumentTest, AnAnsiFileIsConvertedFromTheCodePage)
{
    // E9 is e-acute and 80 the euro sign in Windows-1252.
    LoadBytes("[Caf\xE9]\r\nPrice=5\x80\r\n");
    EXPECT_FALSE(document.unicode());
    EXPECT_EQ("5\\u{20ac}", Lookup(u"Caf\u00E9", u"Price"));
}

TEST_F(DocumentTest, FilesMarkedAsUtf8OrBigEndianUtf16AreNotLoaded)
{
    for (const std::string mark : {"\xEF\xBB\xBF", "\xFE\xFF"}) {
        SCOPED_TRACE(ReadableBytes(mark));
        LoadBytes(Utf16LeFile(u"[s]\r\nk=before\r\n"));
        WriteBytes(file, mark + "[s]\r\nk=v\r\n");
        EXPECT_FALSE(document.Load(path));
        EXPECT_EQ(platform::kUnwrittenEncoding, document.lastError());
        EXPECT_EQ("before", Lookup(u"s", u"k")) << "the document keeps what it held";
        EXPECT_TRUE(document.unicode());

        EXPECT_TRUE(document.LoadIfUnicode(path)) << "nothing to load, and nothing refused";
        EXPECT_FALSE(document.unicode());
        EXPECT_EQ(kAbsent, Lookup(u"s", u"k"));
    }
    LoadBytes("\xEF\xBB");
    EXPECT_FALSE(document.unicode()) << "two bytes of the UTF-8 mark are ANSI text";
    LoadBytes("\xFF");
    EXPECT_FALSE(document.unicode()) << "a single byte is ANSI text";
}

TEST_F(DocumentTest, LineEndsAsTextModeReadsThem)
{
    LoadBytes("[s]\nlf=1\ncr=a\rb\r\ncrcr=c\r\r\nlast=z\r");
    EXPECT_EQ("1", Lookup(u"s", u"lf")) << "a bare line feed ends a line";
    EXPECT_EQ("a\\u{d}b", Lookup(u"s", u"cr")) << "a carriage return inside a line is data";
    EXPECT_EQ("c\\u{d}", Lookup(u"s", u"crcr")) << "only the carriage return right before the line feed goes";
    EXPECT_EQ("z\\u{d}", Lookup(u"s", u"last")) << "a carriage return at the very end is data";

    LoadBytes(Utf16LeFile(u"[s]\nlf=1\r\ncr=a\rb\nlast=z"));
    EXPECT_EQ("1", Lookup(u"s", u"lf"));
    EXPECT_EQ("a\\u{d}b", Lookup(u"s", u"cr")) << "nothing after a carriage return inside a UTF-16 line is lost";
    EXPECT_EQ("z", Lookup(u"s", u"last"));
}

TEST_F(DocumentTest, LongLinesAreReadWhole)
{
    const std::string longText(100000, 'x');
    LoadBytes("[s]\r\nlong=" + longText + "\r\nafter=1\r\n");
    EXPECT_EQ(longText, Lookup(u"s", u"long"));
    EXPECT_EQ("1", Lookup(u"s", u"after"));

    LoadBytes(Utf16LeFile(u"[s]\r\nlong=" + std::u16string(100000, u'y') + u"\r\n"));
    EXPECT_EQ(std::string(100000, 'y'), Lookup(u"s", u"long"));
}

TEST_F(DocumentTest, ControlZAndZeroBytesAreOrdinaryData)
{
    LoadBytes("[s]\r\nz=a\x1A" "b\r\nzero=c\0d\r\nafter=1\r\n"s);
    EXPECT_EQ("a\\u{1a}b", Lookup(u"s", u"z")) << "Ctrl-Z does not end the file";
    EXPECT_EQ("c\\u{0}d", Lookup(u"s", u"zero")) << "a zero byte does not end the line";
    EXPECT_EQ("1", Lookup(u"s", u"after"));
}

TEST_F(DocumentTest, ASectionOfManyKeysFindsEachOfThem)
{
    std::string text = "[big]\r\n";
    for (int i = 0; i < 100000; ++i)
        text += "Key" + std::to_string(i) + "=" + std::to_string(i * 7) + "\r\n";
    LoadBytes(text);
    for (int i = 0; i < 100000; i += 997)
        EXPECT_EQ(std::to_string(i * 7), Lookup(u"big", Widened("KEY" + std::to_string(i)))) << "key " << i;
}
