// The Windows Installer package as an administrator deploys it (msiexec /i
// and /x, silent), used through its registered classes and upgraded in place.
// The program runs in a Wine prefix made for it alone, so every entry it
// finds there was written by the package or by the regsvr32 it runs itself.
#include <windows.h>
#include <msi.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "IniPlugin.h"
#include "support/PluginDll.h"
#include "support/RegistryTree.h"
#include "support/Regsvr32.h"
#include "support/TestFiles.h"

#if !defined(INIPLUGIN_MSI_PACKAGE) || !defined(INIPLUGIN_NEWER_MSI_PACKAGE) || !defined(INIPLUGIN_UPGRADE_CODE)
#error "the build passes the packages and their upgrade code"
#endif

namespace {

// A path of the build tree as Windows sees it: Wine's Z: drive is the Linux root.
std::wstring BuildTreePath(const char* linuxPath)
{
    std::wstring path = L"Z:";
    for (const char* unit = linuxPath; *unit != '\0'; ++unit)
        path.push_back(*unit == '/' ? L'\\' : static_cast<wchar_t>(*unit));
    return path;
}

const std::wstring kPackage = BuildTreePath(INIPLUGIN_MSI_PACKAGE);
const std::wstring kNewerPackage = BuildTreePath(INIPLUGIN_NEWER_MSI_PACKAGE);
const wchar_t kVersion[] = L"" INIPLUGIN_MSI_VERSION;
const wchar_t kNewerVersion[] = L"" INIPLUGIN_NEWER_MSI_VERSION;
const wchar_t kUpgradeCode[] = L"{" INIPLUGIN_UPGRADE_CODE L"}";

const wchar_t* const kInstalledFiles[] = {
    L"IniPlugin.dll",         L"inihost.exe",          L"README.md",           L"LICENSE",
    L"include\\IniPlugin.tlb", L"include\\IniPlugin.idl", L"include\\IniPlugin.h", L"include\\IniPlugin_i.c",
    L"include\\HostContract.idl", L"include\\HostContract.h", L"include\\HostContract_i.c",
};

std::wstring InstallFolder()
{
    wchar_t folder[MAX_PATH] = {};
    ExpandEnvironmentStringsW(L"%ProgramFiles%\\IniPlugin", folder, MAX_PATH);
    return folder;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every key that registration writes below HKEY_CLASSES_ROOT: both classes and
// the proxy/stub's class, both ProgIDs of each class, the type library and
// both interfaces.
std::vector<std::wstring> RegistrationKeys()
{
    return {
        L"CLSID\\" + GuidText(CLSID_IniFormat),
        L"CLSID\\" + GuidText(CLSID_IniFile),
        L"CLSID\\" + GuidText(IID_IIniFormat),
        L"IniPlugin.IniFormat",
        L"IniPlugin.IniFormat.1",
        L"IniPlugin.IniFile",
        L"IniPlugin.IniFile.1",
        L"TypeLib\\" + GuidText(LIBID_INIPLUGINLib),
        L"Interface\\" + GuidText(IID_IIniFormat),
        L"Interface\\" + GuidText(IID_IIniFile),
    };
}

// The tree with the module's path and its folder put aside as placeholders.
// A folder is the same folder with or without the trailing backslash that
// Windows Installer gives every folder.
void PutPathsAside(RegistryTree& tree, const std::wstring& modulePath)
{
    const std::wstring folder = modulePath.substr(0, modulePath.rfind(L'\\'));
    for (auto& [name, data] : tree.values) {
        if (data == modulePath)
            data = L"<module>";
        else if (data == folder || data == folder + L"\\")
            data = L"<module folder>";
    }
    for (auto& [name, subkey] : tree.subkeys)
        PutPathsAside(subkey, modulePath);
}

// Each registration key's tree, paths aside, in the order of RegistrationKeys().
std::vector<std::optional<RegistryTree>> ReadRegistration(const std::wstring& modulePath)
{
    std::vector<std::optional<RegistryTree>> trees;
    for (const std::wstring& key : RegistrationKeys()) {
        trees.push_back(ReadRegistryTree(HKEY_CLASSES_ROOT, key));
        if (trees.back())
            PutPathsAside(*trees.back(), modulePath);
    }
    return trees;
}

// A path as a JSON string.
std::string JsonText(const std::string& text)
{
    std::string json = "\"";
    for (const char unit : text) {
        if (unit == '\\' || unit == '"')
            json.push_back('\\');
        json.push_back(unit);
    }
    return json + "\"";
}

DWORD Msiexec(const wchar_t* action, const std::wstring& package)
{
    return RunProgram(std::wstring(L"msiexec.exe ") + action + L" \"" + package + L"\" /qn");
}

// The versions of the products installed under the package's upgrade code.
std::vector<std::wstring> InstalledVersions()
{
    std::vector<std::wstring> versions;
    wchar_t product[39];
    for (DWORD index = 0; MsiEnumRelatedProductsW(kUpgradeCode, 0, index, product) == ERROR_SUCCESS; ++index) {
        wchar_t version[64] = {};
        DWORD length = 64;
        MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, version, &length);
        versions.emplace_back(version);
    }
    return versions;
}

class InstallerTest : public ::testing::Test {
protected:
    // Whatever a test left installed goes, whether it passed or not.
    void TearDown() override
    {
        wchar_t product[39];
        while (MsiEnumRelatedProductsW(kUpgradeCode, 0, 0, product) == ERROR_SUCCESS) {
            if (RunProgram(std::wstring(L"msiexec.exe /x ") + product + L" /qn") != ERROR_SUCCESS) {
                ADD_FAILURE() << "cannot uninstall what the test installed";
                return;
            }
        }
    }

