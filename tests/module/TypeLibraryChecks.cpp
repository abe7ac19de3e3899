#include "TypeLibraryChecks.h"

#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

#include "IniPlugin.h"

namespace {

std::wstring Documentation(ITypeLib* library, INT index, std::wstring* helpString = nullptr)
{
    BSTR name = nullptr;
    BSTR doc = nullptr;
    EXPECT_EQ(S_OK, library->GetDocumentation(index, &name, &doc, nullptr, nullptr));
    std::wstring result = name != nullptr ? name : L"";
    if (helpString != nullptr)
        *helpString = doc != nullptr ? doc : L"";
    SysFreeString(name);
    SysFreeString(doc);
    return result;
}

}  // namespace

void ExpectPluginTypeLibrary(ITypeLib* library)
{
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(LIBID_INIPLUGINLib, attributes->guid));
    EXPECT_EQ(1, attributes->wMajorVerNum);
    EXPECT_EQ(0, attributes->wMinorVerNum);
    EXPECT_EQ(LCID{0x0409}, attributes->lcid);
    EXPECT_EQ(SYS_WIN64, attributes->syskind);
    library->ReleaseTLibAttr(attributes);

    std::wstring help;
    EXPECT_EQ(L"INIPLUGINLib", Documentation(library, -1, &help));
    EXPECT_EQ(L"IniPlugin 1.0 Type Library", help);

    const struct {
        const wchar_t* name;
        const wchar_t* help;
        TYPEKIND kind;
        const GUID* guid;
    } expected[] = {
        {L"IniFormat", L"IniFormat Class", TKIND_COCLASS, &CLSID_IniFormat},
        {L"IIniFormat", L"IIniFormat Interface", TKIND_INTERFACE, &IID_IIniFormat},
        {L"IniFile", L"IniFile Class", TKIND_COCLASS, &CLSID_IniFile},
        {L"IIniFile", L"IIniFile Interface", TKIND_INTERFACE, &IID_IIniFile},
    };
    ASSERT_EQ(4u, library->GetTypeInfoCount()) << "the host's interfaces are not in it";
    for (UINT index = 0; index < 4; ++index) {
        const auto& e = expected[index];
        EXPECT_EQ(e.name, Documentation(library, index, &help)) << "type " << index;
        EXPECT_EQ(e.help, help) << "type " << index;
        TYPEKIND kind = TKIND_MAX;
        EXPECT_EQ(S_OK, library->GetTypeInfoType(index, &kind));
        EXPECT_EQ(e.kind, kind) << "type " << index;

        Microsoft::WRL::ComPtr<ITypeInfo> info;
        ASSERT_EQ(S_OK, library->GetTypeInfo(index, &info));
        TYPEATTR* type = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&type));
        EXPECT_TRUE(IsEqualGUID(*e.guid, type->guid)) << "type " << index;
        EXPECT_EQ(1, type->cImplTypes) << "one interface, or one base interface, type " << index;
        if (kind == TKIND_COCLASS)
            EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FCANCREATE) << "creatable, type " << index;
        else
            EXPECT_EQ(0, type->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION))
                << "marshalled by the module's own proxy/stub, type " << index;
        info->ReleaseTypeAttr(type);

        // A coclass names its interface; an interface derives from IUnknown,
        // which comes from the imported stdole2.tlb.
        HREFTYPE reference = 0;
        ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(0, &reference));
        Microsoft::WRL::ComPtr<ITypeInfo> referenced;
        ASSERT_EQ(S_OK, info->GetRefTypeInfo(reference, &referenced));
        BSTR name = nullptr;
        referenced->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
        EXPECT_EQ(kind == TKIND_COCLASS ? expected[index + 1].name : L"IUnknown", std::wstring(name ? name : L""));
        SysFreeString(name);
        if (kind == TKIND_INTERFACE) {
            Microsoft::WRL::ComPtr<ITypeLib> imported;
            UINT ignored = 0;
            ASSERT_EQ(S_OK, referenced->GetContainingTypeLib(&imported, &ignored));
            EXPECT_EQ(L"stdole", Documentation(imported.Get(), -1)) << "IUnknown is imported from stdole2.tlb";
        }
    }
}
