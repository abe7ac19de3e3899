// The in-memory path: in InMemory mode (this program is told it runs on
// Windows NT 4.0), UTF-16 files are read from the navigator's own document,
// every other file through the private-profile functions.
#include "navigator/IniAccessMode.h"
#include "navigator/NavigatorFixture.h"
#include "support/ErrorDescription.h"

namespace {

HRESULT Read(IZephFileNavigator* navigator, Records& records, LONG firstOnly = 0)
{
    return navigator->ReadVariables(0, firstOnly, 0, records.count(), records.data());
}

}  // namespace

TEST_F(NavigatorTest, InitFailsOnAFileItCannotLoadAndSaysWhy)
{
    Microsoft::WRL::ComPtr<IZephFileNavigatorInit> init;
    ASSERT_EQ(S_OK, CIniFile::CreateInstance(nullptr, IID_IZephFileNavigatorInit, &init));
    const std::wstring missing = folder.File("missing.ini").wstring();
    EXPECT_EQ(E_FAIL, init->Init(missing.c_str(), 0));
    EXPECT_EQ(IniAccessMode::InMemory, CurrentAccessMode());
    EXPECT_EQ(L"Cannot read " + missing + L": the file does not exist.",
              ErrorDescription(init.Get(), IID_IZephFileNavigatorInit));

    EXPECT_EQ(E_FAIL, init->Init(missing.c_str(), 0));
    EXPECT_EQ(S_OK, init->Init(IniFile("[s]\r\n").wstring().c_str(), 0));
    EXPECT_EQ(L"<none>", ErrorDescription(init.Get(), IID_IZephFileNavigatorInit)) << "the Init that succeeded cleared it";

    // Of an ANSI file Init reads only the first two bytes, but a file it
    // cannot open still fails, whatever it holds.
    EXPECT_EQ(E_FAIL, init->Init(folder.path().wstring().c_str(), 0)) << "a folder is not a file";
    const auto held = IniFile("[s]\r\nk=v\r\n", "held.ini");
    const UniqueFileHandle hold(
        CreateFileW(held.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hold);
    EXPECT_EQ(E_FAIL, init->Init(held.wstring().c_str(), 0)) << "a file held open without sharing";
}

TEST_F(NavigatorTest, AUtf16FileIsReadFromTheDocument)
{
    auto navigator = OpenNavigator(IniFile(Utf16LeFile(u"[General]\r\nTitle = abc\r\nQuoted=\"q\"\r\n")));
    Records records;
    records.Add(L"General", L"Title");
    records.Add(L"General", L"Title ");
    records.Add(L"general", L"QUOTED");
    ASSERT_EQ(S_OK, Read(navigator.Get(), records));
    EXPECT_EQ(0, records[0].found) << "spaces before the equals sign belong to the key";
    EXPECT_EQ(1, records[1].found);
    EXPECT_EQ(L" abc", ValueText(records[1]));
    EXPECT_EQ(L"\"q\"", ValueText(records[2])) << "quotes are part of the text";
}

TEST_F(NavigatorTest, AnAnsiFileIsReadThroughTheProfileFunctions)
{
    auto navigator = OpenNavigator(IniFile("[General]\r\nTitle = abc\r\n"));
    Records records;
    records.Add(L"General", L"Title");
    ASSERT_EQ(S_OK, Read(navigator.Get(), records));
    EXPECT_EQ(1, records[0].found) << "the profile functions trim the key";
    EXPECT_EQ(L"abc", ValueText(records[0]));
}

TEST_F(NavigatorTest, AValueFromTheDocumentKeepsUpTo4095Characters)
{
    const std::u16string value(5000, u'v');
    auto navigator = OpenNavigator(IniFile(Utf16LeFile(u"[s]\r\nlong=" + value + u"\r\n")));
    Records records;
    records.Add(L"s", L"long");
    ASSERT_EQ(S_OK, Read(navigator.Get(), records));
    EXPECT_EQ(std::wstring(4095, L'v'), ValueText(records[0]));
}

TEST_F(NavigatorTest, EmptyNamesAreLookedUpAsEmptyNames)
{
    auto navigator = OpenNavigator(IniFile(Utf16LeFile(u"[]\r\n=x\r\nk=in empty section\r\n")));
    Records records;
    records.Add(nullptr, L"k");
    records.Add(L"", L"k");
    ASSERT_EQ(S_OK, Read(navigator.Get(), records));
    EXPECT_EQ(L"in empty section", ValueText(records[0]));
    EXPECT_EQ(L"in empty section", ValueText(records[1]));
}

TEST_F(NavigatorTest, ChangesByOtherProgramsShowOnlyAfterACommitReloads)
{
    const auto file = IniFile(Utf16LeFile(u"[s]\r\na=1\r\n"));
    auto navigator = OpenNavigator(file);
    WriteBytes(file, Utf16LeFile(u"[s]\r\na=1\r\nadded=2\r\n"));

    Records before;
    before.Add(L"s", L"added");
    ASSERT_EQ(S_OK, Read(navigator.Get(), before));
    EXPECT_EQ(0, before[0].found) << "the document is not refreshed between loads";

    Records write;
    write.AddText(L"s", L"a", L"changed");
    ASSERT_EQ(S_OK, navigator->WriteVariables(0, 0, 0, write.count(), write.data(), 0));
    ASSERT_EQ(S_OK, navigator->Commit());

    Records after;
    after.Add(L"s", L"added");
    after.Add(L"s", L"a");
    ASSERT_EQ(S_OK, Read(navigator.Get(), after));
    EXPECT_EQ(L"2", ValueText(after[0]));
    EXPECT_EQ(L"changed", ValueText(after[1]));
}

TEST_F(NavigatorTest, FirstOnlyTestsExistenceInTheDocument)
{
    // The profile functions would find "k" on the line "k = old"; the
    // document holds the key "k " there, so no pair exists: the first is
    // queued, and nothing is committed.
    const std::string content = Utf16LeFile(u"[s]\r\nk = old\r\n");
    const auto file = IniFile(content);
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"s", L"k", L"bare");
    records.AddText(L"s", L"other", L"x");
    ASSERT_EQ(S_OK, navigator->WriteVariables(0, 1, 0, records.count(), records.data(), 0));
    EXPECT_EQ(1, records[0].found);
    EXPECT_EQ(0, records[1].found);
    EXPECT_EQ(content, ReadBytes(file)) << "no existing pair, so no commit";
    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_EQ(Utf16LeFile(u"[s]\r\nk = old\r\nk=bare\r\n"), ReadBytes(file));
}
