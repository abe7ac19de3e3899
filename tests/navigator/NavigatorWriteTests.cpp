// Writing variables and committing them, on ANSI and UTF-16 files. The same
// cases run in two programs: one in ProfileApi mode, where every write goes
// through the private-profile functions at once, and one that Wine tells it
// runs on Windows NT 4.0 (InMemory mode), where UTF-16 files are written only
// by the commit.
//
// Wine's private-profile writer drops blank lines and rewrites "Key = v" as
// "Key=v" when it writes a key, where Windows keeps them; the expected files
// here hold neither, so they do not depend on that difference.
#include "navigator/NavigatorFixture.h"

#include "document/IniFileReader.h"
#include "platform/windows/FileLock.h"
#include "platform/windows/ReplacementFault.h"
#include "platform/windows/WideText.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

namespace {

enum class Encoding { Ansi, Utf16 };

void PrintTo(Encoding encoding, std::ostream* out) { *out << (encoding == Encoding::Ansi ? "ANSI" : "UTF-16"); }

std::string Encode(Encoding encoding, std::u16string_view text)
{
    if (encoding == Encoding::Utf16)
        return Utf16LeFile(text);
    return std::string(text.begin(), text.end());  // the tests use ASCII only
}

std::u16string Decode(const std::string& bytes)
{
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return text;
    }
    return std::u16string(bytes.begin(), bytes.end());
}

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

// What the platform answers when asked for the text of an unknown without an object.
HRESULT NoTextFormError()
{
    VARIANT unknown;
    VariantInit(&unknown);
    V_VT(&unknown) = VT_UNKNOWN;
    V_UNKNOWN(&unknown) = nullptr;
    VARIANT text;
    VariantInit(&text);
    const HRESULT hr = VariantChangeType(&text, &unknown, 0, VT_BSTR);
    VariantClear(&text);
    EXPECT_TRUE(FAILED(hr)) << "the platform gave an unknown without an object a text form";
    return hr;
}

// Sets a file's last write time to a day long past, so a later rewrite shows.
void AgeFile(const std::filesystem::path& file)
{
    std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400));
}

}  // namespace

class NavigatorWriteTest : public NavigatorTest, public ::testing::WithParamInterface<Encoding> {
protected:
    std::filesystem::path MakeFile(std::u16string_view text) { return IniFile(Encode(GetParam(), text)); }
    std::string FileText(const std::filesystem::path& file) { return Narrow(Decode(ReadBytes(file))); }
    bool WritesWaitForCommit() const { return EXPECTED_ACCESS_MODE == 1 && GetParam() == Encoding::Utf16; }

    static HRESULT Write(IZephFileNavigator* navigator, Records& records, LONG firstOnly = 0, LONG selector = 0)
    {
        return navigator->WriteVariables(0, firstOnly, 0, records.count(), records.data(), selector);
    }
};

TEST_P(NavigatorWriteTest, WritesEveryRecordAndCommitsThemInOrder)
{
    const auto file = MakeFile(u"[s]\r\na=1\r\n");
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"s", L"a", L"one");
    records.AddText(L"s", L"b", L"two");
    records.AddText(L"t", L"c", L"three");
    ASSERT_EQ(S_OK, Write(navigator.Get(), records));
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(1, records[i].found) << i;

    if (WritesWaitForCommit()) {
        EXPECT_EQ("[s]\r\na=1\r\n", FileText(file)) << "the in-memory path writes nothing before the commit";
    } else {
        EXPECT_NE(std::string::npos, FileText(file).find("c=three")) << "the profile path writes at once";
    }

    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_EQ("[s]\r\na=one\r\nb=two\r\n[t]\r\nc=three\r\n", FileText(file));
    if (GetParam() == Encoding::Utf16) {
        EXPECT_EQ("\xFF\xFE", ReadBytes(file).substr(0, 2)) << "the file stays UTF-16";
    }
}

