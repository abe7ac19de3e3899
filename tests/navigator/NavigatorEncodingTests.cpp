// Files whose text the document cannot hold as it is are never rewritten:
// files marked as UTF-8 or as big-endian UTF-16, and ANSI files with bytes
// that the code page does not define. The same cases run in both modes.
#include "navigator/NavigatorFixture.h"

#include "platform/windows/CodePageText.h"
#include "support/ErrorDescription.h"

namespace {

HRESULT Write(IZephFileNavigator* navigator, Records& records)
{
    return navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 0);
}

std::wstring Described(IZephFileNavigator* navigator) { return ErrorDescription(navigator, IID_IZephFileNavigator); }

std::string Utf16BeFile(std::u16string_view text)
{
    std::string bytes = "\xFE\xFF";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit >> 8);
        bytes += static_cast<char>(unit & 0xFF);
    }
    return bytes;
}

// Makes the document convert ANSI text with a code page of the test's
// choice, and the system's again when the test ends.
class DocumentCodePage {
public:
    explicit DocumentCodePage(UINT codePage) { platform::SetAnsiCodePageForTesting(codePage); }
    ~DocumentCodePage() { platform::SetAnsiCodePageForTesting(CP_ACP); }
};

}  // namespace

TEST_F(NavigatorTest, FilesMarkedAsUtf8OrBigEndianUtf16AreNeverWritten)
{
    const struct {
        const char* encoding;
        std::string bytes;
    } files[] = {
        {"UTF-8", "\xEF\xBB\xBF[General]\r\nTitle=v\xC3\xA9\r\n\r\n[Other]\r\nk=1\r\n"},
        {"UTF-16 BE", Utf16BeFile(u"[General]\r\nTitle=v\u00E9\r\n\r\n[Other]\r\nk=1\r\n")},
    };
    const std::wstring cause =
        L"it begins with the byte-order mark of UTF-8 or of UTF-16 big-endian, which the plug-in reads but does not "
        L"write.";
    for (const auto& marked : files) {
        SCOPED_TRACE(marked.encoding);
        const auto file = IniFile(marked.bytes, "marked.ini");
        auto navigator = OpenNavigator(file);
        Records records;
        records.AddText(L"General", L"Title", L"n\u00E9w");
        EXPECT_EQ(E_FAIL, Write(navigator.Get(), records)) << "nothing touches the file, not even the profile writer";
        EXPECT_EQ(L"Cannot write to " + file.wstring() + L": " + cause, Described(navigator.Get()));
        EXPECT_EQ(-1, records[0].found);
        EXPECT_EQ(S_OK, navigator->Commit()) << "nothing is pending";
        EXPECT_EQ(marked.bytes, ReadBytes(file));

        // A write made while the file was ANSI text is committed after it
        // has become one.
        WriteBytes(file, "[General]\r\nTitle=old\r\n");
        auto earlier = OpenNavigator(file);
        ASSERT_EQ(S_OK, Write(earlier.Get(), records));
        WriteBytes(file, marked.bytes);
        EXPECT_EQ(E_FAIL, earlier->Commit());
        EXPECT_EQ(L"Cannot save " + file.wstring() + L": " + cause, Described(earlier.Get()));
        EXPECT_EQ(marked.bytes, ReadBytes(file));
    }
}

// Where the code page defines every byte, as Windows-1252 does, the file
// comes back as it was; where it does not, the commit fails rather than
// rewrite the file's text with replacement characters.
TEST_F(NavigatorTest, ACommitLeavesAFileWithBytesTheCodePageDoesNotDefineAsItWas)
{
    const struct {
        const char* name;
        UINT codePage;
        std::string line;
    } cases[] = {
        {"UTF-8, a Windows-1252 e with acute", CP_UTF8, "k=caf\xE9"},
        {"Shift-JIS, a lead byte before a byte that cannot trail it", 932, "k=\x81 z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = IniFile("; \xE9t\xE9\r\n[s]\r\n" + c.line + "\r\n", "ansi.ini");
        auto navigator = OpenNavigator(file);
        Records records;
        records.AddText(L"s", L"new", L"x");
        ASSERT_EQ(S_OK, Write(navigator.Get(), records));
        const std::string beforeCommit = ReadBytes(file);
        {
            const DocumentCodePage codePage(c.codePage);
            EXPECT_EQ(E_FAIL, navigator->Commit());
            EXPECT_EQ(L"Cannot read " + file.wstring() +
                          L": its text cannot be converted to or from the system's code page.",
                      Described(navigator.Get()));
            EXPECT_EQ(beforeCommit, ReadBytes(file));
        }
        ASSERT_EQ(S_OK, navigator->Commit()) << "the system's code page defines every byte";
        EXPECT_EQ("; \xE9t\xE9\r\n[s]\r\n" + c.line + "\r\nnew=x\r\n", ReadBytes(file));
    }
}
