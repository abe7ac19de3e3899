// The format object's own operations (IZephFileFormat), called on an object
// made by the built DLL's class object.
#include "FormatFixture.h"
#include "support/MallocSpy.h"

namespace {

// Stands for an out-parameter the operation must not write.
BSTR Untouched() { return reinterpret_cast<BSTR>(static_cast<uintptr_t>(0x5A5A5A5A)); }

std::wstring Text(BSTR text) { return text != nullptr ? std::wstring(text, SysStringLen(text)) : L"<null>"; }

// The malloc spy of these tests. A block made under it and never freed keeps
// it registered, so it lives as long as the program.
MallocSpy& Spy()
{
    static MallocSpy spy;
    return spy;
}

class BstrOut {
public:
    BstrOut() = default;
    BstrOut(const BstrOut&) = delete;
    BstrOut& operator=(const BstrOut&) = delete;
    ~BstrOut()
    {
        if (value != Untouched())
            SysFreeString(value);
    }
    BSTR value = Untouched();
};

}  // namespace

TEST_F(FormatTest, GetFormatInfoDescribesTheFormat)
{
    auto format = CreateFormat();
    BstrOut vendor, description, extensions;
    ASSERT_EQ(S_OK, format->GetFormatInfo(&vendor.value, &description.value, &extensions.value));
    EXPECT_EQ(L"TORVELLINE", Text(vendor.value));
    EXPECT_EQ(L"Plugin for Windows ini-files.", Text(description.value));
    EXPECT_EQ(L"ini,taf", Text(extensions.value)) << "extensions without dots, separated by commas, no blanks";
}

TEST_F(FormatTest, GetFormatInfoRefusesANullOutPointerAndWritesNothing)
{
    ASSERT_TRUE(BstrCacheIsOff()) << "run with OANOCACHE=1: cached strings escape the malloc spy";
    auto format = CreateFormat();
    for (int missing = 0; missing < 3; ++missing) {
        BstrOut outs[3];
        BSTR* pointers[3] = {&outs[0].value, &outs[1].value, &outs[2].value};
        pointers[missing] = nullptr;
        MallocSpy& spy = Spy();
        {
            MallocSpyScope watching(spy);
            ASSERT_TRUE(watching.registered());
            EXPECT_EQ(E_POINTER, format->GetFormatInfo(pointers[0], pointers[1], pointers[2])) << "null at " << missing;
        }
        EXPECT_EQ(0, spy.allocations()) << "nothing is allocated with a null out-pointer at " << missing;
        for (const BstrOut& out : outs)
            EXPECT_EQ(Untouched(), out.value) << "no out-parameter is written, null at " << missing;
    }
}

TEST_F(FormatTest, GetFormatInfoReportsAnyFailedAllocationAndFreesWhatItMade)
{
    ASSERT_TRUE(BstrCacheIsOff()) << "run with OANOCACHE=1: cached strings escape the malloc spy";
    auto format = CreateFormat();
    for (int failing = 1; failing <= 3; ++failing) {
        BstrOut vendor, description, extensions;
        MallocSpy& spy = Spy();
        {
            MallocSpyScope watching(spy);
            ASSERT_TRUE(watching.registered());
            spy.failAllocationNumber(failing);
            EXPECT_EQ(E_OUTOFMEMORY, format->GetFormatInfo(&vendor.value, &description.value, &extensions.value))
                << "string " << failing << " cannot be allocated";
            EXPECT_EQ(0, spy.live()) << "the strings made before the failure are freed, failing " << failing;
        }
        EXPECT_EQ(failing, spy.allocations()) << "the operation stops at the failed allocation";
        EXPECT_EQ(Untouched(), vendor.value) << "failing " << failing;
        EXPECT_EQ(Untouched(), description.value) << "failing " << failing;
        EXPECT_EQ(Untouched(), extensions.value) << "failing " << failing;
    }
}

TEST_F(FormatTest, GetFormatInfoStringsBelongToTheCaller)
{
    ASSERT_TRUE(BstrCacheIsOff()) << "run with OANOCACHE=1: cached strings escape the malloc spy";
    auto format = CreateFormat();
    MallocSpy& spy = Spy();
    {
        MallocSpyScope watching(spy);
        ASSERT_TRUE(watching.registered());
        BstrOut vendor, description, extensions;
        ASSERT_EQ(S_OK, format->GetFormatInfo(&vendor.value, &description.value, &extensions.value));
        EXPECT_EQ(3, spy.allocations()) << "one new string for each out-parameter";
        EXPECT_EQ(3, spy.live()) << "the plug-in keeps no reference to them";
    }
}

