// Reading variables through the private-profile functions (ProfileApi mode),
// and the operations the navigator does not support.
#include "navigator/NavigatorFixture.h"

namespace {

constexpr char kSample[] =
    "; sample\r\n"
    "[General]\r\n"
    "Title=abc\r\n"
    "Empty=\r\n"
    "Number=42\r\n"
    "\r\n"
    "[Other]\r\n"
    "x=1\r\n";

HRESULT Read(IZephFileNavigator* navigator, Records& records, LONG firstOnly = 0, LONG count = -1)
{
    return navigator->ReadVariables(0, firstOnly, 0, count < 0 ? records.count() : count, records.data());
}

}  // namespace

TEST_F(NavigatorTest, ReadsPresentEmptyAndMissingKeys)
{
    auto navigator = OpenNavigator(IniFile(kSample));
    Records records;
    records.Add(L"general", L"TITLE");
    records.Add(L"General", L"Empty");
    records.Add(L"General", L"Missing");
    records.Add(L"Missing", L"Title");
    ASSERT_EQ(S_OK, Read(navigator.Get(), records));

    EXPECT_EQ(1, records[0].found) << "names match without regard to case";
    EXPECT_EQ(L"abc", ValueText(records[0]));
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(0, records[i].found) << "record " << i;
        EXPECT_EQ(VT_EMPTY, V_VT(&records[i].value)) << "a record not found keeps its value, record " << i;
    }
}

TEST_F(NavigatorTest, AValueThatHeldANumberArrivesAsText)
{
    auto navigator = OpenNavigator(IniFile(kSample));
    Records records;
    VariableRecord& number = records.Add(L"General", L"Number");
    V_VT(&number.value) = VT_I4;
    V_I4(&number.value) = 7;
    VariableRecord& old = records.AddText(L"General", L"Title", L"old text");
    ASSERT_EQ(S_OK, Read(navigator.Get(), records));
    EXPECT_EQ(L"42", ValueText(records[0]));
    EXPECT_EQ(L"abc", ValueText(old));
}

TEST_F(NavigatorTest, FirstOnlyStopsAtTheFirstPairFound)
{
    auto navigator = OpenNavigator(IniFile("[s]\r\nempty=\r\nx=x\r\ny=y\r\n"));
    Records first;
    first.Add(L"s", L"empty");
    first.Add(L"s", L"x");
    first.Add(L"s", L"y");
    ASSERT_EQ(S_OK, Read(navigator.Get(), first, 1));
    EXPECT_EQ(0, first[0].found);
    EXPECT_EQ(1, first[1].found);
    EXPECT_EQ(L"x", ValueText(first[1]));
    EXPECT_EQ(-1, first[2].found) << "records after the first found are not touched";
    EXPECT_EQ(VT_EMPTY, V_VT(&first[2].value));

    Records all;
    all.Add(L"s", L"empty");
    all.Add(L"s", L"x");
    all.Add(L"s", L"y");
    ASSERT_EQ(S_OK, Read(navigator.Get(), all, 0));
    EXPECT_EQ(0, all[0].found);
    EXPECT_EQ(L"x", ValueText(all[1]));
    EXPECT_EQ(1, all[2].found);
    EXPECT_EQ(L"y", ValueText(all[2]));
}

TEST_F(NavigatorTest, CountLimitsTheRecordsRead)
{
    auto navigator = OpenNavigator(IniFile(kSample));
    Records records;
    records.Add(L"General", L"Title");
    records.Add(L"General", L"Number");
    for (LONG count : {0, -1, -100}) {
        ASSERT_EQ(S_OK, navigator->ReadVariables(0, 0, 0, count, records.data())) << count;
        EXPECT_EQ(-1, records[0].found) << "count " << count << " reads nothing";
    }
    ASSERT_EQ(S_OK, Read(navigator.Get(), records, 0, 1));
    EXPECT_EQ(1, records[0].found);
    EXPECT_EQ(-1, records[1].found) << "only the first `count` records are read";
}

TEST_F(NavigatorTest, ANullRecordArrayIsRefusedWhateverTheCount)
{
    auto navigator = OpenNavigator(IniFile(kSample));
    for (LONG count : {1, 0, -1})
        EXPECT_EQ(E_POINTER, navigator->ReadVariables(0, 0, 0, count, nullptr)) << count;
}

TEST_F(NavigatorTest, ALongValueIsCutTo4094Characters)
{
    const std::string value(5000, 'v');
    auto navigator = OpenNavigator(IniFile("[s]\r\nlong=" + value + "\r\n"));
    Records records;
    records.Add(L"s", L"long");
    ASSERT_EQ(S_OK, Read(navigator.Get(), records));
    EXPECT_EQ(std::wstring(4094, L'v'), ValueText(records[0]));
}

TEST_F(NavigatorTest, NullNamesAreReadAsEmptyNames)
{
    // A section [] with an empty key: handing null names to the profile read
    // would list the section or key names instead.
    auto navigator = OpenNavigator(IniFile("[s]\r\na=1\r\nb=2\r\n"));
    Records records;
    records.Add(L"s", nullptr);
    records.Add(nullptr, L"a");
    ASSERT_EQ(S_OK, Read(navigator.Get(), records));
    EXPECT_EQ(0, records[0].found);
    EXPECT_EQ(0, records[1].found);
}

