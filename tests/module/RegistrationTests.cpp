// Self-registration of the built DLL in the build's Wine prefix, driven as a
// setup program drives it (regsvr32), and read back from the registry.
#include <windows.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "HostContract.h"
#include "IniPlugin.h"
#include "TypeLibraryChecks.h"
#include "support/Apartment.h"
#include "support/PluginDll.h"
#include "support/RegistryTree.h"
#include "support/Regsvr32.h"
#include "support/TestFiles.h"

namespace {

struct ClassRegistration {
    const wchar_t* name;  // IniFormat or IniFile
    const CLSID* clsid;
    const wchar_t* threadingModel;
};

const ClassRegistration kClasses[] = {
    {L"IniFormat", &CLSID_IniFormat, L"Both"},
    {L"IniFile", &CLSID_IniFile, L"Apartment"},
};

RegistryTree Tree(std::map<std::wstring, std::wstring> values, std::map<std::wstring, RegistryTree> subkeys = {})
{
    return RegistryTree{std::move(values), std::move(subkeys)};
}

std::wstring ProgId(const ClassRegistration& c) { return std::wstring(L"IniPlugin.") + c.name; }
std::wstring ClassKey(const ClassRegistration& c) { return L"CLSID\\" + GuidText(*c.clsid); }

// What the class's registration script writes, key by key.
RegistryTree ExpectedProgIdKey(const ClassRegistration& c)
{
    const std::wstring title = std::wstring(c.name) + L" Class";
    return Tree({{L"", title}}, {{L"CLSID", Tree({{L"", GuidText(*c.clsid)}})}});
}
RegistryTree ExpectedVersionIndependentKey(const ClassRegistration& c)
{
    const std::wstring title = std::wstring(c.name) + L" Class";
    return Tree({{L"", title}}, {{L"CLSID", Tree({{L"", GuidText(*c.clsid)}})},
                                 {L"CurVer", Tree({{L"", ProgId(c) + L".1"}})}});
}
RegistryTree ExpectedClassKey(const ClassRegistration& c, const std::wstring& modulePath)
{
    const std::wstring title = std::wstring(c.name) + L" Class";
    return Tree({{L"", title}}, {
        {L"ProgID", Tree({{L"", ProgId(c) + L".1"}})},
        {L"VersionIndependentProgID", Tree({{L"", ProgId(c)}})},
        {L"InprocServer32", Tree({{L"", modulePath}, {L"ThreadingModel", c.threadingModel}})},
        {L"TypeLib", Tree({{L"", GuidText(LIBID_INIPLUGINLib)}})},
    });
}

std::wstring InterfaceKey(REFIID iid) { return L"Interface\\" + GuidText(iid); }
std::wstring TypeLibKey() { return L"TypeLib\\" + GuidText(LIBID_INIPLUGINLib); }

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { Regsvr32(dll, true); }
    void TearDown() override { Regsvr32(dll, true); }

    void ExpectClassesRegistered(const std::wstring& modulePath)
    {
        for (const ClassRegistration& c : kClasses) {
            EXPECT_EQ(ExpectedProgIdKey(c), ReadRegistryTree(HKEY_CLASSES_ROOT, ProgId(c) + L".1"));
            EXPECT_EQ(ExpectedVersionIndependentKey(c), ReadRegistryTree(HKEY_CLASSES_ROOT, ProgId(c)));
            EXPECT_EQ(ExpectedClassKey(c, modulePath), ReadRegistryTree(HKEY_CLASSES_ROOT, ClassKey(c)));
        }
    }

    void ExpectNothingRegistered()
    {
        for (const ClassRegistration& c : kClasses) {
            EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgId(c) + L".1"));
            EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgId(c)));
            EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ClassKey(c)));
        }
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, TypeLibKey()));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, InterfaceKey(IID_IIniFormat)));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, InterfaceKey(IID_IIniFile)));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(IID_IIniFormat)));
    }

    Apartment apartment;
    const std::wstring dll = PluginDll::BuiltPath();
};

}  // namespace

TEST_F(RegistrationTest, RegistersEveryEntryOfBothClasses)
{
    ASSERT_EQ(0, Regsvr32(dll));
    ExpectClassesRegistered(dll);
}

TEST_F(RegistrationTest, RegistersTheTypeLibraryMachineWide)
{
    ASSERT_EQ(0, Regsvr32(dll));
    Microsoft::WRL::ComPtr<ITypeLib> library;
    ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_INIPLUGINLib, 1, 0, 0x0409, &library));
    ExpectPluginTypeLibrary(library.Get());

    BSTR path = nullptr;
    ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(LIBID_INIPLUGINLib, 1, 0, 0x0409, &path));
    EXPECT_EQ(dll, std::wstring(path)) << "registered from the module's own file";
    SysFreeString(path);
    EXPECT_EQ(std::optional<std::wstring>(L"IniPlugin 1.0 Type Library"),
              ReadRegistryText(HKEY_CLASSES_ROOT, TypeLibKey() + L"\\1.0"));
    EXPECT_EQ(std::optional<std::wstring>(dll), ReadRegistryText(HKEY_CLASSES_ROOT, TypeLibKey() + L"\\1.0\\409\\win64"))
        << "for 64-bit programs, in the library's locale";
}

