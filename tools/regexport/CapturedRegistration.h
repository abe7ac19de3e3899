#pragma once
// What a DLL's DllRegisterServer writes below HKEY_CLASSES_ROOT, read back
// without changing the machine's registration: for the length of the call the
// process's HKEY_CLASSES_ROOT is redirected to a scratch key (see
// RegOverridePredefKey), so the registrar scripts, the proxy/stub
// registration and the type-library registration all write there.
#include <windows.h>

#include <string>
#include <vector>

struct CapturedValue {
    std::wstring name;  // "" for the default value
    DWORD type = REG_NONE;
    std::wstring text;  // the data of a REG_SZ value
};

struct CapturedKey {
    std::wstring path;  // below HKEY_CLASSES_ROOT
    std::vector<CapturedValue> values;
    DWORD subkeys = 0;
};

struct CapturedRegistration {
    // The DLL's path as it saw it (GetModuleFileNameW), which is the path
    // its entries name.
    std::wstring modulePath;
    // Every key the registration created, parents before their subkeys and
    // siblings in name order.
    std::vector<CapturedKey> keys;
};

// Throws std::runtime_error naming what failed.
CapturedRegistration CaptureRegistration(const std::wstring& dllPath);