TEST_P(NavigatorWriteTest, FirstOnlyWritesTheFirstExistingKeyAndCommits)
{
    const auto file = MakeFile(u"[s]\r\nempty=\r\nsecond=old\r\nthird=old\r\n");
    auto navigator = OpenNavigator(file);
    Records earlier;
    earlier.AddText(L"s", L"earlier", L"pending");
    ASSERT_EQ(S_OK, Write(navigator.Get(), earlier));

    Records records;
    records.AddText(L"s", L"empty", L"x");
    records.AddText(L"s", L"second", L"new");
    records.AddText(L"s", L"third", L"y");
    ASSERT_EQ(S_OK, Write(navigator.Get(), records, 1));
    EXPECT_EQ(0, records[0].found);
    EXPECT_EQ(1, records[1].found);
    EXPECT_EQ(-1, records[2].found) << "records after the one written are not touched";
    EXPECT_EQ("[s]\r\nempty=\r\nsecond=new\r\nthird=old\r\nearlier=pending\r\n", FileText(file))
        << "the write and every earlier pending write are committed at once";

    AgeFile(file);
    const auto aged = std::filesystem::last_write_time(file);
    EXPECT_EQ(S_OK, navigator->Commit());
    EXPECT_EQ(aged, std::filesystem::last_write_time(file)) << "nothing was left pending";
}

TEST_P(NavigatorWriteTest, FirstOnlyWithNoExistingKeyWritesTheFirstPair)
{
    const auto file = MakeFile(u"[s]\r\nempty=\r\n");
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"s", L"empty", L"first");
    records.AddText(L"s", L"missing", L"second");
    ASSERT_EQ(S_OK, Write(navigator.Get(), records, 1));
    EXPECT_EQ(1, records[0].found);
    EXPECT_EQ(0, records[1].found);
    if (WritesWaitForCommit()) {
        EXPECT_EQ("[s]\r\nempty=\r\n", FileText(file)) << "no commit follows when no key held a value";
    }
    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_EQ("[s]\r\nempty=first\r\n", FileText(file));
}

TEST_P(NavigatorWriteTest, TheLaterOfTwoWritesToOneKeyWins)
{
    const auto file = MakeFile(u"[s]\r\n");
    auto navigator = OpenNavigator(file);
    Records first;
    first.AddText(L"s", L"k", L"first");
    Records second;
    second.AddText(L"S", L"K", L"second");
    ASSERT_EQ(S_OK, Write(navigator.Get(), first));
    ASSERT_EQ(S_OK, Write(navigator.Get(), second));
    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_EQ("[s]\r\nk=second\r\n", FileText(file)) << "one line, the key keeps its first spelling";
}

TEST_P(NavigatorWriteTest, EmptyTextAndNonTextValues)
{
    const auto file = MakeFile(u"[s]\r\n");
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"s", L"empty", L"");
    VariableRecord& number = records.Add(L"s", L"number");
    V_VT(&number.value) = VT_I4;
    V_I4(&number.value) = -42;
    VariableRecord& date = records.Add(L"s", L"date");
    V_VT(&date.value) = VT_DATE;
    V_DATE(&date.value) = 38418.586909722;  // 7 March 2005, 14:05:09
    ASSERT_EQ(S_OK, navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 120));
    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_EQ("[s]\r\nempty=\r\nnumber=-42\r\ndate=2005-03-07\r\n", FileText(file));
    EXPECT_EQ(VT_DATE, V_VT(&date.value)) << "the host's value is not changed";
}

TEST_P(NavigatorWriteTest, NewKeysFollowTheSectionsLastLineAndNewSectionsTheFilesEnd)
{
    const auto file = MakeFile(u"[a]\r\nx=1\r\n;trailing comment\r\n[b]\r\ny=2\r\n");
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"a", L"new", L"n");
    records.AddText(L"c", L"k", L"v");
    ASSERT_EQ(S_OK, Write(navigator.Get(), records));
    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_EQ("[a]\r\nx=1\r\n;trailing comment\r\nnew=n\r\n[b]\r\ny=2\r\n[c]\r\nk=v\r\n", FileText(file));
}

TEST_P(NavigatorWriteTest, CommitWithNothingPendingTouchesNothing)
{
    const std::u16string content = u"[s]\r\nk=v";
    const auto file = MakeFile(content);
    AgeFile(file);
    const auto aged = std::filesystem::last_write_time(file);
    auto navigator = OpenNavigator(file);
    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_EQ(Encode(GetParam(), content), ReadBytes(file));
    EXPECT_EQ(aged, std::filesystem::last_write_time(file));
}