TEST_F(RegistrationTest, RegistersTheProxyStubForBothInterfaces)
{
    ASSERT_EQ(0, Regsvr32(dll));
    const std::wstring proxyStubClass = GuidText(IID_IIniFormat);
    const struct {
        const wchar_t* name;
        const IID* iid;
    } interfaces[] = {{L"IIniFormat", &IID_IIniFormat}, {L"IIniFile", &IID_IIniFile}};
    for (const auto& i : interfaces) {
        EXPECT_EQ(std::optional<std::wstring>(i.name), ReadRegistryText(HKEY_CLASSES_ROOT, InterfaceKey(*i.iid)));
        EXPECT_EQ(std::optional<std::wstring>(proxyStubClass),
                  ReadRegistryText(HKEY_CLASSES_ROOT, InterfaceKey(*i.iid) + L"\\ProxyStubClsid32"))
            << "the proxy/stub class identifier is the IID of IIniFormat";
        CLSID marshaller = {};
        EXPECT_EQ(S_OK, CoGetPSClsid(*i.iid, &marshaller));
        EXPECT_TRUE(IsEqualCLSID(IID_IIniFormat, marshaller));
    }
    EXPECT_EQ(std::optional<std::wstring>(dll),
              ReadRegistryText(HKEY_CLASSES_ROOT, L"CLSID\\" + proxyStubClass + L"\\InprocServer32"))
        << "the proxy/stub is merged into the module";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, InterfaceKey(IID_IZephFileFormat)))
        << "the host's interfaces are not the module's to register";
}

TEST_F(RegistrationTest, RegisteringTwiceLeavesExactlyTheTableEntries)
{
    ASSERT_EQ(0, Regsvr32(dll));
    for (const ClassRegistration& c : kClasses) {
        CreateRegistryKey(HKEY_CLASSES_ROOT, ClassKey(c) + L"\\Stale\\Deeper");
        WriteRegistryText(HKEY_CLASSES_ROOT, ClassKey(c) + L"\\InprocServer32", L"Stale", L"left over");
        WriteRegistryText(HKEY_CLASSES_ROOT, ProgId(c) + L"\\CurVer", L"", L"changed");
    }
    ASSERT_EQ(0, Regsvr32(dll));
    ExpectClassesRegistered(dll);
}

TEST_F(RegistrationTest, UnregisteringRemovesWhatRegistrationWroteAndKeepsTheClsidKey)
{
    ASSERT_EQ(0, Regsvr32(dll));
    ASSERT_EQ(0, Regsvr32(dll, true));
    ExpectNothingRegistered();
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    Microsoft::WRL::ComPtr<ITypeLib> library;
    EXPECT_TRUE(FAILED(LoadRegTypeLib(LIBID_INIPLUGINLib, 1, 0, 0x0409, &library))) << "the type library is unregistered";
}

TEST_F(RegistrationTest, UnregisteringWhatIsNotRegisteredSucceeds)
{
    ASSERT_EQ(0, Regsvr32(dll));
    ASSERT_EQ(0, Regsvr32(dll, true));
    EXPECT_EQ(0, Regsvr32(dll, true)) << "a second unregistration finds nothing to do";
    ExpectNothingRegistered();
}

TEST_F(RegistrationTest, UnregisteringKeepsKeysThatOthersAddedTo)
{
    ASSERT_EQ(0, Regsvr32(dll));
    const ClassRegistration& format = kClasses[0];
    WriteRegistryText(HKEY_CLASSES_ROOT, ProgId(format) + L"\\Foreign", L"", L"someone else's");
    ASSERT_EQ(0, Regsvr32(dll, true));
    EXPECT_EQ(Tree({{L"", L"IniFormat Class"}}, {{L"Foreign", Tree({{L"", L"someone else's"}})}}),
              ReadRegistryTree(HKEY_CLASSES_ROOT, ProgId(format)))
        << "the key stays with what others put there; the script's subkeys are gone";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ClassKey(format)));
    DeleteRegistryTree(HKEY_CLASSES_ROOT, ProgId(format));
}

TEST_F(RegistrationTest, APathWithASingleQuoteIsRegisteredUnchanged)
{
    TempFolder folder;
    const auto quoted = folder.path() / L"it's the plug-in's folder";
    std::filesystem::create_directories(quoted);
    const auto copy = quoted / L"IniPlugin.dll";
    ASSERT_TRUE(CopyFileW(dll.c_str(), copy.wstring().c_str(), TRUE));
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(copy.wstring().c_str(), MAX_PATH, full, nullptr);

    ASSERT_EQ(0, Regsvr32(full));
    ExpectClassesRegistered(full);
    ASSERT_EQ(0, Regsvr32(full, true));
    ExpectNothingRegistered();
}

TEST_F(RegistrationTest, AModulePathOf260CharactersFailsEveryScript)
{
    TempFolder folder;
    const std::wstring base = folder.path().wstring();
    const std::wstring name = L"\\IniPlugin.dll";
    const std::wstring padding(MAX_PATH - base.size() - 1 - name.size(), L'p');
    const std::wstring directory = base + L"\\" + padding;
    const std::wstring path = directory + name;
    ASSERT_EQ(size_t{MAX_PATH}, path.size());
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(dll.c_str(), path.c_str(), TRUE));
    {
        PluginDll longPath(path);
        ASSERT_NE(nullptr, longPath.handle());
        EXPECT_EQ(HRESULT(0x8007007A), longPath.RegisterServer()) << "the path may have been cut: nothing is run";
        for (const ClassRegistration& c : kClasses) {
            EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgId(c)));
            EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ClassKey(c)));
        }
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, TypeLibKey()));
        EXPECT_EQ(HRESULT(0x8007007A), longPath.UnregisterServer());
    }
    DeleteFileW(path.c_str());
    RemoveDirectoryW(directory.c_str());
}
