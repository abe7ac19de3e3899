// The round trip: loading a file and saving it changes nothing but line ends
// (every line, the last one included, ends with CR LF) and the leading
// spaces of key lines and other lines. Checked on crafted files of every
// line class, on many generated ones, and on real-world files, in both
// encodings.
#include <random>

#include "document/DocumentFixture.h"

using namespace std::string_literals;

namespace {

// What a load and a save make of a file. Written apart from the document's
// reader, line by line, so that each checks the other. The first line is a
// header whatever it holds and keeps its spaces (and, in a UTF-16 file, the
// byte-order mark); later lines lose their leading spaces unless they are
// headers, comments or blank.
template <class Unit>
std::basic_string<Unit> RoundTripped(std::basic_string_view<Unit> text)
{
    std::basic_string<Unit> result;
    bool first = true;
    while (!text.empty()) {
        const size_t feed = text.find(Unit('\n'));
        std::basic_string_view<Unit> line = text.substr(0, feed);
        text.remove_prefix(feed == text.npos ? text.size() : feed + 1);
        if (feed != line.npos && !line.empty() && line.back() == Unit('\r'))
            line.remove_suffix(1);
        const size_t indent = line.find_first_not_of(Unit(' '));
        if (!first && indent != line.npos && line[indent] != Unit('[') && line[indent] != Unit(';'))
            line.remove_prefix(indent);
        first = false;
        result += line;
        result += Unit('\r');
        result += Unit('\n');
    }
    return result;
}

// UTF-16 units as little-endian bytes, without a byte-order mark of their own.
std::string LittleEndianBytes(std::u16string_view units) { return Utf16LeFile(units).substr(2); }

// Lines of random pieces chosen to make every line class and every odd
// character appear: spaces, tabs, brackets, ';', '=', CR, Ctrl-Z, zero, and
// bytes of the upper half.
std::string RandomAnsiFile(std::mt19937& random)
{
    static const std::string pieces[] = {" ", "  ", "\t", "[", "]", ";", "=", "Key", "a", "Z", "\r", "\x1A", "\0"s,
                                         "\xE9", "\x80", "#", "\r\n", "\n"};
    std::string file;
    const size_t count = random() % 40;
    for (size_t i = 0; i < count; ++i)
        file += pieces[random() % std::size(pieces)];
    return file;
}

std::u16string RandomUtf16Text(std::mt19937& random)
{
    static const std::u16string pieces[] = {u" ", u"  ", u"\t", u"[", u"]", u";", u"=", u"Key", u"a", u"\r",
                                            u"\0"s, u"\u00E9", u"\u4E16", u"\xD83D", u"\r\n", u"\n", u"\xFEFF"};
    std::u16string text;
    const size_t count = random() % 40;
    for (size_t i = 0; i < count; ++i)
        text += pieces[random() % std::size(pieces)];
    return text;
}

}  // namespace

class RoundTripTest : public DocumentTest {
protected:
    // Loads the bytes and saves them to a second file; returns what it holds.
    std::string LoadAndSave(const std::string& bytes)
    {
        LoadBytes(bytes);
        const auto saved = folder.File("saved.ini");
        EXPECT_TRUE(document.Save(U16Path(saved)));
        return ReadBytes(saved);
    }

    void ExpectAnsiRoundTrip(const std::string& bytes, const std::string& what)
    {
        EXPECT_EQ(ReadableBytes(RoundTripped<char>(bytes)), ReadableBytes(LoadAndSave(bytes))) << what;
        EXPECT_FALSE(document.unicode()) << what;
    }

    // `units` begin with the byte-order mark.
    void ExpectUtf16RoundTrip(const std::u16string& units, const std::string& what)
    {
        const std::string saved = LoadAndSave(LittleEndianBytes(units));
        EXPECT_EQ(ReadableBytes(LittleEndianBytes(RoundTripped<char16_t>(units))), ReadableBytes(saved)) << what;
        EXPECT_TRUE(document.unicode()) << what;
    }
};