TEST_P(NavigatorWriteTest, ACommitThatCannotReadTheFileKeepsThePendingWrites)
{
    const auto file = MakeFile(u"[s]\r\nk=old\r\n");
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"s", L"k", L"new");
    ASSERT_EQ(S_OK, Write(navigator.Get(), records));
    {
        ExclusiveHold hold(file);
        EXPECT_EQ(E_FAIL, navigator->Commit());
    }
    AgeFile(file);
    const auto aged = std::filesystem::last_write_time(file);
    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_NE(aged, std::filesystem::last_write_time(file)) << "the kept write was committed";
    EXPECT_EQ("[s]\r\nk=new\r\n", FileText(file));
}

TEST_P(NavigatorWriteTest, ACommitThatCannotSaveKeepsThePendingWrites)
{
    const auto file = MakeFile(u"[s]\r\nk=old\r\n");
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"s", L"k", L"new");
    ASSERT_EQ(S_OK, Write(navigator.Get(), records));
    const std::string beforeCommit = ReadBytes(file);
    ASSERT_TRUE(SetFileAttributesW(file.wstring().c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(E_FAIL, navigator->Commit());
    EXPECT_EQ(beforeCommit, ReadBytes(file)) << "a failed save leaves the file as it was";

    ASSERT_TRUE(SetFileAttributesW(file.wstring().c_str(), FILE_ATTRIBUTE_NORMAL));
    AgeFile(file);
    const auto aged = std::filesystem::last_write_time(file);
    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_NE(aged, std::filesystem::last_write_time(file)) << "the kept write was committed";
    EXPECT_EQ("[s]\r\nk=new\r\n", FileText(file));
}

TEST_P(NavigatorWriteTest, ARecordThatCannotBeWrittenStopsTheCallWithItsError)
{
    const auto file = MakeFile(u"[s]\r\nbefore=kept\r\n");
    auto navigator = OpenNavigator(file);
    struct Refused {
        std::wstring_view section;
        std::wstring_view key;
        const wchar_t* text;
        HRESULT expected;
        bool onlyInAnsiFiles = false;
    };
    using namespace std::string_view_literals;
    const Refused refused[] = {
        {L"s", L"k", L"line\r\n[injected]", E_INVALIDARG},
        {L"s", L"k", L"lone\nfeed", E_INVALIDARG},
        {L"s", L"k\r", L"v", E_INVALIDARG},
        {L"s]\n[t", L"k", L"v", E_INVALIDARG},
        {L"s", L"", L"v", E_INVALIDARG},                // no name to find the line by
        {L"s", L"a=b", L"v", E_INVALIDARG},             // the first "=" ends the key
        {L"s", L"[x", L"v", E_INVALIDARG},              // a header on reload
        {L"s", L";c", L"v", E_INVALIDARG},              // a comment on reload
        {L"s", L" lead", L"v", E_INVALIDARG},           // readers trim the ends of a key
        {L"s", L"trail\t", L"v", E_INVALIDARG},
        {L"s", L"a\0b"sv, L"v", E_INVALIDARG},          // a C string ends at the NUL
        {L"s\0t"sv, L"k", L"v", E_INVALIDARG},
        {L" s", L"k", L"v", E_INVALIDARG},              // readers trim the ends of a section
        {L"s\u3000", L"k", L"v", E_INVALIDARG},
        {L"a]b", L"k", L"v", E_INVALIDARG},             // readers end a section at its first "]"
        {L"s", L"\u03A9", L"v", E_INVALIDARG, true},    // no omega in the ANSI code page
        {L"s", L"a\uFF1Db", L"v", E_INVALIDARG, true},  // nor a fullwidth "=", which must not become "="
        {L"\uFF3Bx", L"k", L"v", E_INVALIDARG, true},   // nor a fullwidth "["
        {L"s", L"k", nullptr, NoTextFormError()},       // VT_UNKNOWN without an object has no text form
    };
    for (const Refused& refusal : refused) {
        if (refusal.onlyInAnsiFiles && GetParam() != Encoding::Ansi)
            continue;
        SCOPED_TRACE(testing::Message() << "section \"" << Narrow(std::u16string(AsU16(refusal.section)))
                                        << "\" key \"" << Narrow(std::u16string(AsU16(refusal.key))) << "\"");
        Records records;
        records.AddText(L"s", L"before", L"kept");
        VariableRecord& bad = refusal.text ? records.AddText(L"s", L"k", refusal.text) : records.Add(L"s", L"k");
        records.Rename(bad, refusal.section, refusal.key);
        if (!refusal.text) {
            V_VT(&bad.value) = VT_UNKNOWN;
            V_UNKNOWN(&bad.value) = nullptr;
        }
        records.AddText(L"s", L"after", L"never");
        const std::string before = ReadBytes(file);
        EXPECT_EQ(refusal.expected, Write(navigator.Get(), records));
        EXPECT_EQ(1, records[0].found) << "the record before it is written";
        EXPECT_EQ(0, records[1].found) << "the refused record is not reported written";
        EXPECT_EQ(-1, records[2].found) << "records after it are not touched";
        EXPECT_EQ(before, ReadBytes(file)) << "nothing of the refused record reaches the file";
    }
    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_EQ("[s]\r\nbefore=kept\r\n", FileText(file)) << "nothing of a refused record reaches the file";
}

TEST_P(NavigatorWriteTest, AwkwardNamesReadBackAsWrittenAndKeepOneLine)
{
    struct Name {
        const wchar_t* section;
        const wchar_t* key;
        const char* line;  // the section's header and the key's line in the file
    };
    const Name names[] = {
        {L"s", L"a b", "[s]\r\na b="},
        {L"s", L"k.1", "[s]\r\nk.1="},
        {L"s", L"#x", "[s]\r\n#x="},
        {L"s", L"k]", "[s]\r\nk]="},
        {L"s", L"\u00E4", "[s]\r\n\xE4="},  // in the ANSI code page as well
        {L"s=t", L"k", "[s=t]\r\nk="},
        {L"[s", L"k", "[[s]\r\nk="},
        {L";s", L"k", "[;s]\r\nk="},
    };
    for (const Name& name : names) {
        SCOPED_TRACE(name.line);
        const auto file = MakeFile(u"[other]\r\nx=1\r\n");
        size_t lines = 0;
        for (const wchar_t* value : {L"one", L"two"}) {
            auto navigator = OpenNavigator(file);
            Records records;
            records.AddText(name.section, name.key, value);
            ASSERT_EQ(S_OK, Write(navigator.Get(), records));
            ASSERT_EQ(S_OK, navigator->Commit());

            const std::string text = FileText(file);
            EXPECT_NE(std::string::npos, text.find(std::string(name.line) + Narrow(AsU16(value)) + "\r\n")) << text;
            const size_t now = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
            EXPECT_TRUE(lines == 0 || lines == now) << "a second commit adds no line:\n" << text;
            lines = now;

            // Both roads: the private-profile functions and the document.
            wchar_t profile[64] = L"";
            GetPrivateProfileStringW(name.section, name.key, L"<missing>", profile, 64, file.wstring().c_str());
            EXPECT_STREQ(value, profile) << "through the private-profile functions";
            IniFileReader document;
            std::u16string found;
            ASSERT_TRUE(document.Load(U16Path(file)));
            EXPECT_TRUE(document.GetValue(AsU16(name.section), AsU16(name.key), found));
            EXPECT_EQ(AsU16(value), found) << "through the document";
        }
    }
}

TEST_P(NavigatorWriteTest, ValuesTakeTheCodePagesDefaultCharacterForWhatItLacks)
{
    const auto file = MakeFile(u"[s]\r\n");
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"s", L"k", L"\u0101 \u03A9 \uFF1D");
    ASSERT_EQ(S_OK, Write(navigator.Get(), records));
    ASSERT_EQ(S_OK, navigator->Commit());
    if (GetParam() == Encoding::Ansi) {
        EXPECT_EQ("[s]\r\nk=? ? ?\r\n", ReadBytes(file)) << "the default character, never a look-alike";
    } else {
        EXPECT_EQ(u"[s]\r\nk=\u0101 \u03A9 \uFF1D\r\n", Decode(ReadBytes(file)));
    }
}

