// The error object that a failed Init, WriteVariables or Commit leaves: its
// description names the file and the cause in plain words, and the call that
// next succeeds takes it away.
#include <functional>

#include "navigator/NavigatorFixture.h"
#include "support/ErrorDescription.h"

namespace {

HRESULT WriteText(IZephFileNavigator* navigator, const wchar_t* key, const wchar_t* text)
{
    Records records;
    records.AddText(L"s", key, text);
    return navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 0);
}

// Writes an unknown without an object, which has no text form.
HRESULT WriteUnknown(IZephFileNavigator* navigator)
{
    Records records;
    VariableRecord& record = records.Add(L"s", L"u");
    V_VT(&record.value) = VT_UNKNOWN;
    V_UNKNOWN(&record.value) = nullptr;
    return navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 0);
}

// Writes a date whose day is 30 December of the year 99.
HRESULT WriteDateOfYear99(IZephFileNavigator* navigator)
{
    Records records;
    VariableRecord& record = records.Add(L"s", L"d");
    V_VT(&record.value) = VT_DATE;
    V_DATE(&record.value) = -657436.0;
    return navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 0);
}

}  // namespace

TEST_F(NavigatorTest, AFailedCallDescribesTheFileAndTheCauseUntilACallSucceeds)
{
    const auto file = IniFile("[s]\r\nk=old\r\n");
    const auto missing = folder.File("missing\\test.ini");
    std::unique_ptr<ExclusiveHold> hold;
    struct Case {
        const char* name;
        std::filesystem::path file;
        std::function<void()> arrange;  // after a first write, before the failing call
        std::function<HRESULT(IZephFileNavigator*)> call;
        HRESULT expected;
        std::wstring description;
        std::function<void()> resolve;  // lets the same call succeed
    };
    const auto commit = [](IZephFileNavigator* n) { return n->Commit(); };
    const Case cases[] = {
        {"read-only target", file, [&] { SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY); }, commit, E_FAIL,
         L"Cannot save " + file.wstring() + L": the file is read-only.",
         [&] { SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL); }},
        {"file held open without sharing", file, [&] { hold = std::make_unique<ExclusiveHold>(file); }, commit, E_FAIL,
         L"Cannot read " + file.wstring() + L": another program is using the file.", [&] { hold.reset(); }},
        {"missing folder", missing, [] {}, commit, E_FAIL,
         L"Cannot read " + missing.wstring() + L": the folder does not exist.",
         [&] { std::filesystem::create_directory(missing.parent_path()); WriteBytes(missing, "[s]\r\n"); }},
        {"refused name", file, [] {}, [](IZephFileNavigator* n) { return WriteText(n, L"k\r", L"v"); }, E_INVALIDARG,
         L"The key name \"k\\r\" cannot be stored: it contains a line break.", [] {}},
        {"key with \"=\"", file, [] {}, [](IZephFileNavigator* n) { return WriteText(n, L"a=b", L"v"); }, E_INVALIDARG,
         L"The key name \"a=b\" cannot be stored: it contains \"=\".", [] {}},
        {"value without text", file, [] {}, WriteUnknown, DISP_E_TYPEMISMATCH,
         L"The value of key \"u\" cannot be written as text: its type has no text form.", [] {}},
        {"date before the year 100", file, [] {}, WriteDateOfYear99, E_INVALIDARG,
         L"The value of key \"d\" cannot be written as text: the date -657436 (days since 30 December 1899) lies "
         L"outside the years 100 to 9999.",
         [] {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto navigator = OpenNavigator(c.file);
        ASSERT_EQ(S_OK, WriteText(navigator.Get(), L"k", L"new"));
        c.arrange();
        EXPECT_EQ(c.expected, c.call(navigator.Get()));
        EXPECT_EQ(c.description, ErrorDescription(navigator.Get(), IID_IZephFileNavigator));
        EXPECT_EQ(L"<none>", ErrorDescription(navigator.Get(), IID_IZephFileNavigator)) << "fetching takes it";

        EXPECT_EQ(c.expected, c.call(navigator.Get())) << "fails again";
        c.resolve();
        const bool refusesItsArguments = c.expected != E_FAIL;
        EXPECT_EQ(S_OK, refusesItsArguments ? WriteText(navigator.Get(), L"k", L"v") : c.call(navigator.Get()));
        EXPECT_EQ(L"<none>", ErrorDescription(navigator.Get(), IID_IZephFileNavigator))
            << "the call that succeeded took the earlier error object away";
    }
}
