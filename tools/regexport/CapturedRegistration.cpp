#include "tools/regexport/CapturedRegistration.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/windows/UniqueHandle.h"

namespace {

[[noreturn]] void Fail(const std::string& what, LONG code)
{
    throw std::runtime_error(what + " (error " + std::to_string(code) + ")");
}

// A key of our own below HKEY_CURRENT_USER, deleted with everything in it
// when the capture ends, however it ends.
class ScratchKey {
public:
    ScratchKey() : name_(L"Software\\IniPlugin-regexport-" + std::to_wstring(GetCurrentProcessId()))
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());  // left by a process that had our number
        const LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_ALL_ACCESS, nullptr, key_.put(), nullptr);
        if (status != ERROR_SUCCESS)
            Fail("cannot create the scratch key", status);
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    ~ScratchKey()
    {
        key_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
    }

    HKEY get() const { return key_.get(); }

private:
    std::wstring name_;
    UniqueHKey key_;
};

// HKEY_CLASSES_ROOT of this process is `replacement` while this lives.
class ClassesRootRedirect {
public:
    explicit ClassesRootRedirect(HKEY replacement)
    {
        const LONG status = RegOverridePredefKey(HKEY_CLASSES_ROOT, replacement);
        if (status != ERROR_SUCCESS)
            Fail("cannot redirect HKEY_CLASSES_ROOT", status);
    }
    ClassesRootRedirect(const ClassesRootRedirect&) = delete;
    ClassesRootRedirect& operator=(const ClassesRootRedirect&) = delete;
    ~ClassesRootRedirect() { RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr); }
};

// Registers the DLL and returns its path as the DLL itself sees it.
std::wstring RunDllRegisterServer(const std::wstring& dllPath)
{
    const UniqueModule library(LoadLibraryW(dllPath.c_str()));
    if (!library)
        Fail("cannot load the DLL", static_cast<LONG>(GetLastError()));
    using RegisterFunction = HRESULT(STDAPICALLTYPE*)();
    const FARPROC address = GetProcAddress(library.get(), "DllRegisterServer");
    const auto registerServer = reinterpret_cast<RegisterFunction>(reinterpret_cast<void*>(address));
    if (registerServer == nullptr)
        Fail("the DLL exports no DllRegisterServer", static_cast<LONG>(GetLastError()));
    const HRESULT result = registerServer();
    if (FAILED(result))
        Fail("DllRegisterServer failed", result);
    wchar_t modulePath[MAX_PATH];
    const DWORD length = GetModuleFileNameW(library.get(), modulePath, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        Fail("cannot read the DLL's path", static_cast<LONG>(GetLastError()));
    return modulePath;
}

std::vector<CapturedValue> ReadValues(HKEY key)
{
    std::vector<CapturedValue> values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = ARRAYSIZE(name);
        DWORD type = REG_NONE;
        DWORD bytes = 0;
        LONG status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &bytes);
        if (status == ERROR_NO_MORE_ITEMS)
            return values;
        if (status != ERROR_SUCCESS)
            Fail("cannot enumerate the captured values", status);
        std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
        nameLength = ARRAYSIZE(name);
        status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                               &bytes);
        if (status != ERROR_SUCCESS)
            Fail("cannot read a captured value", status);
        CapturedValue value{name, type, {}};
        if (type == REG_SZ)
            value.text.assign(data.c_str());  // up to the terminating zero
        values.push_back(std::move(value));
    }
}

void ReadTree(HKEY key, const std::wstring& path, std::vector<CapturedKey>& keys)
{
    std::vector<std::wstring> subkeys;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = ARRAYSIZE(name);
        const LONG status = RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            Fail("cannot enumerate the captured keys", status);
        subkeys.emplace_back(name);
    }
    std::sort(subkeys.begin(), subkeys.end());
    if (!path.empty())
        keys.push_back({path, ReadValues(key), static_cast<DWORD>(subkeys.size())});
    for (const std::wstring& name : subkeys) {
        UniqueHKey subkey;
        const LONG status = RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, subkey.put());
        if (status != ERROR_SUCCESS)
            Fail("cannot open a captured key", status);
        ReadTree(subkey.get(), path.empty() ? name : path + L"\\" + name, keys);
    }
}

}  // namespace

CapturedRegistration CaptureRegistration(const std::wstring& dllPath)
{
    const ScratchKey scratch;
    CapturedRegistration captured;
    {
        const ClassesRootRedirect redirect(scratch.get());
        captured.modulePath = RunDllRegisterServer(dllPath);
    }
    ReadTree(scratch.get(), L"", captured.keys);
    return captured;
}
