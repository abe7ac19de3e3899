// The module's resources: registration scripts, type library, string table,
// version block and manifest, read from the built DLL.
#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "RegistryTree.h"

namespace {

std::string ResourceText(HMODULE module, const wchar_t* type, WORD id)
{
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (found == nullptr)
        return {};
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(bytes, SizeofResource(module, found));
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

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

TEST_F(ModuleTest, TheRegistrationScriptsAreResources102And103)
{
    const std::string format = ResourceText(dll.handle(), L"REGISTRY", 102);
    const std::string file = ResourceText(dll.handle(), L"REGISTRY", 103);
    ASSERT_FALSE(format.empty());
    ASSERT_FALSE(file.empty());
    EXPECT_NE(std::string::npos, format.find(Narrow(GuidText(CLSID_IniFormat)))) << "102 registers IniFormat";
    EXPECT_NE(std::string::npos, format.find("IniPlugin.IniFormat.1"));
    EXPECT_NE(std::string::npos, file.find(Narrow(GuidText(CLSID_IniFile)))) << "103 registers IniFile";
    EXPECT_NE(std::string::npos, file.find("IniPlugin.IniFile.1"));
    for (const std::string* script : {&format, &file})
        EXPECT_NE(std::string::npos, script->find(Narrow(GuidText(LIBID_INIPLUGINLib)))) << "each names the type library";
}

TEST_F(ModuleTest, StringTable100HoldsTheProjectName)
{
    wchar_t text[64] = {};
    ASSERT_LT(0, LoadStringW(dll.handle(), 100, text, 64));
    EXPECT_EQ(std::wstring(L"IniPlugin"), text);
}

TEST_F(ModuleTest, TheVersionBlockMarksTheModuleSelfRegistering)
{
    const std::wstring path = PluginDll::BuiltPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_LT(0u, size);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    void* value = nullptr;
    UINT length = 99;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\OLESelfRegister", &value, &length))
        << "the string table carries OLESelfRegister";
    EXPECT_EQ(std::wstring(), std::wstring(static_cast<const wchar_t*>(value), length == 0 ? 0 : length - 1))
        << "with an empty value";
}

TEST_F(ModuleTest, TheManifestAsksForNoElevationAndIsDpiAware)
{
    const std::string manifest = ResourceText(dll.handle(), MAKEINTRESOURCEW(24), 2);
    ASSERT_FALSE(manifest.empty()) << "manifest resource 2";
    EXPECT_NE(std::string::npos, manifest.find(R"(level="asInvoker")"));
    EXPECT_NE(std::string::npos, manifest.find(R"(uiAccess="false")"));
    EXPECT_NE(std::string::npos, manifest.find(R"(>true</dpiAware>)"));
}

TEST_F(ModuleTest, TheTypeLibraryDescribesTheTwoClassesAndTheirInterfaces)
{
    ASSERT_FALSE(ResourceText(dll.handle(), L"TYPELIB", 1).empty()) << "TYPELIB resource 1";
    Microsoft::WRL::ComPtr<ITypeLib> library;
    ASSERT_EQ(S_OK, LoadTypeLibEx(PluginDll::BuiltPath().c_str(), REGKIND_NONE, &library));

    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(LIBID_INIPLUGINLib, attributes->guid));
    EXPECT_EQ(1, attributes->wMajorVerNum);
    EXPECT_EQ(0, attributes->wMinorVerNum);
    EXPECT_EQ(LCID{0x0409}, attributes->lcid);
    EXPECT_EQ(SYS_WIN64, attributes->syskind);
    library->ReleaseTLibAttr(attributes);

    std::wstring help;
    EXPECT_EQ(L"INIPLUGINLib", Documentation(library.Get(), -1, &help));
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
        EXPECT_EQ(e.name, Documentation(library.Get(), index, &help)) << "type " << index;
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
