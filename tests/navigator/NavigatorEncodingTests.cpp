// Files whose text the document cannot hold as it is are never rewritten:
// ANSI files with bytes that the code page does not define. The same cases
// run in both modes.
#include "navigator/NavigatorFixture.h"

#include "platform/windows/CodePageText.h"
#include "support/ErrorDescription.h"

namespace {

HRESULT Write(IZephFileNavigator* navigator, Records& records)
{
    return navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 0);
}

std::wstring Described(IZephFileNavigator* navigator) { return ErrorDescription(navigator, IID_IZephFileNavigator); }

// Makes the document convert ANSI text with a code page of the test's
// choice, and the system's again when the test ends.
class DocumentCodePage {
public:
    explicit DocumentCodePage(UINT codePage) { platform::SetAnsiCodePageForTesting(codePage); }
    ~DocumentCodePage() { platform::SetAnsiCodePageForTesting(CP_ACP); }
};

}  // namespace

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