TEST_P(NavigatorWriteTest, CountAndNullArrays)
{
    const std::u16string content = u"[s]\r\nk=v\r\n";
    const auto file = MakeFile(content);
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"s", L"k", L"new");
    for (LONG firstOnly : {0, 1}) {
        for (LONG count : {0, -1})
            EXPECT_EQ(S_OK, navigator->WriteVariables(0, firstOnly, 0, count, records.data(), 0)) << count;
        EXPECT_EQ(S_OK, navigator->WriteVariables(0, firstOnly, 0, 0, nullptr, 0));
        EXPECT_EQ(E_POINTER, navigator->WriteVariables(0, firstOnly, 0, 1, nullptr, 0));
    }
    EXPECT_EQ(-1, records[0].found);
    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_EQ(Encode(GetParam(), content), ReadBytes(file)) << "nothing was written";
}

TEST_P(NavigatorWriteTest, ReleasingDiscardsWhatWasNeverCommitted)
{
    const std::u16string content = u"[s]\r\nk=v\r\n";
    const auto file = MakeFile(content);
    {
        auto navigator = OpenNavigator(file);
        Records records;
        records.AddText(L"s", L"k", L"new");
        ASSERT_EQ(S_OK, Write(navigator.Get(), records));
    }
    if (WritesWaitForCommit()) {
        EXPECT_EQ(Encode(GetParam(), content), ReadBytes(file));
    } else {
        EXPECT_EQ("[s]\r\nk=new\r\n", FileText(file)) << "the profile write stays, nothing more";
    }
}

