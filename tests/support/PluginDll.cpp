#include "support/PluginDll.h"

#include <gtest/gtest.h>

#ifndef INIPLUGIN_DLL
#error "the build passes the built DLL's path"
#endif

namespace {

using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using RegisterFunction = HRESULT(STDAPICALLTYPE*)();

}  // namespace

PluginDll::PluginDll() : PluginDll(BuiltPath()) {}

PluginDll::PluginDll(const std::wstring& path) : module_(LoadLibraryW(path.c_str()))
{
    EXPECT_TRUE(module_) << "cannot load the plug-in, error " << GetLastError();
}

std::wstring PluginDll::BuiltPath()
{
    std::wstring path = L"Z:" INIPLUGIN_DLL;
    for (wchar_t& unit : path) {
        if (unit == L'/')
            unit = L'\\';
    }
    return path;
}

template <class Function>
Function PluginDll::Export(const char* name) const
{
    const FARPROC address = GetProcAddress(module_.get(), name);
    if (address == nullptr)
        ADD_FAILURE() << "the plug-in does not export " << name;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

HRESULT PluginDll::CanUnloadNow() const { return Export<CanUnloadNowFunction>("DllCanUnloadNow")(); }

HRESULT PluginDll::GetClassObject(REFCLSID clsid, REFIID iid, void** result) const
{
    return Export<GetClassObjectFunction>("DllGetClassObject")(clsid, iid, result);
}

HRESULT PluginDll::RegisterServer() const { return Export<RegisterFunction>("DllRegisterServer")(); }

HRESULT PluginDll::UnregisterServer() const { return Export<RegisterFunction>("DllUnregisterServer")(); }