TEST_F(RoundTripTest, CraftedFilesOfEveryLineClass)
{
    const std::string files[] = {
        "",
        "\n",
        "\r\n\r\n",
        "[General]",
        "; leading comment\r\n  indented=1\r\n[s]\r\n",
        "  first line kept\r\n  key=1\r\n  other\r\n  ; comment\r\n   \r\n  [header]\r\n",
        "a=b\nc=d\n[s]\n=x\n\tkey=1\n#x=1\n[\n[]\n",
        "[s]\r\ncr=a\rb\r\nz=\x1A tail\r\nzero=\0\r\nend\r"s,
        "[utf8]\r\nk=\xC3\xA9\r\n",
        "[s]\r\nlong=" + std::string(10000, 'x') + "\r\n",
    };
    for (const std::string& file : files)
        ExpectAnsiRoundTrip(file, "file " + ReadableBytes(file));
    for (const std::string& file : files)
        ExpectUtf16RoundTrip(u"\xFEFF" + Widened(file), "UTF-16 file " + ReadableBytes(file));
}

TEST_F(RoundTripTest, EveryByteSurvivesTheAnsiCodePage)
{
    std::string everyByte = "[s]\r\nk=";
    for (int value = 0; value < 256; ++value) {
        if (value != '\n' && value != '\r')
            everyByte += static_cast<char>(value);
    }
    ExpectAnsiRoundTrip(everyByte, "all byte values");
}

TEST_F(RoundTripTest, GeneratedFiles)
{
    std::mt19937 random(20240611);
    for (int i = 0; i < 100; ++i) {
        const std::string file = RandomAnsiFile(random);
        ExpectAnsiRoundTrip(file, "generated file " + ReadableBytes(file));
        const std::u16string text = u"\xFEFF" + RandomUtf16Text(random);
        ExpectUtf16RoundTrip(text, "generated UTF-16 text " + Readable(text));
    }
}

// Large files are read in pieces: lines that cross a piece's end, and lines
// longer than a piece, come back whole.
TEST_F(RoundTripTest, FilesLargerThanAReadPiece)
{
    std::mt19937 random(7);
    std::string file = "[big]\r\n";
    std::string longest;
    std::string longestKey;
    for (int line = 0; file.size() < 1500000; ++line) {
        const size_t length = random() % 200 == 0 ? 300000 + random() % 300000 : random() % 90;
        const std::string key = "k" + std::to_string(line);
        const std::string text = std::string(length, static_cast<char>('a' + random() % 26)) + "\xE9";
        if (text.size() > longest.size()) {
            longest = text;
            longestKey = key;
        }
        file += key + "=" + text + "\n";
    }
    ASSERT_GT(longest.size(), 300000u);
    ExpectAnsiRoundTrip(file, "a file of 1.5 MB");
    std::u16string found;
    ASSERT_TRUE(document.GetValue(u"big", Widened(longestKey), found));
    EXPECT_TRUE(found == Widened(longest)) << "the longest line, converted";

    std::u16string text = u"\xFEFF[big]\r\n";
    text += u"long=" + std::u16string(700000, u'\u4E16') + u"\r\n";
    ExpectUtf16RoundTrip(text, "a UTF-16 file of 1.4 MB");
}

TEST_F(RoundTripTest, RealWorldFiles)
{
    for (const char* name : {"wine.inf", "inih-test.ini", "logind.conf"}) {
        const std::string bytes = ReadBytes(std::filesystem::u8path(INIPLUGIN_TEST_DATA) / name);
        ASSERT_FALSE(bytes.empty()) << name << " is in the test data";
        ExpectAnsiRoundTrip(bytes, name);
        ExpectUtf16RoundTrip(u"\xFEFF" + Widened(bytes), std::string("UTF-16 ") + name);
    }
}

TEST_F(RoundTripTest, RealWorldFilesAreReadLikeTheirAuthorsMeantThem)
{
    const auto data = std::filesystem::u8path(INIPLUGIN_TEST_DATA);
    LoadBytes(ReadBytes(data / "wine.inf"));
    EXPECT_EQ("\"$CHICAGO$\"", Lookup(u"Version", u"Signature"));
    EXPECT_EQ("\"Software\\Microsoft\\Windows\\CurrentVersion\"", Lookup(u"strings", u"currentversion"));

    LoadBytes(ReadBytes(data / "inih-test.ini"));
    EXPECT_EQ("<absent>", Lookup(u"protocol", u"version")) << "text after ']' keeps the header from its name";
    EXPECT_EQ(" Bob Smith       ; Spaces around '=' are stripped", Lookup(u"user", u"name "));

    LoadBytes(ReadBytes(data / "logind.conf"));
    EXPECT_EQ("6", Lookup(u"Login", u"#NAutoVTs")) << "'#' does not start a comment";
}