TEST_F(FormatTest, GetExtensionValueIsEightForEveryExtension)
{
    auto format = CreateFormat();
    for (const wchar_t* extension : {L"ini", L"taf", L"", L"INI", L"unknown", L".ini"}) {
        BSTR text = SysAllocString(extension);
        LONG value = -1;
        EXPECT_EQ(S_OK, format->GetExtensionValue(text, &value)) << "extension '" << extension << "'";
        EXPECT_EQ(8, value) << "extension '" << extension << "'";
        SysFreeString(text);
    }
    LONG value = -1;
    EXPECT_EQ(S_OK, format->GetExtensionValue(nullptr, &value)) << "a null extension";
    EXPECT_EQ(8, value);
    BSTR ini = SysAllocString(L"ini");
    EXPECT_EQ(E_POINTER, format->GetExtensionValue(ini, nullptr));
    SysFreeString(ini);
}

TEST_F(FormatTest, CreateNavigatorGivesANavigatorBoundToThePath)
{
    const auto file = IniFile("[General]\r\nTitle=abc\r\n");
    auto format = CreateFormat();
    Microsoft::WRL::ComPtr<IZephFileNavigator> navigator;
    ASSERT_EQ(S_OK, format->CreateNavigator(file.wstring().c_str(), 0, &navigator));
    ASSERT_NE(nullptr, navigator.Get());

    VariableRecord record = {};
    record.sectionName = SysAllocString(L"General");
    record.keyName = SysAllocString(L"Title");
    VariantInit(&record.value);
    EXPECT_EQ(S_OK, navigator->ReadVariables(0, 0, 0, 1, &record));
    EXPECT_EQ(1, record.found) << "the navigator reads the file it was created for";
    ASSERT_EQ(VT_BSTR, V_VT(&record.value));
    EXPECT_EQ(std::wstring(L"abc"), V_BSTR(&record.value));
    SysFreeString(record.sectionName);
    SysFreeString(record.keyName);
    VariantClear(&record.value);
}

TEST_F(FormatTest, ANavigatorOutlivesTheFormatObjectThatMadeIt)
{
    const auto file = IniFile("[s]\r\nk=v\r\n");
    auto format = CreateFormat();
    Microsoft::WRL::ComPtr<IZephFileNavigator> navigator;
    ASSERT_EQ(S_OK, format->CreateNavigator(file.wstring().c_str(), 0, &navigator));
    format.Reset();
    EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "the navigator keeps the module in use";
    Microsoft::WRL::ComPtr<IIniFile> identity;
    EXPECT_EQ(S_OK, navigator.As(&identity)) << "the navigator is a whole IniFile object";
    identity.Reset();
    navigator.Reset();
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

TEST_F(FormatTest, CreateNavigatorRefusesANullOutPointerAndMakesNoNavigator)
{
    const auto file = IniFile("[s]\r\nk=v\r\n");
    auto format = CreateFormat();
    EXPECT_EQ(E_POINTER, format->CreateNavigator(file.wstring().c_str(), 0, nullptr));
    format.Reset();
    EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "no navigator is left alive";
}

TEST_F(FormatTest, FormatOperation4AnswersByItsFifthArgumentOnly)
{
    auto format = CreateFormat();
    int storage = 0;
    EXPECT_EQ(E_NOTIMPL, format->FormatOperation4(0, 0, 0, 0, &storage));
    EXPECT_EQ(E_NOTIMPL, format->FormatOperation4(1, 2, 3, 4, &storage));
    EXPECT_EQ(E_POINTER, format->FormatOperation4(0, 0, 0, 0, nullptr));
    EXPECT_EQ(E_POINTER, format->FormatOperation4(1, 2, 3, 4, nullptr)) << "whatever the other arguments are";
    EXPECT_EQ(0, storage) << "nothing is written through the pointer";
}

TEST_F(FormatTest, FormatOperation5AnswersByItsSecondArgumentOnly)
{
    auto format = CreateFormat();
    int storage = 0;
    EXPECT_EQ(E_NOTIMPL, format->FormatOperation5(0, &storage));
    EXPECT_EQ(E_NOTIMPL, format->FormatOperation5(7, &storage));
    EXPECT_EQ(E_POINTER, format->FormatOperation5(0, nullptr));
    EXPECT_EQ(E_POINTER, format->FormatOperation5(7, nullptr));
    EXPECT_EQ(0, storage) << "nothing is written through the pointer";
}