TEST_F(NavigatorTest, InitOnAMissingFileSucceedsAndFindsNothing)
{
    auto navigator = OpenNavigator(folder.File("missing.ini"));
    Records records;
    records.Add(L"General", L"Title");
    ASSERT_EQ(S_OK, Read(navigator.Get(), records));
    EXPECT_EQ(0, records[0].found);
    EXPECT_FALSE(std::filesystem::exists(folder.File("missing.ini"))) << "reading creates no file";
}

TEST_F(NavigatorTest, ARelativePathIsTheFileInTheCurrentFolder)
{
    const auto file = IniFile(kSample, "relative.ini");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    auto navigator = OpenNavigator("relative.ini");
    std::filesystem::current_path(previous);

    Records records;
    records.Add(L"General", L"Title");
    ASSERT_EQ(S_OK, Read(navigator.Get(), records));
    EXPECT_EQ(L"abc", ValueText(records[0])) << "the profile read must not look in the Windows folder";
}

TEST_F(NavigatorTest, InitAgainBindsTheNavigatorToTheNewFile)
{
    const auto first = IniFile("[s]\r\nk=first\r\n", "first.ini");
    const auto second = IniFile("[s]\r\nk=second\r\n", "second.ini");
    Microsoft::WRL::ComPtr<IZephFileNavigatorInit> init;
    ASSERT_EQ(S_OK, CIniFile::CreateInstance(nullptr, IID_IZephFileNavigatorInit, &init));
    ASSERT_EQ(S_OK, init->Init(first.wstring().c_str(), 0));
    ASSERT_EQ(S_OK, init->Init(second.wstring().c_str(), 0));
    Microsoft::WRL::ComPtr<IZephFileNavigator> navigator;
    ASSERT_EQ(S_OK, init.As(&navigator));
    Records records;
    records.Add(L"s", L"k");
    ASSERT_EQ(S_OK, Read(navigator.Get(), records));
    EXPECT_EQ(L"second", ValueText(records[0]));
}

TEST_F(NavigatorTest, ReleasingANavigatorLeavesTheFileUntouched)
{
    const auto file = IniFile(kSample);
    const auto before = std::filesystem::last_write_time(file);
    {
        auto navigator = OpenNavigator(file);
        Records records;
        records.Add(L"General", L"Title");
        ASSERT_EQ(S_OK, Read(navigator.Get(), records));
    }
    EXPECT_EQ(kSample, ReadBytes(file));
    EXPECT_EQ(before, std::filesystem::last_write_time(file));
}

TEST_F(NavigatorTest, UnsupportedOperationsAnswerTheirFixedResults)
{
    auto navigator = OpenNavigator(IniFile(kSample));
    int storage[4] = {};
    void* p = storage;
    IZephFileNavigator* n = navigator.Get();

    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation1(0, p, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation1(0, nullptr, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation1(0, p, nullptr));
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation2());
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation3(p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation3(nullptr));
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation4(p, p, p, p, p));
    for (int missing = 0; missing < 5; ++missing) {
        void* args[5] = {p, p, p, p, p};
        args[missing] = nullptr;
        EXPECT_EQ(E_POINTER, n->NavigatorOperation4(args[0], args[1], args[2], args[3], args[4])) << missing;
    }
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation5(0, 0, p, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation5(0, 0, nullptr, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation5(0, 0, p, nullptr));
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation6(0, 0, p, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation6(0, 0, nullptr, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation6(0, 0, p, nullptr));
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation9(p, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation9(nullptr, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation9(p, nullptr));
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation10(0, 0, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation10(0, 0, nullptr));
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation11(0, p, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation11(0, nullptr, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation11(0, p, nullptr));
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation12());
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation14(p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation14(nullptr));
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation15(0, 0, 0, p, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation15(0, 0, 0, nullptr, p));
    EXPECT_EQ(E_POINTER, n->NavigatorOperation15(0, 0, 0, p, nullptr));
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation16());
    EXPECT_EQ(S_OK, n->NavigatorOperation17());
    EXPECT_EQ(S_OK, n->NavigatorOperation18());
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation19());
    EXPECT_EQ(E_NOTIMPL, n->NavigatorOperation20());
    EXPECT_EQ(int{0}, storage[0] | storage[1] | storage[2] | storage[3]) << "nothing is written through the pointers";
}

TEST_F(NavigatorTest, AUtf16FileIsReadThroughTheProfileFunctionsBeforeAndAfterACommit)
{
    const auto file = IniFile(Utf16LeFile(u"[General]\r\nTitle = abc\r\n"));
    auto navigator = OpenNavigator(file);
    Records before;
    before.Add(L"General", L"Title");
    ASSERT_EQ(S_OK, Read(navigator.Get(), before));
    EXPECT_EQ(L"abc", ValueText(before[0])) << "the profile functions trim the key and the value";

    Records write;
    write.AddText(L"General", L"Other", L"x");
    ASSERT_EQ(S_OK, navigator->WriteVariables(0, 0, 0, write.count(), write.data(), 0));
    ASSERT_EQ(S_OK, navigator->Commit());

    Records after;
    after.Add(L"General", L"Title");
    ASSERT_EQ(S_OK, Read(navigator.Get(), after));
    EXPECT_EQ(1, after[0].found) << "a commit's load does not move reads to the document";
    EXPECT_EQ(L"abc", ValueText(after[0]));
}
