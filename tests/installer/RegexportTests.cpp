// regexport's two halves: capturing what DllRegisterServer writes without
// touching the machine's registration, and writing it as WiX registry
// elements, with the build's paths replaced and whatever a Registry table
// string cannot carry refused.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "IniPlugin.h"
#include "platform/windows/UniqueHandle.h"
#include "support/PluginDll.h"
#include "support/RegistryTree.h"
#include "support/Regsvr32.h"
#include "tools/regexport/CapturedRegistration.h"
#include "tools/regexport/WixRegistry.h"

namespace {

const wchar_t kBuiltDll[] = L"C:\\build\\module\\IniPlugin.dll";
const InstalledPaths kPaths = {L"IniPluginDll", L"INSTALLFOLDER"};

CapturedRegistration OneKey(CapturedKey key) { return {kBuiltDll, {std::move(key)}}; }
CapturedRegistration OneValue(const std::wstring& name, DWORD type, const std::wstring& text)
{
    return OneKey({L"CLSID\\{X}", {{name, type, text}}, 0});
}

bool ScratchKeyLeft()
{
    UniqueHKey software;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, software.put()) != ERROR_SUCCESS) {
        software.release();  // a failed open leaves nothing to close
        return false;
    }
    bool found = false;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(software.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        found = found || std::wstring(name).rfind(L"IniPlugin-regexport-", 0) == 0;
    }
    return found;
}

}  // namespace

TEST(CaptureRegistrationTest, CapturesTheBuiltDllsEntriesAndLeavesTheMachinesRegistrationAlone)
{
    const std::wstring dll = PluginDll::BuiltPath();
    const std::wstring classKey = L"CLSID\\" + GuidText(CLSID_IniFormat);
    // The demo, for one, leaves the DLL registered in the build's prefix.
    ASSERT_EQ(0, Regsvr32(dll, true));
    ASSERT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, classKey));

    const CapturedRegistration captured = CaptureRegistration(dll);
    EXPECT_EQ(dll, captured.modulePath);
    const auto inproc = std::find_if(captured.keys.begin(), captured.keys.end(),
                                     [&](const CapturedKey& key) { return key.path == classKey + L"\\InprocServer32"; });
    ASSERT_NE(captured.keys.end(), inproc);
    ASSERT_EQ(2u, inproc->values.size());
    EXPECT_EQ(dll, inproc->values[0].text) << "the default value names the DLL";
    EXPECT_EQ(L"ThreadingModel", inproc->values[1].name);

    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, classKey)) << "the capture wrote to the real HKEY_CLASSES_ROOT";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidText(LIBID_INIPLUGINLib)));
    EXPECT_FALSE(ScratchKeyLeft()) << "the scratch key below HKEY_CURRENT_USER\\Software is removed";
}

TEST(WixRegistryIncludeTest, WritesEachValueAsTheRegistryTableReadsIt)
{
    const struct {
        const char* what;
        std::wstring name;
        std::wstring text;
        std::string element;
    } cases[] = {
        {"a default value", L"", L"IniFormat Class",
         R"(<RegistryValue Root="HKCR" Key="CLSID\{X}" Type="string" Value="IniFormat Class" />)"},
        {"a named value", L"ThreadingModel", L"Both",
         R"(<RegistryValue Root="HKCR" Key="CLSID\{X}" Name="ThreadingModel" Type="string" Value="Both" />)"},
        {"braces alone stay", L"", L"{0EDCE8B2-D120-43A0-84B6-211DB033124D}",
         R"(Value="{0EDCE8B2-D120-43A0-84B6-211DB033124D}")"},
        {"the DLL, in any case", L"", L"c:\\BUILD\\module\\iniplugin.DLL", R"(Value="[#IniPluginDll]")"},
        {"its folder", L"", L"C:\\build\\module", R"(Value="[INSTALLFOLDER]")"},
        {"its folder with a backslash", L"", L"C:\\build\\module\\", R"(Value="[INSTALLFOLDER]")"},
        {"brackets, and the braces around them", L"", L"{[x]}", R"(Value="[\{][\[]x[\]][\}]")"},
        {"XML's special characters", L"", L"a&b<c>\"d\"", R"(Value="a&amp;b&lt;c&gt;&quot;d&quot;")"},
    };
    for (const auto& c : cases) {
        const std::string include = WixRegistryInclude(OneValue(c.name, REG_SZ, c.text), kPaths);
        EXPECT_NE(std::string::npos, include.find(c.element)) << c.what << ":\n" << include;
    }
}

TEST(WixRegistryIncludeTest, RefusesWhatARegistryValueCannotCarry)
{
    const struct {
        const char* what;
        CapturedRegistration registration;
    } cases[] = {
        {"a number", OneValue(L"Flags", REG_DWORD, L"")},
        {"an empty text, which reads as no value", OneValue(L"", REG_SZ, L"")},
        {"a text starting with #, which reads as a number", OneValue(L"", REG_SZ, L"#1")},
        {"another file of the build folder", OneValue(L"", REG_SZ, L"C:\\build\\module\\other.dll")},
        {"a key with neither values nor subkeys", OneKey({L"CLSID\\{X}\\Empty", {}, 0})},
    };
    for (const auto& c : cases)
        EXPECT_THROW(WixRegistryInclude(c.registration, kPaths), std::runtime_error) << c.what;
}