// The immediate write edits a copy that then replaces the file; the bytes
// are what the profile functions make of the file in place.
TEST_P(NavigatorWriteTest, AnImmediateWriteMakesWhatTheProfileFunctionsMakeInPlace)
{
    const std::u16string content = u"; settings\r\n[s]\r\nk=old\r\n\r\n[t]\r\nx=1\r\n";
    const struct {
        const char* what;
        const wchar_t* section;
        const wchar_t* key;
    } cases[] = {{"a changed key", L"s", L"k"}, {"a new key", L"s", L"added"}, {"a new section", L"new", L"k"}};
    for (const auto& write : cases) {
        SCOPED_TRACE(write.what);
        const auto file = IniFile(Encode(GetParam(), content), "plugin.ini");
        const auto direct = IniFile(Encode(GetParam(), content), "direct.ini");
        auto navigator = OpenNavigator(file);
        Records records;
        records.AddText(write.section, write.key, L"new");
        ASSERT_EQ(S_OK, Write(navigator.Get(), records));
        if (WritesWaitForCommit()) {
            EXPECT_EQ(Encode(GetParam(), content), ReadBytes(file)) << "nothing reaches the file before the commit";
            continue;
        }
        ASSERT_TRUE(WritePrivateProfileStringW(write.section, write.key, L"new", direct.wstring().c_str()));
        EXPECT_EQ(ReadBytes(direct), ReadBytes(file));
        wchar_t value[16] = {};
        GetPrivateProfileStringW(write.section, write.key, L"", value, 16, file.wstring().c_str());
        EXPECT_STREQ(L"new", value) << "the profile functions read the value at once";
    }
}

TEST_P(NavigatorWriteTest, AFullDiskLeavesTheFileAsItWasAndTheValueToTheCommit)
{
    const std::u16string content = u"[s]\r\nk=old\r\n[t]\r\nx=1\r\n";
    const auto file = MakeFile(content);
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"s", L"k", L"new");
    records.AddText(L"u", L"y", L"2");
    platform::SetReplacementFaultForTesting(platform::ReplacementFault::DiskFull);
    EXPECT_EQ(S_OK, Write(navigator.Get(), records)) << "the write reports nothing; the commit will write";
    platform::SetReplacementFaultForTesting(platform::ReplacementFault::None);
    EXPECT_EQ(Encode(GetParam(), content), ReadBytes(file));
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        EXPECT_TRUE(entry.path() == file || entry.path().filename() == platform::kLockFileName)
            << "left beside the file: " << entry.path().filename();

    ASSERT_EQ(S_OK, navigator->Commit()) << "once there is space";
    EXPECT_EQ("[s]\r\nk=new\r\n[t]\r\nx=1\r\n[u]\r\ny=2\r\n", FileText(file));
}

INSTANTIATE_TEST_SUITE_P(Encodings, NavigatorWriteTest, ::testing::Values(Encoding::Ansi, Encoding::Utf16),
                         [](const auto& info) { return info.param == Encoding::Ansi ? "Ansi" : "Utf16"; });