    void ExpectNothingInstalled()
    {
        for (const std::wstring& key : RegistrationKeys())
            EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, key)) << "left behind: HKEY_CLASSES_ROOT\\" << key;
        for (const wchar_t* file : kInstalledFiles)
            EXPECT_FALSE(Exists(folder + L"\\" + file)) << "left behind: " << testing::PrintToString(file);
        EXPECT_FALSE(Exists(folder)) << "the install folder is left behind";
        EXPECT_TRUE(InstalledVersions().empty()) << "the product is still known to Windows Installer";
    }

    ProgramResult Inihost(const std::wstring& arguments, std::string_view input = {})
    {
        return RunProgramForOutput(L"\"" + folder + L"\\inihost.exe\" " + arguments, input);
    }

    const std::wstring folder = InstallFolder();
    const std::wstring installedDll = folder + L"\\IniPlugin.dll";
};

}  // namespace

TEST_F(InstallerTest, ASilentInstallRegistersWhatRegsvr32RegistersAndInstallsEveryFile)
{
    const std::wstring built = PluginDll::BuiltPath();
    ASSERT_EQ(0, Regsvr32(built));
    const auto regsvr32 = ReadRegistration(built);
    ASSERT_EQ(0, Regsvr32(built, true));
    ExpectNothingInstalled();

    ASSERT_EQ(DWORD{ERROR_SUCCESS}, Msiexec(L"/i", kPackage));
    const auto installed = ReadRegistration(installedDll);
    const std::vector<std::wstring> keys = RegistrationKeys();
    for (size_t i = 0; i < keys.size(); ++i) {
        ASSERT_TRUE(regsvr32[i].has_value()) << "regsvr32 writes HKEY_CLASSES_ROOT\\" << keys[i];
        EXPECT_EQ(regsvr32[i], installed[i]) << "HKEY_CLASSES_ROOT\\" << keys[i] << ", paths aside";
    }
    for (const wchar_t* file : kInstalledFiles)
        EXPECT_TRUE(Exists(folder + L"\\" + file)) << "not installed: " << testing::PrintToString(file);
    EXPECT_EQ(std::vector<std::wstring>{kVersion}, InstalledVersions());
}

TEST_F(InstallerTest, InihostWithoutDllReadsWritesAndCommitsThroughTheInstalledClasses)
{
    ASSERT_EQ(DWORD{ERROR_SUCCESS}, Msiexec(L"/i", kPackage));
    TempFolder temp;
    const auto ini = temp.WriteFile("settings.ini", "; kept\r\n[General]\r\nTitle=old\r\n");
    const std::wstring file = L" \"" + ini.wstring() + L"\"";

    const ProgramResult write = Inihost(L"write" + file + L" General Title Installed General Pages int:7");
    EXPECT_EQ(0u, write.exitCode) << write.output;
    EXPECT_EQ("[General] Title: written\n[General] Pages: written\ncommitted\n", write.output);
    const ProgramResult read = Inihost(L"read" + file + L" General Title General Pages");
    EXPECT_EQ(0u, read.exitCode) << read.output;
    EXPECT_EQ("[General] Title = Installed\n[General] Pages = 7\n", read.output);
    EXPECT_EQ("; kept\r\n[General]\r\nTitle=Installed\r\nPages=7\r\n", ReadBytes(ini));
}

TEST_F(InstallerTest, ASilentUninstallRemovesEveryKeyAndFileItAdded)
{
    ASSERT_EQ(DWORD{ERROR_SUCCESS}, Msiexec(L"/i", kPackage));
    ASSERT_EQ(DWORD{ERROR_SUCCESS}, Msiexec(L"/x", kPackage));
    ExpectNothingInstalled();
}

TEST_F(InstallerTest, ANewerPackageUpgradesTheOlderInPlace)
{
    ASSERT_EQ(DWORD{ERROR_SUCCESS}, Msiexec(L"/i", kPackage));
    const auto older = ReadRegistration(installedDll);
    ASSERT_EQ(DWORD{ERROR_SUCCESS}, Msiexec(L"/i", kNewerPackage));
    EXPECT_EQ(std::vector<std::wstring>{kNewerVersion}, InstalledVersions()) << "one product, the newer one";
    EXPECT_EQ(older, ReadRegistration(installedDll));

    // Both classes, each created through COM by its class identifier.
    TempFolder temp;
    const std::string path = JsonText(temp.WriteFile("upgraded.ini", "[General]\r\nTitle=kept\r\n").string());
    const ProgramResult session =
        Inihost(L"run", "{\"op\":\"info\"}\n"
                        "{\"op\":\"open\",\"path\":" + path + ",\"via\":\"class\"}\n"
                        "{\"op\":\"read\",\"vars\":[{\"section\":\"General\",\"key\":\"Title\"}]}\n");
    EXPECT_EQ(0u, session.exitCode) << session.output;
    EXPECT_NE(std::string::npos, session.output.find("\"vendor\":\"TORVELLINE\"")) << session.output;
    EXPECT_NE(std::string::npos, session.output.find("{\"v\":\"kept\",\"vt\":\"bstr\"}")) << session.output;

    EXPECT_EQ(DWORD{ERROR_INSTALL_FAILURE}, Msiexec(L"/i", kPackage))
        << "an older package does not replace a newer one";
    EXPECT_EQ(std::vector<std::wstring>{kNewerVersion}, InstalledVersions());
    ASSERT_EQ(DWORD{ERROR_SUCCESS}, Msiexec(L"/x", kNewerPackage));
    ExpectNothingInstalled();
}
