// The module's resources: registration scripts, type library, string table,
// version block and manifest, read from the built DLL.
#include <optional>
#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "TypeLibraryChecks.h"
#include "support/RegistryTree.h"

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

// The built DLL's version block, as setup programs and Explorer read it.
std::vector<BYTE> VersionBlock()
{
    const std::wstring path = PluginDll::BuiltPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> block(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        block.clear();
    return block;
}

// A value of the version block's string table, or nothing when it is missing.
std::optional<std::wstring> VersionString(std::vector<BYTE>& block, const std::wstring& name)
{
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), (L"\\StringFileInfo\\040904B0\\" + name).c_str(), &value, &length))
        return std::nullopt;
    return std::wstring(static_cast<const wchar_t*>(value), length == 0 ? 0 : length - 1);
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
    std::vector<BYTE> block = VersionBlock();
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(std::optional<std::wstring>(L""), VersionString(block, L"OLESelfRegister"))
        << "the string table carries OLESelfRegister, with an empty value";
}

TEST_F(ModuleTest, TheVersionBlockCarriesTheProjectVersion)
{
    std::vector<BYTE> block = VersionBlock();
    ASSERT_FALSE(block.empty());
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    const DWORD high = MAKELONG(INIPLUGIN_VERSION_MINOR, INIPLUGIN_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, INIPLUGIN_VERSION_PATCH);
    EXPECT_EQ(high, fixed->dwFileVersionMS);
    EXPECT_EQ(low, fixed->dwFileVersionLS);
    EXPECT_EQ(high, fixed->dwProductVersionMS);
    EXPECT_EQ(low, fixed->dwProductVersionLS);
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion"})
        EXPECT_EQ(std::optional<std::wstring>(L"" INIPLUGIN_VERSION_TEXT), VersionString(block, name))
            << testing::PrintToString(name);
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
    ExpectPluginTypeLibrary(library.Get());
}
